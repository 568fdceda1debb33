#include <gtest/gtest.h>

#include "history/history_entry.h"
#include "platform/codepage.h"

namespace korvex {
namespace {

TEST(HistoryTimestamps, DatesOfTheCommandLineBecomeTimestampsInTextOrder) {
    const struct {
        const char* text;
        const char* timestamp;  // nullptr: refused
    } cases[] = {
        {"2026-12-07", "2026-12-07T00:00:00Z"},
        {"2026-12-07T09:05", "2026-12-07T09:05:00Z"},
        {"2026-12-07 09:05:30", "2026-12-07T09:05:30Z"},
        {"2026-12-07T09:05:30Z", "2026-12-07T09:05:30Z"},
        {"2024-02-29", "2024-02-29T00:00:00Z"},
        {"2026-02-29", nullptr},  // no such day
        {"2026-13-01", nullptr},
        {"2026-12-07T24:00", nullptr},
        {"7/12/2026", nullptr},
        {"2026-12-7", nullptr},
        {"2026-12-07x", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto stamp = utcTimestampFromDate(c.text);
        if (c.timestamp)
            EXPECT_EQ(stamp, std::optional<std::string>(c.timestamp)) << c.text;
        else
            EXPECT_FALSE(stamp) << c.text;
    }
    const auto moment = momentFromUtcTimestamp("2026-12-07T09:05:30Z");
    ASSERT_TRUE(moment);
    EXPECT_EQ(utcTimestamp(*moment), "2026-12-07T09:05:30Z");
}

TEST(HistoryTimestamps, AMomentTheClockCannotHoldIsNoMomentNotAWrappedOne) {
    // The clock counts nanoseconds in 64 bits: 1677-09-21T00:12:43.145Z to 2262-04-11T23:47:16.854Z.
    // A damaged or hand-edited history file may hold any year of the form.
    const struct {
        const char* timestamp;
        bool readable;
    } cases[] = {
        {"0224-02-29T23:59:00Z", false}, {"0000-01-01T00:00:00Z", false}, {"1677-09-21T00:12:43Z", false},
        {"1677-09-21T00:12:44Z", true},  {"1970-01-01T00:00:00Z", true},  {"2262-04-11T23:47:16Z", true},
        {"2262-04-11T23:47:17Z", false}, {"9999-12-31T23:59:59Z", false},
    };
    for (const auto& c : cases) {
        const auto moment = momentFromUtcTimestamp(c.timestamp);
        ASSERT_EQ(moment.has_value(), c.readable) << c.timestamp;
        if (moment) {
            EXPECT_EQ(utcTimestamp(*moment), c.timestamp);
        }
    }
}

}  // namespace
}  // namespace korvex
