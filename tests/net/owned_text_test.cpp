#include "net/owned_text.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

// libcurl keeps the post body's pointer: a buffer that moved while its text stayed the same
// would leave libcurl reading freed memory.
TEST(OwnedText, KeepsOrReusesTheBufferUnlessTheTextGrows) {
    struct Case {
        const char* first;
        const char* second;
        bool sameBuffer;
    };
    const Case cases[] = {
        {"http://a/long/path", "http://a/long/path", true},  // same text
        {"http://a/long/path", "http://b/", true},           // shorter: reused
        {"http://b/", "http://b/", true},
        {"http://b/", "http://a/much/longer/path", false},  // longer: replaced
    };
    for (const Case& c : cases) {
        OwnedText text;
        text.assign(c.first);
        const char* before = text.c_str();
        text.assign(c.second);
        EXPECT_EQ(text.c_str() == before, c.sameBuffer) << c.first << " -> " << c.second;
        EXPECT_EQ(text.view(), c.second);
        EXPECT_EQ(text.c_str()[text.size()], '\0');
    }
}

TEST(OwnedText, EmptyTextIsAbsentAndBinaryBytesSurvive) {
    OwnedText text;
    EXPECT_EQ(text.c_str(), nullptr);
    text.assign(std::string_view("a\0b", 3));
    EXPECT_EQ(text.str(), std::string("a\0b", 3));
    text.assign("");
    EXPECT_EQ(text.c_str(), nullptr);
    EXPECT_EQ(text.str(), "");
}

}  // namespace
}  // namespace korvex
