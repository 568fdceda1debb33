#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace korvex {
namespace {

TEST(Codepage, EveryByteButTheUnassignedOneRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string utf8 = cp1251ToUtf8(byte);
        EXPECT_TRUE(b < 0x80 ? utf8 == byte : utf8.size() >= 2) << "byte " << b;
        EXPECT_EQ(utf8ToCp1251(utf8), b == 0x98 ? "?" : byte) << "byte " << b;
        EXPECT_EQ(utf8FitsCp1251(utf8), b != 0x98) << "byte " << b;
    }
}

TEST(Codepage, KnownCharacters) {
    const struct {
        const char *cp1251, *utf8;
    } cases[] = {
        {"\xC0", "\xD0\x90"},                                                              // А
        {"\xFF", "\xD1\x8F"},                                                              // я
        {"\xA8", "\xD0\x81"},                                                              // Ё
        {"\xB8", "\xD1\x91"},                                                              // ё
        {"\xB9", "\xE2\x84\x96"},                                                          // №
        {"\x88", "\xE2\x82\xAC"},                                                          // €
        {"\x96", "\xE2\x80\x93"},                                                          // en dash
        {"\xA0", "\xC2\xA0"},                                                              // no-break space
        {"\xCE\xD8\xC8\xC1\xCA\xC0", "\xD0\x9E\xD0\xA8\xD0\x98\xD0\x91\xD0\x9A\xD0\x90"},  // ОШИБКА
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cp1251ToUtf8(c.cp1251), c.utf8);
        EXPECT_EQ(utf8ToCp1251(c.utf8), c.cp1251);
    }
}

TEST(Codepage, WhatCp1251CannotHoldBecomesAQuestionMark) {
    const struct {
        const char* what;
        std::string utf8, cp1251;
    } cases[] = {
        {"Latin é", "caf\xC3\xA9", "caf?"},
        {"CJK", "\xE4\xB8\xAD!", "?!"},
        {"emoji", "\xF0\x9F\x98\x80", "?"},
        {"replacement character", "\xEF\xBF\xBD", "?"},
        {"lone continuation byte", "a\x80z", "a?z"},
        {"lead byte cut by the end", "a\xD0", "a?"},
        {"lead byte without continuation",
         "\xD0"
         "A",
         "?A"},
        {"overlong NUL", "\xC0\x80", "??"},
        {"surrogate", "\xED\xA0\x80", "???"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????"},
        {"invalid lead", "\xF8\xFF", "??"},
        {"NUL stays", std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8ToCp1251(c.utf8), c.cp1251) << c.what;
        EXPECT_EQ(utf8FitsCp1251(c.utf8), c.utf8 == c.cp1251) << c.what;
    }
    EXPECT_TRUE(utf8FitsCp1251(""));
    EXPECT_TRUE(
        utf8FitsCp1251("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x84\x96 5"));  // Привет № 5
}

}  // namespace
}  // namespace korvex
