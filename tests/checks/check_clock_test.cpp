#include "checks/check_clock.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(CheckClockTest, TimestampIsDayMonthYearAndTwoDigitTime) {
    struct Case {
        LocalDateTime moment;
        std::string separator;
        std::string text;
    } cases[] = {
        {{1, 1, 2010, 0, 5}, ":", "1/1/2010 00:05"},       {{5, 3, 2009, 9, 7}, ":", "5/3/2009 09:07"},
        {{31, 12, 1999, 23, 59}, ":", "31/12/1999 23:59"}, {{10, 11, 2024, 14, 30}, ".", "10/11/2024 14.30"},
        {{2, 2, 999, 12, 0}, ":", "2/2/0999 12:00"},  // the year always has four digits
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatCheckTimestamp(c.moment, c.separator), c.text);
        EXPECT_EQ(checkTimestamp(FixedCheckClock(c.moment, c.separator)), c.text);
    }
}

TEST(CheckClockTest, SeparatorIsTakenFromTheLocaleTimeFormat) {
    struct Case {
        const char* timeFormat;
        const char* amPmFormat;
        bool utf8;
        std::string separator;
    } cases[] = {
        {"%H:%M:%S", "", true, ":"},
        {"%H.%M.%S", "", true, "."},  // Finnish
        {"%T", "", true, ":"},
        {"%r", "%I.%M.%S %p", true, "."},
        {"%p %l:%M:%S", "", true, ":"},
        {"%OH%M", "", true, ":"},  // no separator at all: the default
        {"%Hh%M", "", true, "h"},
        {"%H\xD1\x87%M", "", true, "\xF7"},   // Cyrillic "ч" in UTF-8 becomes its cp1251 byte
        {"%H\xD1\x87%M", "", false, ":"},     // ... but only when the locale's texts are UTF-8
        {"%H\xE6\x99\x82%M", "", true, ":"},  // a character cp1251 cannot hold
        {"%H h%M", "", true, ":"},            // two characters
        {"%S", "", true, ":"},
        {"", "", true, ":"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(timeSeparatorFromFormat(c.timeFormat, c.amPmFormat, c.utf8), c.separator) << c.timeFormat;
}

}  // namespace
}  // namespace korvex
