#pragma once
// Owners of libcurl string lists (curl_slist): the editable list that the transfer component hands
// to libcurl for headers and commands, and the read-only list for what libcurl reports (protocol
// names, SSL engines). Each list frees its nodes in exactly one destructor.
#include <curl/curl.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

class CurlStringList {
public:
    CurlStringList() = default;
    // Takes over a list that libcurl handed out (it is freed with curl_slist_free_all).
    explicit CurlStringList(curl_slist* adopted) noexcept;
    ~CurlStringList();
    CurlStringList(CurlStringList&& other) noexcept;
    CurlStringList& operator=(CurlStringList&& other) noexcept;
    CurlStringList(const CurlStringList&) = delete;
    CurlStringList& operator=(const CurlStringList&) = delete;

    // Appends a copy of `line`; false when libcurl could not allocate (the list is unchanged).
    bool add(std::string_view line);
    void clear() noexcept;

    std::size_t count() const noexcept { return m_count; }
    bool empty() const noexcept { return m_head == nullptr; }
    std::vector<std::string> lines() const;
    // The list as libcurl takes it: nullptr when empty. The list keeps ownership.
    curl_slist* head() const noexcept { return m_head; }

private:
    curl_slist* m_head = nullptr;
    curl_slist* m_tail = nullptr;  // appending at the tail keeps add() O(1)
    std::size_t m_count = 0;
};

// THttpReadOnlyList: texts that libcurl reported, readable, never edited by users of the component.
class THttpReadOnlyList {
public:
    THttpReadOnlyList() = default;
    explicit THttpReadOnlyList(CurlStringList lines) noexcept : m_lines(std::move(lines)) {}

    std::size_t Count() const noexcept { return m_lines.count(); }
    std::vector<std::string> Strings() const { return m_lines.lines(); }
    bool contains(std::string_view text) const;

private:
    CurlStringList m_lines;
};

}  // namespace korvex
