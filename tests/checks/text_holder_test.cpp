#include "checks/text_holder.h"

#include <gtest/gtest.h>

#include <string>

namespace korvex {
namespace {

using namespace std::string_literals;

TEST(TextHolderTest, CutsAtNulAndNormalisesEveryLineBreakToCrLf) {
    struct Case {
        std::string page;
        std::string held;
    } cases[] = {
        {"a\nb", "a\r\nb"},
        {"a\rb", "a\r\nb"},
        {"a\r\nb", "a\r\nb"},
        {"a\n\rb", "a\r\n\r\nb"},  // LF then CR: two breaks
        {"a\r\r\nb\n", "a\r\n\r\nb\r\n"},
        {"\r", "\r\n"},
        {"before\0after"s, "before"},
        {"line\r\0\nrest"s, "line\r\n"},         // a CR right before the NUL is a break of its own
        {"\xC0\xE1\n\xFF", "\xC0\xE1\r\n\xFF"},  // every other byte stays
        {"", ""},
    };
    TextHolder memo;
    for (const auto& c : cases) {
        memo.setText(c.page);
        EXPECT_EQ(memo.text(), c.held) << "page: " << testing::PrintToString(c.page);
    }
}

TEST(TextHolderTest, TextOverCapacityThrowsAndKeepsTheOldText) {
    TextHolder memo(8);
    memo.setText("old");
    memo.setText("12345678");  // exactly full
    EXPECT_EQ(memo.text(), "12345678");
    // Nine bytes, and seven that become nine once their line breaks are CR LF.
    for (const std::string page : {"123456789", "12\n34\n5"}) {
        try {
            memo.setText(page);
            ADD_FAILURE() << "no error for " << page;
        } catch (const EMemoCapacity& e) {
            EXPECT_STREQ(e.what(), "Text exceeds memo capacity");
        }
        EXPECT_EQ(memo.text(), "12345678");
    }
    memo.setText("1234\0and a long tail"s);  // only what precedes the NUL counts
    EXPECT_EQ(memo.text(), "1234");
}

TEST(TextHolderTest, DefaultCapacityRefusesAPageOver64MiB) {
    TextHolder memo;
    const std::string page(TextHolder::kDefaultCapacity + 1, 'x');
    EXPECT_THROW(memo.setText(page), EMemoCapacity);
    EXPECT_NO_THROW(memo.setText(std::string_view(page).substr(1)));
    EXPECT_EQ(memo.text().size(), TextHolder::kDefaultCapacity);
}

}  // namespace
}  // namespace korvex
