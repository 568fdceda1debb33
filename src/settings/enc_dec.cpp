#include "settings/enc_dec.h"

#include <array>
#include <cstdint>

namespace korvex {

namespace {

static_assert(kEncodingAlphabet.size() == 65, "64 symbols and the padding symbol");

// Code of every byte value: its position in the alphabet, 0 for a character outside it.
constexpr std::array<std::uint8_t, 256> makeCodes() {
    std::array<std::uint8_t, 256> codes{};
    for (std::size_t k = 0; k < kEncodingAlphabet.size(); ++k) {
        codes[static_cast<unsigned char>(kEncodingAlphabet[k])] = static_cast<std::uint8_t>(k);
    }
    return codes;
}
constexpr std::array<std::uint8_t, 256> kCodes = makeCodes();

char symbol(unsigned code) {
    return kEncodingAlphabet[code];
}

}  // namespace

std::string encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned b0 = static_cast<unsigned char>(bytes[i]);
        const unsigned b1 = static_cast<unsigned char>(bytes[i + 1]);
        const unsigned b2 = static_cast<unsigned char>(bytes[i + 2]);
        out += symbol(b0 >> 2);
        out += symbol(((b0 & 3) << 4) | (b1 >> 4));
        out += symbol(((b1 & 15) << 2) | (b2 >> 6));
        out += symbol(b2 & 63);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const unsigned b0 = static_cast<unsigned char>(bytes[i]);
        out += symbol(b0 >> 2);
        out += symbol((b0 & 3) << 4);
        out += symbol(kPaddingCode);
        out += symbol(kPaddingCode);
    } else if (rest == 2) {
        const unsigned b0 = static_cast<unsigned char>(bytes[i]);
        const unsigned b1 = static_cast<unsigned char>(bytes[i + 1]);
        out += symbol(b0 >> 2);
        out += symbol(((b0 & 3) << 4) | (b1 >> 4));
        out += symbol((b1 & 15) << 2);
        out += symbol(kPaddingCode);
    }
    return out;
}

std::string decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    const auto codeAt = [&](std::size_t pos) -> unsigned {
        return pos < text.size() ? kCodes[static_cast<unsigned char>(text[pos])] : kPaddingCode;
    };
    // A lone last symbol cannot make a byte: groups start only before the last position.
    for (std::size_t pos = 0; pos + 1 < text.size(); pos += 4) {
        const unsigned c0 = codeAt(pos);
        const unsigned c1 = codeAt(pos + 1);
        const unsigned c2 = codeAt(pos + 2);
        const unsigned c3 = codeAt(pos + 3);
        out += static_cast<char>(((c0 & 63) << 2) | ((c1 & 48) >> 4));
        if (c2 == kPaddingCode) continue;
        out += static_cast<char>(((c1 & 15) << 4) | ((c2 & 60) >> 2));
        if (c3 == kPaddingCode) continue;
        out += static_cast<char>(((c2 & 3) << 6) | (c3 & 63));
    }
    return out;
}

}  // namespace korvex
