#include <gtest/gtest.h>

#include "checks/provider_profiles.h"
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

TEST(HistoryEntryOfARow, KeepsThePortalsTextsInUtf8AndOnlyWhatACheckLearnt) {
    AccountBook book;
    book.setCount(2);
    book.client.setRow(0, {"ivanov", "secret", "SG", utf8ToCp1251("Иванов")});
    book.Stat.setCell(kBalance, 0, utf8ToCp1251("-1 234,50 руб."));
    book.Stat.setCell(kSpeed, 0, "256");
    book.Stat.setCell(kStatus, 0, utf8ToCp1251("Активна"));

    const auto entryFor = [&](CheckOutcome outcome, int row = 0) {
        RowCheck check;
        check.row = row;
        check.outcome = outcome;
        check.errorText = "Timeout was reached";
        return historyEntry(book, check, "2026-12-07T09:05:00Z");
    };
    const auto page = entryFor(CheckOutcome::PageRead);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->login, "ivanov");
    EXPECT_EQ(page->plan, "SG");
    EXPECT_EQ(page->balanceText, "-1 234,50 руб.");
    EXPECT_EQ(page->balance, -1234.5);
    EXPECT_EQ(page->status, "Активна");
    EXPECT_EQ(page->outcome, HistoryOutcome::Page);

    // A failed transfer changed no cell: the old balance must not show up as a new reading.
    const auto noPage = entryFor(CheckOutcome::TransferFailed);
    ASSERT_TRUE(noPage);
    EXPECT_EQ(noPage->balanceText, "");
    EXPECT_FALSE(noPage->balance);
    EXPECT_EQ(noPage->detail, "Timeout was reached");

    const auto marker = entryFor(CheckOutcome::ErrorMarker);
    ASSERT_TRUE(marker);
    EXPECT_FALSE(marker->balance);

    EXPECT_FALSE(entryFor(CheckOutcome::PassedOver));
    EXPECT_FALSE(entryFor(CheckOutcome::Stopped));
    EXPECT_FALSE(entryFor(CheckOutcome::PageRead, 1)) << "a row without a login is nobody's history";
}

}  // namespace
}  // namespace korvex
