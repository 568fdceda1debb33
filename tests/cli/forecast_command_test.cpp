// korvex-cli forecast on a settings file and a prepared history, as a table, CSV and JSON.
#include "korvex-cli/commands/forecast_command.h"

#include <filesystem>

#include "history/balance_history.h"
#include "platform/codepage.h"
#include "tests/cli/cli_test_support.h"

namespace korvex::test {
namespace {

using namespace std::chrono;

const system_clock::time_point kNow = sys_days{year{2026} / 6 / 30} + hours(12);

// Daily checks of an account for `days` days up to kNow, falling by `perDay` to `last`.
void keepSpending(BalanceHistory& history, const std::string& login, const std::string& plan, double last,
                  double perDay, int days = 20) {
    std::vector<HistoryEntry> checks;
    for (int d = days; d >= 0; --d) {
        HistoryEntry e;
        e.time = utcTimestamp(kNow - std::chrono::days(d));
        e.login = login;
        e.plan = plan;
        e.balance = last + perDay * d;
        e.balanceText = std::to_string(*e.balance);
        checks.push_back(e);
    }
    history.append(checks);
}

class ForecastCommandTest : public testing::Test {
protected:
    void SetUp() override {
        f.writeAccounts({{"ivanov", "p1", "SG", utf8ToCp1251("Иванов И.")},
                         {"petrova", "p2", "39", ""},
                         {"sidorov", "p3", "R", "Smith, J."},
                         {"", "", "", ""},
                         {"ivanov", "p4", "42", ""}});
        BalanceHistory history(historyPathFor(f.settings));
        keepSpending(history, "ivanov", "SG", 200, 10);
        keepSpending(history, "petrova", "39", 50, 10);
        keepSpending(history, "sidorov", "R", 70, 10, 0);  // one reading
        keepSpending(history, "ivanov", "42", 30, 2.5);
    }

    int forecast(const ForecastOptions& options) { return forecastCommand(f.context(), options, kNow); }

    CliFolder f;
};

TEST_F(ForecastCommandTest, ListsEveryAccountFewestDaysLeftFirstInEachForm) {
    ASSERT_EQ(forecast({}), kExitOk) << f.err.str();
    EXPECT_EQ(f.err.str(), "");
    EXPECT_EQ(f.out.str(),
              "#  login    plan  holder     balance  a day  days left  as of (UTC)\n"
              "2  petrova  39               50.00    10.00  5          2026-06-30T12:00:00Z\n"
              "5  ivanov   42               30.00    2.50   12         2026-06-30T12:00:00Z\n"
              "1  ivanov   SG    Иванов И.  200.00   10.00  20         2026-06-30T12:00:00Z\n"
              "3  sidorov  R     Smith, J.  70.00           —          2026-06-30T12:00:00Z\n");

    ASSERT_EQ(forecast({.format = ForecastFormat::Csv}), kExitOk);
    EXPECT_EQ(f.out.str(),
              "login,plan,holder,balance,per_day,days_left,as_of\n"
              "petrova,39,,50,10.00,5,2026-06-30T12:00:00Z\n"
              "ivanov,42,,30,2.50,12,2026-06-30T12:00:00Z\n"
              "ivanov,SG,Иванов И.,200,10.00,20,2026-06-30T12:00:00Z\n"
              "sidorov,R,\"Smith, J.\",70,,,2026-06-30T12:00:00Z\n");

    ASSERT_EQ(forecast({.within = 13, .format = ForecastFormat::Json}), kExitOk);
    EXPECT_EQ(
        f.out.str(),
        "{\"accounts\":[{\"row\":2,\"login\":\"petrova\",\"plan\":\"39\",\"holder\":\"\",\"balance\":50.00,"
        "\"perDay\":10.00,\"daysLeft\":5,\"asOf\":\"2026-06-30T12:00:00Z\"},"
        "{\"row\":5,\"login\":\"ivanov\",\"plan\":\"42\",\"holder\":\"\",\"balance\":30.00,"
        "\"perDay\":2.50,\"daysLeft\":12,\"asOf\":\"2026-06-30T12:00:00Z\"}]}\n");

    // Fewer days left than --within, not as many.
    ASSERT_EQ(forecast({.within = 5}), kExitOk);
    EXPECT_EQ(f.out.str(), "");
    EXPECT_EQ(f.err.str(), "korvex-cli: no account has fewer than 5 days left\n");
    ASSERT_EQ(forecast({.within = 5, .format = ForecastFormat::Json}), kExitOk);
    EXPECT_EQ(f.out.str(), "{\"accounts\":[]}\n");
}

TEST_F(ForecastCommandTest, WithoutAHistoryNothingCanBeToldAndNoFileIsMade) {
    const std::string history = historyPathFor(f.settings);
    std::filesystem::remove(history);
    ASSERT_EQ(forecast({.format = ForecastFormat::Csv}), kExitOk);
    EXPECT_EQ(f.out.str(),
              "login,plan,holder,balance,per_day,days_left,as_of\n"
              "ivanov,SG,Иванов И.,,,,\n"
              "petrova,39,,,,,\n"
              "sidorov,R,\"Smith, J.\",,,,\n"
              "ivanov,42,,,,,\n");
    EXPECT_NE(f.err.str().find("no checks are kept yet"), std::string::npos) << f.err.str();
    EXPECT_FALSE(std::filesystem::exists(history));

    // A history that cannot be read fails the command; so does a missing settings file.
    std::filesystem::create_directory(history);
    EXPECT_EQ(forecast({}), kExitFailed);
    EXPECT_NE(f.err.str().find("cannot read the balance history"), std::string::npos) << f.err.str();
    std::filesystem::remove(f.settings);
    EXPECT_EQ(forecast({}), kExitFailed);
    EXPECT_NE(f.err.str().find("there is no settings file"), std::string::npos) << f.err.str();
}

}  // namespace
}  // namespace korvex::test
