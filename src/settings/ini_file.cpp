#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <stdexcept>

#include "platform/ascii_text.h"
#include "platform/atomic_file.h"

namespace korvex {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return s.substr(s.size());  // empty, but still pointing into s
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

std::error_code lastError() {
    return {errno, std::generic_category()};
}

}  // namespace

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    // Lines after the last key so far wait here: a later key of the same section takes them in, a
    // section header leaves them behind the section's last key (new keys go before them).
    std::vector<Line> pending;
    bool first = true;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

        std::string_view content = raw;
        if (first && content.substr(0, kUtf8Bom.size()) == kUtf8Bom) content.remove_prefix(kUtf8Bom.size());
        first = false;
        content = trim(content);

        if (!content.empty() && content.front() == '[') {
            const auto close = content.find(']');
            if (close != std::string_view::npos) {
                ini.m_sections.back().tail = std::move(pending);
                pending.clear();
                Section section;
                section.header = std::string(raw);
                section.hasHeader = true;
                ini.m_sectionIndex.emplace(lowerAscii(trim(content.substr(1, close - 1))),
                                           ini.m_sections.size());
                ini.m_sections.push_back(std::move(section));
                continue;
            }
        }
        const auto eq = content.find('=');
        const std::string_view key =
            eq == std::string_view::npos ? std::string_view{} : trim(content.substr(0, eq));
        // Keys before the first section belong to no section and cannot be addressed: kept as text.
        const bool isKey = !key.empty() && content.front() != ';' && ini.m_sections.size() > 1;
        if (!isKey) {
            pending.push_back(Line{std::string(raw)});
            continue;
        }
        Section& section = ini.m_sections.back();
        for (Line& line : pending) section.lines.push_back(std::move(line));
        pending.clear();
        section.keys.emplace(lowerAscii(key), section.lines.size());
        const std::string_view value = trim(content.substr(eq + 1));
        section.lines.push_back(Line{std::string(raw), static_cast<std::size_t>(key.data() - raw.data()),
                                     key.size(), static_cast<std::size_t>(value.data() - raw.data()),
                                     value.size()});
    }
    ini.m_sections.back().tail = std::move(pending);
    return ini;
}

IniFile::LoadStatus IniFile::load(const std::string& path, std::error_code* error) {
    *this = IniFile{};
    const auto fail = [&](std::error_code ec) {
        if (error) *error = ec;
        return LoadStatus::Failed;
    };
    // Non-blocking, so that a FIFO put in the file's place cannot hang the program; only a regular
    // file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return LoadStatus::Missing;
        return fail(lastError());
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool statFailed = st.st_mode == 0;
        const auto ec = statFailed ? lastError() : std::make_error_code(std::errc::invalid_argument);
        ::close(fd);
        return fail(ec);
    }
    std::string text;
    if (st.st_size > 0) text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const auto ec = lastError();
            ::close(fd);
            return fail(ec);
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    *this = parse(text);
    return LoadStatus::Loaded;
}

std::error_code IniFile::save(const std::string& path, unsigned dropModeBits) const {
    AtomicWriteOptions options;
    options.keepExisting = true;
    options.dropModeBits = dropModeBits;
    const Expected<void> written = writeFileAtomically(path, text(), options);
    return written ? std::error_code() : written.error().code;
}

const IniFile::Line* IniFile::find(std::string_view section, std::string_view key) const {
    const auto s = m_sectionIndex.find(lowerAscii(section));
    if (s == m_sectionIndex.end()) return nullptr;
    const Section& sec = m_sections[s->second];
    const auto k = sec.keys.find(lowerAscii(key));
    return k == sec.keys.end() ? nullptr : &sec.lines[k->second];
}

std::string IniFile::value(std::string_view section, std::string_view key) const {
    const Line* line = find(section, key);
    return line ? std::string(line->value()) : std::string{};
}

bool IniFile::contains(std::string_view section, std::string_view key) const {
    return find(section, key) != nullptr;
}

void IniFile::setValue(std::string_view section, std::string_view key, std::string_view value) {
    const auto hasBreak = [](std::string_view s) {
        return s.find_first_of("\r\n") != std::string_view::npos;
    };
    const auto badName = [&](std::string_view s) {
        return s.empty() || hasBreak(s) || trim(s).size() != s.size();
    };
    if (badName(section) || section.find(']') != std::string_view::npos)
        throw std::invalid_argument("IniFile: unusable section name");
    if (badName(key) || key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';')
        throw std::invalid_argument("IniFile: unusable key name");
    if (hasBreak(value)) throw std::invalid_argument("IniFile: a value cannot hold a line break");

    auto s = m_sectionIndex.find(lowerAscii(section));
    if (s == m_sectionIndex.end()) {
        Section added;
        added.header = "[" + std::string(section) + "]";
        added.hasHeader = true;
        s = m_sectionIndex.emplace(lowerAscii(section), m_sections.size()).first;
        m_sections.push_back(std::move(added));
    }
    Section& sec = m_sections[s->second];
    const auto k = sec.keys.find(lowerAscii(key));
    if (k != sec.keys.end()) {
        Line& line = sec.lines[k->second];
        line = Line::keyLine(line.key(), value);  // the key keeps its spelling
        return;
    }
    sec.keys.emplace(lowerAscii(key), sec.lines.size());
    sec.lines.push_back(Line::keyLine(key, value));
}

IniFile::Line IniFile::Line::keyLine(std::string_view key, std::string_view value) {
    Line line;
    line.text.reserve(key.size() + 1 + value.size());
    line.text.append(key).append(1, '=').append(value);
    line.keyLength = key.size();
    line.valueAt = key.size() + 1;
    line.valueLength = value.size();
    return line;
}

std::string IniFile::text() const {
    std::size_t size = 0;
    for (const Section& section : m_sections) {
        size += section.header.size() + kLineEnd.size();
        for (const auto* lines : {&section.lines, &section.tail}) {
            for (const Line& line : *lines) size += line.text.size() + kLineEnd.size();
        }
    }
    std::string out;
    out.reserve(size);
    for (const Section& section : m_sections) {
        if (section.hasHeader) out.append(section.header).append(kLineEnd);
        for (const auto* lines : {&section.lines, &section.tail}) {
            for (const Line& line : *lines) out.append(line.text).append(kLineEnd);
        }
    }
    return out;
}

}  // namespace korvex
