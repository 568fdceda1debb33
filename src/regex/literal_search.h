#pragma once
// Fast search for a literal byte string: memchr on the needle's rarest byte (by a frequency table
// of HTML and cp1251/UTF-8 Russian text), then a comparison of the whole needle. When that byte
// turns out to be common in this text, the search moves on to the next rarest byte of the needle,
// and after a few such bytes to memmem.
#include <cstddef>
#include <string>
#include <vector>
#include <string_view>

namespace korvex::regex {

class LiteralFinder {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    LiteralFinder() = default;
    explicit LiteralFinder(std::string_view needle);

    const std::string& needle() const noexcept { return m_needle; }
    bool empty() const noexcept { return m_needle.empty(); }
    // The first occurrence at or after `from`, or npos.
    std::size_t find(const unsigned char* text, std::size_t size, std::size_t from) const noexcept;
    // The last occurrence that starts at or before `last` and at or after `from`, or npos.
    std::size_t rfind(const unsigned char* text, std::size_t size, std::size_t from, std::size_t last) const noexcept;

private:
    std::string m_needle;
    std::vector<std::size_t> m_rare;  // indexes in the needle of its rarest distinct bytes, rarest first
};

// A rank of how common a byte is in portal pages: higher is more common.
int byteFrequencyRank(unsigned char c) noexcept;

}  // namespace korvex::regex
