// The run summary's days-left heading, from a prepared history and the rows a run checked.
#include "run/days_left_summary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "history/balance_history.h"
#include "tests/support/temp_dir.h"

namespace korvex::test {
namespace {

using namespace std::chrono;

const system_clock::time_point kNow = sys_days{year{2026} / 6 / 30} + hours(12);

// Daily readings of an account for 20 days up to kNow, falling by `perDay` to `last`.
std::vector<HistoryEntry> spending(const std::string& login, const std::string& plan, double last,
                                   double perDay) {
    std::vector<HistoryEntry> checks;
    for (int d = 20; d >= 0; --d) {
        HistoryEntry e;
        e.time = utcTimestamp(kNow - days(d));
        e.login = login;
        e.plan = plan;
        e.balance = last + perDay * d;
        checks.push_back(e);
    }
    return checks;
}

RowCheck check(int row, CheckOutcome outcome, std::vector<int> missed = {}) {
    RowCheck c;
    c.row = row;
    c.outcome = outcome;
    c.profile = "SpectrumSat";
    c.missedColumns = std::move(missed);
    return c;
}

struct Prepared {
    Prepared() {
        // Row, login, plan, balance cell after the run, what became of the row, its history.
        const struct {
            const char* login;
            const char* plan;
            const char* balance;
            RowCheck check;
            double last, perDay;
        } rows[] = {
            {"ivanov", "SG", "50.00", check(0, CheckOutcome::PageRead), 50, 10},    // 5 days: named
            {"petrova", "39", "-3.00", check(1, CheckOutcome::PageRead), -3, 10},   // low balance
            {"sidorov", "R", "200.00", check(2, CheckOutcome::PageRead), 200, 10},  // 20 days
            {"kuznetsov", "SG", "--------", check(3, CheckOutcome::NotFound, {kBalance}), 20,
             10},                                                                           // not read
            {"orlov", "39", "30.00", check(4, CheckOutcome::Stopped), 30, 10},              // not checked
            {"belova", "42", "60.00", check(5, CheckOutcome::NotFound, {kSpeed}), 60, 10},  // 6 days: named
            {"ivanov", "42", "300.00", check(6, CheckOutcome::PageRead), 300, 10},          // 30 days
        };
        book.setCount(static_cast<int>(std::size(rows)));
        std::vector<HistoryEntry> checks;
        for (int r = 0; r < book.clients; ++r) {
            book.client.setRow(r, {rows[r].login, "", rows[r].plan, ""});
            book.Stat.setCell(kBalance, r, rows[r].balance);
            runRows.push_back(rows[r].check);
            for (HistoryEntry& e : spending(rows[r].login, rows[r].plan, rows[r].last, rows[r].perDay))
                checks.push_back(std::move(e));
        }
        // The same login under the other plan spends fast: that is another account.
        for (HistoryEntry& e : spending("sidorov", "39", 10, 10)) checks.push_back(std::move(e));
        BalanceHistory(path).append(checks);
    }

    TempDir dir;
    std::string path = dir.file("History.sqlite");
    AccountBook book;
    std::vector<RowCheck> runRows;
};

std::vector<int> rowsOf(const std::vector<DaysLeftAccount>& accounts) {
    std::vector<int> rows;
    for (const DaysLeftAccount& a : accounts) rows.push_back(a.account.row);
    return rows;
}

TEST(DaysLeftSummary, NamesTheRowsReadThisRunWithFewerDaysLeftFewestFirst) {
    Prepared p;
    RunSummary summary = summarizeRun(p.runRows, p.book);
    ASSERT_EQ(summary.lowBalances.size(), 1u);
    ASSERT_EQ(noteDaysLeft(summary, p.runRows, p.book, p.path, 7, kNow), "");
    EXPECT_EQ(rowsOf(summary.fewDaysLeft), (std::vector<int>{0, 5}));
    EXPECT_EQ(summary.fewDaysLeft[0].daysLeft, 5);
    RunSummary daysOnly;
    daysOnly.fewDaysLeft = summary.fewDaysLeft;
    EXPECT_FALSE(daysOnly.empty());
    EXPECT_TRUE(daysOnly.needsAttention()) << "few days left count like a low balance";

    const std::string text = summaryText(summary);
    EXPECT_NE(text.find("days left: row 1 (ivanov): 50.00, 5 days (10.00 a day)\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("days left: row 6 (belova): 60.00, 6 days (10.00 a day)\n"), std::string::npos)
        << text;
    const std::string json = summaryJson(summary, 0);
    EXPECT_NE(
        json.find(",\"daysLeftThreshold\":7,\"fewDaysLeft\":[{\"row\":1,\"login\":\"ivanov\",\"balance\":"
                  "50.00,\"previous\":null,\"balanceText\":\"50.00\",\"previousText\":\"\",\"plan\":\"SG\",\"daysLeft\":5,\"perDay\":10.00},{\"row\":6,"),
        std::string::npos)
        << json;

    // A threshold of 31 takes in the rows with 20 and 30 days, never those not read this run.
    ASSERT_EQ(noteDaysLeft(summary, p.runRows, p.book, p.path, 31, kNow), "");
    EXPECT_EQ(rowsOf(summary.fewDaysLeft), (std::vector<int>{0, 5, 2, 6}));
}

TEST(DaysLeftSummary, OffOrWithoutAHistoryItNamesNothingAndMakesNoFile) {
    Prepared p;
    RunSummary summary = summarizeRun(p.runRows, p.book);
    ASSERT_EQ(noteDaysLeft(summary, p.runRows, p.book, p.path, 0, kNow), "");
    EXPECT_TRUE(summary.fewDaysLeft.empty());
    EXPECT_NE(summaryJson(summary, 0).find("\"daysLeftThreshold\":0,\"fewDaysLeft\":[]}"), std::string::npos);

    const std::string missing = p.dir.file("none.sqlite");
    ASSERT_EQ(noteDaysLeft(summary, p.runRows, p.book, missing, 7, kNow), "");
    EXPECT_TRUE(summary.fewDaysLeft.empty());
    EXPECT_FALSE(std::filesystem::exists(missing));

    // A history that cannot be read is said; the summary holds no such heading.
    std::filesystem::remove(p.path);
    {
        std::FILE* f = std::fopen(p.path.c_str(), "w");
        std::fputs("not a database, just some text that SQLite will refuse to read as one", f);
        std::fclose(f);
    }
    EXPECT_NE(noteDaysLeft(summary, p.runRows, p.book, p.path, 7, kNow), "");
    EXPECT_TRUE(summary.fewDaysLeft.empty());
}

}  // namespace
}  // namespace korvex::test
