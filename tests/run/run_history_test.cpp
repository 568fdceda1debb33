#include "run/run_history.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "history/balance_history.h"
#include "platform/codepage.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

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

TEST(RunHistory, AHistoryThatCannotBeWrittenIsSaidAndTheChecksAreKeptForLater) {
    test::TempDir dir;
    const std::string settings = dir.file("Settings.ini");
    AccountBook book;
    book.client.setRow(0, {"ivanov", "secret", "SG", ""});
    book.Stat.setCell(kBalance, 0, "42");
    RunHistory run([] { return std::chrono::system_clock::time_point(std::chrono::seconds(1'796'634'300)); });
    RowCheck check;
    check.row = 0;
    check.outcome = CheckOutcome::PageRead;
    run.add(book, check);
    check.outcome = CheckOutcome::PassedOver;
    run.add(book, check);
    ASSERT_EQ(run.entries().size(), 1u);

    std::filesystem::create_directory(historyPathFor(settings));  // in the way of the file
    const std::string message = run.save(settings);
    EXPECT_NE(message.find("History.sqlite"), std::string::npos) << message;
    EXPECT_EQ(run.entries().size(), 1u);

    std::filesystem::remove(historyPathFor(settings));
    EXPECT_EQ(run.save(settings), "");
    const auto kept = BalanceHistory(historyPathFor(settings)).read({});
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].time, "2026-12-07T09:05:00Z");
    EXPECT_EQ(kept[0].balance, 42);
}

}  // namespace
}  // namespace korvex
