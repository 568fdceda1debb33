#include "settings/enc_dec.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace korvex {
namespace {

TEST(EncDecAlphabet, SixtyFiveDistinctSymbolsThatAnIniLineTolerates) {
    ASSERT_EQ(kEncodingAlphabet.size(), 65u);
    EXPECT_EQ(std::set<char>(kEncodingAlphabet.begin(), kEncodingAlphabet.end()).size(), 65u);
    for (char c : kEncodingAlphabet) {
        EXPECT_GT(c, ' ') << "printable, not a blank";
        EXPECT_LT(c, 0x7F);
        EXPECT_EQ(std::string_view("=;[]").find(c), std::string_view::npos) << c;
    }
}

// Files already written depend on these exact symbols: a change of the alphabet fails here first.
TEST(EncDec, KnownAnswersPinTheAlphabet) {
    struct Case {
        std::string plain, encoded;
    } cases[] = {
        {"", ""},
        {"1", "zl.."},
        {"0", "z_.."},
        {"-1", "ESN."},
        {"3128", "zYNMn_.."},
        {"abc", "8QxA"},
        {"192.168.0.1", "zSpMEANInw6qEAN."},
        {std::string("\x00\xFF\x80", 3), "_gU_"},
        {"\xCF\xE5\xF2\xF0\xEE\xE2 \xC8.\xC8.", "YUjMPna9Fz23Mw6."},  // "Петров И.И." in cp1251
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encode(c.plain), c.encoded);
        EXPECT_EQ(decode(c.encoded), c.plain);
    }
}

TEST(EncDec, EveryByteValueRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(decode(encode(one)), one) << "byte " << b;
        all += one;
    }
    EXPECT_EQ(decode(encode(all)), all);
}

TEST(EncDec, LengthsZeroToSixtyFourRoundTripWithFourSymbolsPerThreeBytes) {
    for (size_t n = 0; n <= 64; ++n) {
        std::string plain;
        for (size_t i = 0; i < n; ++i) plain += static_cast<char>((i * 97 + n * 31 + 0xC0) & 0xFF);
        const std::string encoded = encode(plain);
        EXPECT_EQ(encoded.size(), (n + 2) / 3 * 4) << n;
        EXPECT_EQ(encoded.find_first_not_of(kEncodingAlphabet), std::string::npos) << n;
        EXPECT_EQ(decode(encoded), plain) << n;
    }
}

TEST(EncDec, DecodingIsLenient) {
    const std::string abc = encode("abc");  // 4 symbols, no padding
    const std::string ab = encode("ab");    // 3 symbols and padding
    struct Case {
        const char* what;
        std::string input, expected;
    } cases[] = {
        {"empty", "", ""},
        {"one symbol decodes to nothing", "z", ""},
        {"one padding symbol decodes to nothing", ".", ""},
        {"last symbol of 4k+1 is not read", abc + "z", "abc"},
        {"two symbols give one byte", abc.substr(0, 2), "a"},
        {"three symbols give two bytes", abc.substr(0, 3), "ab"},
        {"padding does not end decoding", encode("a") + encode("b") + ab, "abab"},
        {"padding in the first two places counts as 0 bits", "..", std::string(1, '\0')},
    };
    for (const auto& c : cases) EXPECT_EQ(decode(c.input), c.expected) << c.what;
}

TEST(EncDec, ForeignCharacterCountsAsTheFirstSymbol) {
    const std::string first(1, kEncodingAlphabet[0]);
    const std::string value = encode("\xCF\xE5\xF2\xF0\xEE\xE2");  // Cyrillic, 8 symbols
    for (const char* foreign : {"?", "=", " ", "\n", "\xFF", "["}) {
        for (size_t at : {size_t{0}, size_t{3}, size_t{6}}) {
            std::string spoiled = value, expected = value;
            spoiled.replace(at, 1, foreign);
            expected.replace(at, 1, first);
            EXPECT_EQ(decode(spoiled), decode(expected)) << "at " << at;
        }
    }
}

TEST(EncDec, GarbageNeverFailsAndKeepsTheByteCountBound) {
    std::string garbage;
    for (int b = 255; b >= 0; --b) garbage += static_cast<char>(b);
    for (size_t n = 0; n <= garbage.size(); n += 7) {
        const std::string out = decode(garbage.substr(0, n));
        EXPECT_LE(out.size(), (n + 3) / 4 * 3) << n;
    }
}

}  // namespace
}  // namespace korvex
