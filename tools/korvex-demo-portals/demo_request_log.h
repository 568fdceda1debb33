#pragma once
// What the substitute portals were sent: one record per request, in arrival order.
//
// Threads: every server thread appends; any thread reads, clears or waits. All members lock one mutex;
// the observer is called on the server thread that received the request, outside that lock, before the
// request is answered, so it may call back into the log.
#include "korvex-demo-portals/demo_portal_id.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

struct RequestRecord {
    PortalId portal = PortalId::Publisher;
    std::string method;       // "GET", "POST"...
    std::string target;       // path and query exactly as sent, not decoded
    std::string body;         // request body bytes
    std::string credentials;  // basic credentials decoded to "login:password"; empty when none were sent
    // The headers below as cpp-httplib hands them over, that is with their %XX escapes decoded.
    std::string cookie;
    std::string referer;
    std::string userAgent;
    std::string contentType;
};

// One line: portal, method, target, then each non-empty field as name="value" with the value escaped by
// escapeBytes. Stable, so scripts and tests may grep it.
std::string formatRecord(const RequestRecord& record);

// Printable ASCII stays; backslash, double quote and every other byte become \\, \" and \xHH (\r, \n,
// \t as themselves), so a body with line breaks or cp1251 bytes still prints as one line.
std::string escapeBytes(std::string_view bytes);

class RequestLog {
public:
    using Observer = std::function<void(const RequestRecord&)>;

    // With `keep` false the records only pass the observer (a long-running demo would otherwise
    // hold every request it ever got); all() then stays empty and waitFor() counts nothing.
    explicit RequestLog(Observer observer = {}, bool keep = true)
        : m_observer(std::move(observer)), m_keep(keep) {}

    void add(RequestRecord record);
    std::vector<RequestRecord> all() const;
    std::vector<RequestRecord> of(PortalId portal) const;
    std::size_t size() const;
    void clear();

    // Blocks until at least `count` records have been added since the last clear(), or until the
    // timeout; answers whether the count was reached.
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    Observer m_observer;
    bool m_keep;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_added;
    std::vector<RequestRecord> m_records;
};

}  // namespace korvex
