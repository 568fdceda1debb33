#pragma once
// THttpCookieList: cookie lines waiting to be handed to libcurl's cookie engine. Lines are queued
// (from a cookie file, or added by code) and handed over, in order, before the next transfer.
#include <curl/curl.h>

#include <string>
#include <string_view>

#include "net/curl_string_list.h"

namespace korvex {

// A line worth handing to the engine: a line of the Netscape cookie file format (exactly six tab
// characters) or a header line whose first 11 characters are "Set-Cookie:" in any letter case.
bool isCookieLine(std::string_view line);

class THttpCookieList {
public:
    // `handle` is the owning component's easy handle; it outlives the list.
    explicit THttpCookieList(CURL* handle) noexcept : m_handle(handle) {}

    // Queues one line as it is (no filtering); false when it could not be stored.
    bool add(std::string_view line);
    // Discards the queued lines and makes the engine forget every cookie it holds ("ALL").
    // Answers libcurl's answer to that request.
    CURLcode clear();
    // Queues every line of the text file at `path` that isCookieLine() accepts. A path that is
    // empty, not a regular file or cannot be opened queues nothing.
    void loadFile(const std::string& path);
    // Hands the queued lines to the engine in order, then empties the queue. When the engine
    // refuses a line the handing stops and the whole queue stays for the next attempt; the
    // answer is then the refusal.
    CURLcode handOver();

    // The component has moved to another easy handle; the queue stays.
    void rebind(CURL* handle) noexcept { m_handle = handle; }

    bool pending() const noexcept { return m_pending; }
    std::size_t count() const noexcept { return m_lines.count(); }
    std::vector<std::string> lines() const { return m_lines.lines(); }

private:
    CURL* m_handle;
    CurlStringList m_lines;
    bool m_pending = false;  // lines are queued and not yet accepted by the engine
};

}  // namespace korvex
