// Where the balance chart puts its line and the marks of failed checks.
#include "history/balance_chart.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace korvex {

void PrintTo(const ChartPoint& p, std::ostream* out) {
    *out << "(" << p.msecs << " ms, " << p.balance << ")";
}

namespace {

constexpr std::int64_t kMinute = 60 * 1000;
// 2026-12-01T10:00:00Z in milliseconds since the epoch.
constexpr std::int64_t kStart = 1796119200LL * 1000;

struct Check {
    int minute;  // after 10:00; -1: a time that is no moment
    std::optional<double> balance;
    HistoryOutcome outcome = HistoryOutcome::Page;
};
using O = HistoryOutcome;

// Entries newest first, as the history answers, from checks written oldest first.
std::vector<HistoryEntry> entriesOf(const std::vector<Check>& oldestFirst) {
    std::vector<HistoryEntry> entries;
    for (auto it = oldestFirst.rbegin(); it != oldestFirst.rend(); ++it) {
        HistoryEntry e;
        e.time = it->minute < 0 ? "2026-12-01T10:61:00Z"
                                : "2026-12-01T10:" + std::string(it->minute < 10 ? "0" : "") +
                                      std::to_string(it->minute) + ":00Z";
        e.login = "ivanov";
        e.balance = it->balance;
        e.outcome = it->outcome;
        entries.push_back(e);
    }
    return entries;
}

ChartPoint at(int minute, double balance) {
    return {kStart + minute * kMinute, balance};
}

TEST(BalanceChart, FailedChecksAreMarkedOnTheLine) {
    const struct {
        const char* story;
        std::vector<Check> checks;  // oldest first
        std::vector<ChartPoint> line;
        std::vector<ChartPoint> marks;
    } cases[] = {
        {"no checks", {}, {}, {}},
        {"every check read", {{1, 50}, {2, 40}}, {at(1, 50), at(2, 40)}, {}},
        {"a value missed, the balance read: a point, marked on itself",
         {{1, 50}, {2, 45, O::NotFound}, {3, 40}},
         {at(1, 50), at(2, 45), at(3, 40)},
         {at(2, 45)}},
        {"no answer: marked at its time on the balance before it",
         {{1, 50}, {2, {}, O::TransferFailed}, {3, 40}},
         {at(1, 50), at(3, 40)},
         {at(2, 50)}},
        {"failures before any balance: on the first balance after them",
         {{1, {}, O::ErrorMarker}, {2, {}, O::TransferFailed}, {5, 30}},
         {at(5, 30)},
         {at(1, 30), at(2, 30)}},
        {"no balance ever read: marked at 0",
         {{1, {}, O::TransferFailed}, {2, {}, O::NotFound}},
         {},
         {at(1, 0), at(2, 0)}},
        {"marks on their own balance first, then the others",
         {{1, 50}, {2, {}, O::TransferFailed}, {3, 45, O::NotFound}, {4, {}, O::ErrorMarker}},
         {at(1, 50), at(3, 45)},
         {at(3, 45), at(2, 50), at(4, 45)}},
        {"a time that is no moment has no place",
         {{1, 50}, {-1, 10, O::NotFound}, {-1, {}, O::TransferFailed}, {3, 40}},
         {at(1, 50), at(3, 40)},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.story);
        const BalanceChart chart = balanceChart(entriesOf(c.checks));
        EXPECT_EQ(chart.line, c.line);
        EXPECT_EQ(chart.failedMarks, c.marks);
    }
}

}  // namespace
}  // namespace korvex
