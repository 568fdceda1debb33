#include "net/http_cookie_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace korvex {

bool isCookieLine(std::string_view line) {
    if (std::count(line.begin(), line.end(), '\t') == 6) return true;
    constexpr std::string_view kSetCookie = "SET-COOKIE:";
    if (line.size() < kSetCookie.size()) return false;
    return std::equal(kSetCookie.begin(), kSetCookie.end(), line.begin(), [](char expected, char actual) {
        return expected == std::toupper(static_cast<unsigned char>(actual));
    });
}

bool THttpCookieList::add(std::string_view line) {
    if (!m_lines.add(line)) return false;
    m_pending = true;
    return true;
}

CURLcode THttpCookieList::clear() {
    m_lines.clear();
    m_pending = false;
    return curl_easy_setopt(m_handle, CURLOPT_COOKIELIST, "ALL");
}

void THttpCookieList::loadFile(const std::string& path) {
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path, error)) return;
    std::ifstream file(path, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a file written on Windows
        if (isCookieLine(line)) add(line);
    }
}

CURLcode THttpCookieList::handOver() {
    if (!m_pending) return CURLE_OK;
    for (const curl_slist* node = m_lines.head(); node != nullptr; node = node->next) {
        const CURLcode answer = curl_easy_setopt(m_handle, CURLOPT_COOKIELIST, node->data);
        if (answer != CURLE_OK) return answer;  // the whole queue stays for the next transfer
    }
    m_lines.clear();
    m_pending = false;
    return CURLE_OK;
}

}  // namespace korvex
