// Spend per day and days left from an account's checks, and the forecast of every account of a book.
#include "history/forecast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "history/balance_history.h"
#include "tests/support/temp_dir.h"

namespace korvex::test {
namespace {

using namespace std::chrono;

const system_clock::time_point kNow = sys_days{year{2026} / 6 / 30} + hours(12);

// One check `daysBefore` days before kNow: a balance read, or (no balance) a check of `outcome`.
struct Point {
    double daysBefore;
    std::optional<double> balance;
    HistoryOutcome outcome = HistoryOutcome::Page;
};

HistoryEntry check(const Point& p, const std::string& login = "ivanov", const std::string& plan = "SG") {
    HistoryEntry e;
    const auto moment =
        kNow - duration_cast<system_clock::duration>(duration<double, std::ratio<86400>>(p.daysBefore));
    e.time = utcTimestamp(moment);
    e.login = login;
    e.plan = plan;
    e.outcome = p.outcome;
    e.balance = p.balance;
    return e;
}

// Daily readings from `days` days ago up to today: from `first` down by `perDay` a day.
std::vector<Point> falling(int days, double first, double perDay) {
    std::vector<Point> points;
    for (int d = 0; d <= days; ++d) points.push_back({static_cast<double>(days - d), first - perDay * d});
    return points;
}

std::vector<Point> joined(std::vector<Point> a, const std::vector<Point>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Steady spending with failures among the readings: transfers that failed, a page without the
// balance, and a check ended by the error marker whose stale balance must not count.
std::vector<Point> withFailures() {
    std::vector<Point> points = falling(29, 400, 10);
    for (int d = 28; d > 0; d -= 3) {
        points.push_back({d + 0.5, std::nullopt, HistoryOutcome::TransferFailed});
        points.push_back({d + 0.25, std::nullopt, HistoryOutcome::NotFound});
    }
    points.push_back({10.5, 9999.0, HistoryOutcome::ErrorMarker});
    points.push_back({5.5, 9999.0, HistoryOutcome::TransferFailed});
    return points;
}

// One drop of 300 a month, read every day for 58 days.
std::vector<Point> monthlyFee() {
    std::vector<Point> points;
    for (int d = 0; d <= 58; ++d) points.push_back({58.0 - d, d < 15 ? 1000.0 : d < 45 ? 700.0 : 400.0});
    return points;
}

// 500 spent down by 10 a day for 19 days, a top-up to 1000, then 10 a day again for 19 days.
std::vector<Point> topUpInTheMiddle() {
    std::vector<Point> points;
    for (int d = 0; d < 20; ++d) points.push_back({39.0 - d, 500.0 - 10 * d});
    for (int d = 20; d <= 39; ++d) points.push_back({39.0 - d, 1000.0 - 10 * (d - 20)});
    return points;
}

TEST(Forecast, SpendPerDayAndDaysLeftOfReadingSeries) {
    struct Case {
        const char* name;
        std::vector<Point> points;
        ForecastState state;
        std::optional<double> perDay;
        std::optional<int> daysLeft;
        std::optional<double> balance;
    } cases[] = {
        {"steady daily spend", falling(29, 400, 10), ForecastState::Estimated, 10.0, 11, 110.0},
        {"monthly fee", monthlyFee(), ForecastState::Estimated, 600.0 / 58, 38, 400.0},
        {"a top-up in the middle", topUpInTheMiddle(), ForecastState::Estimated, 10.0, 81, 810.0},
        {"failed checks between", withFailures(), ForecastState::Estimated, 10.0, 11, 110.0},
        {"one reading", {{0, 500.0}}, ForecastState::TooShort, std::nullopt, std::nullopt, 500.0},
        {"balance already negative", falling(20, 180, 10), ForecastState::RunOut, 10.0, 0, -20.0},
        {"negative with one reading", {{0, -5.0}}, ForecastState::RunOut, std::nullopt, 0, -5.0},
        {"zero balance", falling(10, 100, 10), ForecastState::RunOut, 10.0, 0, 0.0},
        {"no spend",
         {{30, 500.0}, {15, 500.0}, {0, 500.0}},
         ForecastState::NothingSpent,
         std::nullopt,
         std::nullopt,
         500.0},
        {"only top-ups",
         {{30, 100.0}, {20, 200.0}, {10, 300.0}, {0, 400.0}},
         ForecastState::NothingSpent,
         std::nullopt,
         std::nullopt,
         400.0},
        {"two readings a week apart", {{7, 170.0}, {0, 100.0}}, ForecastState::Estimated, 10.0, 10, 100.0},
        {"two readings less than a week apart",
         {{6.9, 170.0}, {0, 100.0}},
         ForecastState::TooShort,
         std::nullopt,
         std::nullopt,
         100.0},
        {"no fall in 6.9 days", {{6.9, 100.0}, {0, 100.0}}, ForecastState::TooShort, {}, {}, 100.0},
        {"a top-up in 6.9 days", {{6.9, 100.0}, {0, 200.0}}, ForecastState::TooShort, {}, {}, 200.0},
        {"a week of readings, the falls all within a day",
         {{7, 100.0}, {6, 200.0}, {5.5, 150.0}, {0, 500.0}},
         ForecastState::TooShort,
         std::nullopt,
         std::nullopt,
         500.0},
        {"rounded down", {{10, 205.0}, {0, 105.0}}, ForecastState::Estimated, 10.0, 10, 105.0},
        {"no reading: only failed checks",
         {{3, std::nullopt, HistoryOutcome::TransferFailed}, {1, 50.0, HistoryOutcome::ErrorMarker}},
         ForecastState::NoReading,
         std::nullopt,
         std::nullopt,
         std::nullopt},
        {"readings older than 60 days count for nothing",
         joined(falling(30, 1000, 20), {{61, 5000.0}, {90, 9000.0}}), ForecastState::Estimated, 20.0, 20,
         400.0},
        {"only readings older than 60 days",
         {{90, 500.0}, {61, 100.0}},
         ForecastState::NoReading,
         std::nullopt,
         std::nullopt,
         std::nullopt},
        {"a balance read on a page where another value was not found",
         {{14, 240.0}, {7, 170.0, HistoryOutcome::NotFound}, {0, 100.0}},
         ForecastState::Estimated,
         10.0,
         10,
         100.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<HistoryEntry> checks;
        for (const Point& p : c.points) checks.push_back(check(p));
        // The history reads oldest first; the estimate must not depend on it.
        std::shuffle(checks.begin(), checks.end(), std::mt19937(7));
        const Spending s = estimateSpending(checks, kNow);
        EXPECT_EQ(s.state, c.state);
        EXPECT_EQ(s.daysLeft, c.daysLeft);
        EXPECT_EQ(s.balance, c.balance);
        ASSERT_EQ(s.perDay.has_value(), c.perDay.has_value());
        if (c.perDay) {
            EXPECT_NEAR(*s.perDay, *c.perDay, 1e-9);
        }
        // The estimate is as of the latest reading.
        if (c.balance) {
            const auto latest =
                std::max_element(checks.begin(), checks.end(), [](const auto& a, const auto& b) {
                    return (a.balance && !historyCheckFailed(a.outcome) ? a.time : "") <
                           (b.balance && !historyCheckFailed(b.outcome) ? b.time : "");
                });
            EXPECT_EQ(s.asOf, latest->time);
        }
    }
}

// Numbers no portal gives, but a damaged or hand-made history may hold: no overflow, no NaN.
TEST(Forecast, AbsurdBalancesGiveNoAbsurdDays) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        std::vector<Point> points;
        std::optional<int> daysLeft;
    } cases[] = {
        {"a vast balance", {{30, 1e300}, {0, 1e300 - 1e290}}, std::numeric_limits<int>::max()},
        {"a tiny spend", {{30, 1e12 + 0.03}, {0, 1e12}}, std::numeric_limits<int>::max()},
        {"an infinite balance is no reading", {{30, inf}, {20, 300.0}, {0, 100.0}}, 10},
        {"nor is NaN", {{30, std::nan("")}, {20, 300.0}, {0, 100.0}}, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<HistoryEntry> checks;
        for (const Point& p : c.points) checks.push_back(check(p));
        EXPECT_EQ(estimateSpending(checks, kNow).daysLeft, c.daysLeft);
    }
}

// An account is a login and a plan code: the same login under two plans is two accounts, each with
// its own checks; rows come fewest days first, those that cannot be told last, ties in row order.
TEST(Forecast, EveryAccountOfTheBookByDaysLeft) {
    AccountBook book;
    book.setCount(6);
    const Row accounts[] = {
        {"ivanov", "", "SG", "Ivanov I."}, {"petrova", "", "39", ""}, {"", "", "", ""},
        {"ivanov", "", "42", ""},          {"sidorov", "", "R", ""},  {"petrova", "", "39", ""}};
    for (int r = 0; r < 6; ++r) book.client.setRow(r, accounts[r]);

    std::vector<HistoryEntry> checks;
    for (const Point& p : falling(20, 400, 10)) checks.push_back(check(p, "ivanov", "SG"));   // 200: 20 days
    for (const Point& p : falling(20, 300, 5)) checks.push_back(check(p, "ivanov", "42"));    // 200: 40 days
    for (const Point& p : falling(20, 250, 10)) checks.push_back(check(p, "petrova", "39"));  // 50: 5 days
    checks.push_back(check({0, 70.0}, "sidorov", "R"));                                       // one reading
    for (const Point& p : falling(20, 25, 1)) checks.push_back(check(p, "nobody", "SG"));

    const std::vector<AccountForecast> forecasts = forecastAccounts(book, checks, kNow);
    std::vector<std::pair<int, std::optional<int>>> got;
    for (const AccountForecast& f : forecasts) got.emplace_back(f.row, f.spending.daysLeft);
    const std::vector<std::pair<int, std::optional<int>>> want = {
        {1, 5}, {5, 5}, {0, 20}, {3, 40}, {4, std::nullopt}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(forecasts[2].holder, "Ivanov I.");
    EXPECT_EQ(forecasts[2].plan, "SG");
    EXPECT_EQ(forecasts[4].spending.state, ForecastState::TooShort);

    EXPECT_TRUE(fewDaysLeft(forecasts[0].spending, 7));
    EXPECT_FALSE(fewDaysLeft(forecasts[0].spending, 5)) << "fewer than the threshold, not as many";
    EXPECT_FALSE(fewDaysLeft(forecasts[0].spending, 0)) << "0 turns it off";
    EXPECT_FALSE(fewDaysLeft(forecasts[4].spending, 7)) << "days that cannot be told are not few";
}

// The same from the history file: the window's 60 days are read, nothing older is needed.
TEST(Forecast, TheHistoryFileGivesTheSameForecast) {
    TempDir dir;
    BalanceHistory history(dir.file("History.sqlite"));
    std::vector<HistoryEntry> checks;
    for (const Point& p : joined(falling(20, 250, 10), {{300, 1.0}}))
        checks.push_back(check(p, "petrova", "39"));
    std::sort(checks.begin(), checks.end(), [](const auto& a, const auto& b) { return a.time < b.time; });
    history.append(checks);
    AccountBook book;
    book.client.setRow(0, {"petrova", "", "39", ""});
    const std::vector<AccountForecast> forecasts = forecastAccounts(book, history, kNow);
    ASSERT_EQ(forecasts.size(), 1u);
    EXPECT_EQ(forecasts[0].spending, estimateSpending(checks, kNow));
    EXPECT_EQ(forecasts[0].spending.daysLeft, 5);
}

}  // namespace
}  // namespace korvex::test
