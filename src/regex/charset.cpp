#include "regex/charset.h"

#include <bit>
#include <cstdio>

namespace korvex::regex {

namespace {

struct CaseTables {
    std::array<unsigned char, 256> other{};
    std::array<unsigned char, 256> upper{};

    CaseTables() {
        for (int c = 0; c < 256; ++c) other[c] = upper[c] = static_cast<unsigned char>(c);
        auto pair = [this](int up, int low) {
            other[up] = static_cast<unsigned char>(low);
            other[low] = static_cast<unsigned char>(up);
            upper[low] = static_cast<unsigned char>(up);
        };
        for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
        for (int c = kCyrUpperFirst; c <= kCyrUpperLast; ++c) pair(c, c + 32);
        pair(kCyrUpperYo, kCyrLowerYo);
        // The remaining Cyrillic letters of cp1251, upper case first.
        const int more[][2] = {{0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
                               {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
                               {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE}};
        for (const auto& p : more) pair(p[0], p[1]);
    }
};

const CaseTables& tables() {
    static const CaseTables t;
    return t;
}

}  // namespace

unsigned char otherCase(unsigned char c) noexcept { return tables().other[c]; }
unsigned char foldCase(unsigned char c) noexcept { return tables().upper[c]; }
const std::array<unsigned char, 256>& foldTable() noexcept { return tables().upper; }

void CharSet::closeUnderCase() noexcept {
    CharSet copy = *this;
    for (int c = 0; c < 256; ++c)
        if (copy.has(static_cast<unsigned char>(c))) add(otherCase(static_cast<unsigned char>(c)));
}

int CharSet::count() const noexcept {
    int n = 0;
    for (auto w : m_bits) n += std::popcount(w);
    return n;
}

int CharSet::single() const noexcept {
    if (count() != 1) return -1;
    for (int c = 0; c < 256; ++c)
        if (has(static_cast<unsigned char>(c))) return c;
    return -1;
}

std::string CharSet::describe() const {
    auto one = [](int c) {
        if (c > 32 && c < 127 && c != '\\' && c != ']' && c != '-' && c != '^') return std::string(1, char(c));
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", c);
        return std::string(buf);
    };
    std::string out;
    for (int c = 0; c < 256;) {
        if (!has(static_cast<unsigned char>(c))) {
            ++c;
            continue;
        }
        int end = c;
        while (end + 1 < 256 && has(static_cast<unsigned char>(end + 1))) ++end;
        if (end - c >= 2) {
            out += one(c) + "-" + one(end);
        } else {
            for (int k = c; k <= end; ++k) out += one(k);
        }
        c = end + 1;
    }
    return out;
}

}  // namespace korvex::regex
