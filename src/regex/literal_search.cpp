#include "regex/literal_search.h"

#include <algorithm>
#include <cstring>

namespace korvex::regex {

int byteFrequencyRank(unsigned char c) noexcept {
    // Most common first; everything not listed ranks by class below.
    static const unsigned char kCommon[] =
        " e<>\"/=tadionsrlp\r\n\t\xD0\xD1"  // HTML, English and the UTF-8 Cyrillic lead bytes
        "hcfmuwygbv0123456789.,:;-_#&'()"
        "\xEE\xE5\xE0\xE8\xED\xF2\xF1\xF0\xE2\xEB\xEA\xEC\xE4\xEF\xF3"  // frequent cp1251 letters
        "\xB0\xB5\xB8\xBE\xBD\xB8\x80\x81\x82\x83\xBA\xBB\xBC\xB2\xB3"  // frequent UTF-8 trail bytes
        "kxjqzTSACDIPMRBN";
    static const struct Table {
        int rank[256];
        Table() {
            for (int b = 0; b < 256; ++b) {
                if (b >= 'A' && b <= 'Z') rank[b] = 60;
                else if (b >= 0xC0) rank[b] = 55;  // other cp1251 letters
                else if (b >= 0x80) rank[b] = 50;  // other UTF-8 trail bytes
                else if (b >= 0x20 && b < 0x7F) rank[b] = 40;
                else rank[b] = 10;                 // control bytes: rare in pages
            }
            const int n = static_cast<int>(sizeof kCommon - 1);
            for (int k = 0; k < n; ++k) {
                const unsigned char b = kCommon[k];
                const int r = 255 - k;
                if (rank[b] < r) rank[b] = r;
            }
        }
    } table;
    return table.rank[c];
}

LiteralFinder::LiteralFinder(std::string_view needle) : m_needle(needle) {
    constexpr std::size_t kTries = 3;
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < m_needle.size(); ++k) {
        bool seen = false;
        for (std::size_t j : order) seen = seen || m_needle[j] == m_needle[k];
        if (!seen) order.push_back(k);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return byteFrequencyRank(static_cast<unsigned char>(m_needle[a])) <
               byteFrequencyRank(static_cast<unsigned char>(m_needle[b]));
    });
    if (order.size() > kTries) order.resize(kTries);
    m_rare = order;
}

std::size_t LiteralFinder::find(const unsigned char* text, std::size_t size, std::size_t from) const noexcept {
    const std::size_t m = m_needle.size();
    if (m == 0) return from <= size ? from : npos;
    if (size < m || from > size - m) return npos;
    const auto* needle = reinterpret_cast<const unsigned char*>(m_needle.data());
    if (m == 1) {
        const void* hit = std::memchr(text + from, needle[0], size - from);
        return hit ? static_cast<const unsigned char*>(hit) - text : npos;
    }
    // `start` walks over the places where the needle may begin; the byte that memchr looks for is
    // replaced by the next candidate when it keeps turning up without the needle around it.
    const unsigned char* start = text + from;
    const unsigned char* const lastStart = text + (size - m);
    for (std::size_t which = 0; which < m_rare.size(); ++which) {
        const std::size_t at = m_rare[which];
        const unsigned char rare = needle[at];
        const unsigned char* const scanFrom = start;
        std::size_t misses = 0;
        while (start <= lastStart) {
            const auto* p = static_cast<const unsigned char*>(
                std::memchr(start + at, rare, static_cast<std::size_t>(lastStart - start) + 1));
            if (!p) return npos;
            start = p - at;
            if (std::memcmp(start, needle, m) == 0) return static_cast<std::size_t>(start - text);
            ++start;
            if (++misses > 16 && misses * 64 > static_cast<std::size_t>(start - scanFrom)) break;
        }
        if (start > lastStart) return npos;
    }
    const void* hit = memmem(start, static_cast<std::size_t>(text + size - start), needle, m);
    return hit ? static_cast<const unsigned char*>(hit) - text : npos;
}

std::size_t LiteralFinder::rfind(const unsigned char* text, std::size_t size, std::size_t from,
                                 std::size_t last) const noexcept {
    const std::size_t m = m_needle.size();
    if (size < m) return npos;
    if (last > size - m) last = size - m;
    if (from > last) return npos;
    const auto* needle = reinterpret_cast<const unsigned char*>(m_needle.data());
    for (std::size_t s = last + 1; s-- > from;) {
        const void* hit = memrchr(text + from, needle[0], s - from + 1);
        if (!hit) return npos;
        s = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - text);
        if (std::memcmp(text + s, needle, m) == 0) return s;
    }
    return npos;
}

}  // namespace korvex::regex
