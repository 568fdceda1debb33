#include "net/curl_string_list.h"

#include <algorithm>
#include <utility>

namespace korvex {

CurlStringList::CurlStringList(curl_slist* adopted) noexcept : m_head(adopted) {
    for (curl_slist* node = adopted; node != nullptr; node = node->next) {
        m_tail = node;
        ++m_count;
    }
}

CurlStringList::~CurlStringList() {
    clear();
}

CurlStringList::CurlStringList(CurlStringList&& other) noexcept
    : m_head(std::exchange(other.m_head, nullptr)),
      m_tail(std::exchange(other.m_tail, nullptr)),
      m_count(std::exchange(other.m_count, 0)) {}

CurlStringList& CurlStringList::operator=(CurlStringList&& other) noexcept {
    if (this != &other) {
        clear();
        m_head = std::exchange(other.m_head, nullptr);
        m_tail = std::exchange(other.m_tail, nullptr);
        m_count = std::exchange(other.m_count, 0);
    }
    return *this;
}

bool CurlStringList::add(std::string_view line) {
    // curl_slist_append copies a zero-terminated text; it would walk the whole list to find the
    // end, so the new node is appended to a one-node list and linked at the tail by hand.
    const std::string copy(line);
    curl_slist* node = curl_slist_append(nullptr, copy.c_str());
    if (node == nullptr) return false;
    if (m_tail == nullptr) {
        m_head = node;
    } else {
        m_tail->next = node;
    }
    m_tail = node;
    ++m_count;
    return true;
}

void CurlStringList::clear() noexcept {
    curl_slist_free_all(m_head);
    m_head = nullptr;
    m_tail = nullptr;
    m_count = 0;
}

std::vector<std::string> CurlStringList::lines() const {
    std::vector<std::string> result;
    result.reserve(m_count);
    for (const curl_slist* node = m_head; node != nullptr; node = node->next) result.emplace_back(node->data);
    return result;
}

bool THttpReadOnlyList::contains(std::string_view text) const {
    for (const curl_slist* node = m_lines.head(); node != nullptr; node = node->next) {
        if (text == node->data) return true;
    }
    return false;
}

}  // namespace korvex
