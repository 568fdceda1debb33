#include <gtest/gtest.h>

#include "update/engine/header_date.h"

namespace korvex {
namespace {

TEST(HeaderDate, FormsOfTheHeaderInUniversalTime) {
    const TDateTime nov6 = encodeDateTime(1994, 11, 6, 8, 49, 37);
    const std::pair<const char*, TDateTime> cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", nov6},
        {"Sunday, 06-Nov-94 08:49:37 GMT", nov6},
        {"Sun Nov  6 08:49:37 1994", nov6},  // asctime: time before the year
        {"06 nov 1994 08:49:37", nov6},
        {"NOV 06 1994 08:49:37 UTC", nov6},
        {"Sun, 06 Nov 1994 10:49:37 +0200", nov6},  // the zone is subtracted
        {"Sun, 06 Nov 1994 03:19:37 -0530", nov6},
        {"Thu, 01 Jan 26 00:00:00 GMT", encodeDateTime(2026, 1, 1)},  // below 80: 2000 +
        {"Thu, 01 Jan 80 00:00:00 GMT", encodeDateTime(1980, 1, 1)},  // 80..99: 1900 +
        {"1 Jan", encodeDateTime(1900, 1, 1)},                        // no year: 1900
        {"Wed, 31 Dec 2008", encodeDateTime(2008, 12, 31)},           // no time
        {"", 0},
        {"not a date", 0},
        {"Sun, 32 Nov 1994 08:49:37 GMT", 0},
        {"Sun, 06 Nov 1994 25:00:00 GMT", 0},
    };
    for (const auto& [text, expected] : cases) EXPECT_NEAR(parseHeaderDateUtc(text), expected, 1e-7) << text;
}

TEST(HeaderDate, LocalTimeIsTheUniversalTimeMovedByTheZoneOfThatMoment) {
    const char* text = "Fri, 26 Dec 2008 12:00:00 GMT";
    const std::time_t seconds = unixFromDateTime(parseHeaderDateUtc(text));
    EXPECT_EQ(seconds, 1230292800);
    std::tm local{};
    ASSERT_TRUE(localtime_r(&seconds, &local));
    EXPECT_NEAR(parseHeaderDate(text),
                encodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                               local.tm_sec),
                1e-7);
    EXPECT_EQ(parseHeaderDate(""), 0);
}

}  // namespace
}  // namespace korvex
