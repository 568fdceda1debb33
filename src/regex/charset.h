#pragma once
// Byte sets and the cp1251 case mapping that modifier i compares by.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvex::regex {

// A set of bytes, one bit per byte value.
class CharSet {
public:
    CharSet() = default;
    explicit CharSet(std::string_view members) { addAll(members); }

    bool has(unsigned char c) const noexcept { return (m_bits[c >> 6] >> (c & 63)) & 1u; }
    void add(unsigned char c) noexcept { m_bits[c >> 6] |= std::uint64_t{1} << (c & 63); }
    void addAll(std::string_view members) noexcept {
        for (char c : members) add(static_cast<unsigned char>(c));
    }
    void addRange(unsigned char from, unsigned char to) noexcept {
        for (unsigned c = from; c <= to; ++c) add(static_cast<unsigned char>(c));
    }
    void addSet(const CharSet& other) noexcept {
        for (int i = 0; i < 4; ++i) m_bits[i] |= other.m_bits[i];
    }
    void invert() noexcept {
        for (auto& w : m_bits) w = ~w;
    }
    // Adds the other case of every member (modifier i).
    void closeUnderCase() noexcept;
    int count() const noexcept;
    bool empty() const noexcept { return count() == 0; }
    bool full() const noexcept { return count() == 256; }
    // The only member of a one-byte set; -1 otherwise.
    int single() const noexcept;
    bool operator==(const CharSet&) const = default;
    // Members written for a dump: printable ASCII as itself, everything else as \xHH, runs of three
    // or more as a range.
    std::string describe() const;

private:
    std::array<std::uint64_t, 4> m_bits{};
};

// The other case of a byte in cp1251: Latin A-Z/a-z, Cyrillic А-Я/а-я, Ё/ё and the other Cyrillic
// letters of the code page (Ђ/ђ, Ѓ/ѓ, Љ/љ, Њ/њ, Ќ/ќ, Ћ/ћ, Џ/џ, Ў/ў, Ј/ј, Ґ/ґ, Є/є, Ї/ї, І/і, Ѕ/ѕ),
// the pairs that Windows' upper/lower case conversion knows for the Cyrillic code page. Any other
// byte answers itself.
unsigned char otherCase(unsigned char c) noexcept;
// The upper-case form, used to compare two bytes under modifier i.
unsigned char foldCase(unsigned char c) noexcept;
const std::array<unsigned char, 256>& foldTable() noexcept;

// The cp1251 letters that modifier r adds: а-я with ё, and А-Я with Ё.
inline constexpr unsigned char kCyrLowerFirst = 0xE0;  // а
inline constexpr unsigned char kCyrLowerLast = 0xFF;   // я
inline constexpr unsigned char kCyrUpperFirst = 0xC0;  // А
inline constexpr unsigned char kCyrUpperLast = 0xDF;   // Я
inline constexpr unsigned char kCyrLowerYo = 0xB8;     // ё
inline constexpr unsigned char kCyrUpperYo = 0xA8;     // Ё

}  // namespace korvex::regex
