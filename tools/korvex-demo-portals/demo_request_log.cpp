#include "korvex-demo-portals/demo_request_log.h"

namespace korvex {

std::string escapeBytes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (b >= 0x20 && b < 0x7F) {
                    out += c;
                } else {
                    out += "\\x";
                    out += kHex[b >> 4];
                    out += kHex[b & 0xF];
                }
        }
    }
    return out;
}

std::string formatRecord(const RequestRecord& r) {
    std::string line;
    line += portalName(r.portal);
    line += ' ';
    line += escapeBytes(r.method);
    line += ' ';
    line += escapeBytes(r.target);
    const auto field = [&line](std::string_view name, const std::string& value) {
        if (value.empty()) return;
        line += ' ';
        line += name;
        line += "=\"";
        line += escapeBytes(value);
        line += '"';
    };
    field("auth", r.credentials);
    field("cookie", r.cookie);
    field("referer", r.referer);
    field("agent", r.userAgent);
    field("type", r.contentType);
    field("body", r.body);
    return line;
}

void RequestLog::add(RequestRecord record) {
    if (m_observer) m_observer(record);
    if (!m_keep) return;
    {
        std::lock_guard lock(m_mutex);
        m_records.push_back(std::move(record));
    }
    m_added.notify_all();
}

std::vector<RequestRecord> RequestLog::all() const {
    std::lock_guard lock(m_mutex);
    return m_records;
}

std::vector<RequestRecord> RequestLog::of(PortalId portal) const {
    std::lock_guard lock(m_mutex);
    std::vector<RequestRecord> out;
    for (const auto& r : m_records)
        if (r.portal == portal) out.push_back(r);
    return out;
}

std::size_t RequestLog::size() const {
    std::lock_guard lock(m_mutex);
    return m_records.size();
}

void RequestLog::clear() {
    std::lock_guard lock(m_mutex);
    m_records.clear();
}

bool RequestLog::waitFor(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_added.wait_for(lock, timeout, [&] { return m_records.size() >= count; });
}

}  // namespace korvex
