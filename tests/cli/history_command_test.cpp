// korvex-cli history, and the checks that korvex-cli refresh keeps, against the substitute portals.
#include <filesystem>

#include "history/balance_history.h"
#include "korvex-cli/command_line.h"
#include "korvex-cli/history_command.h"
#include "tests/cli/cli_test_support.h"

namespace korvex::test {
namespace {

HistoryEntry kept(std::string time, std::string login, std::string balance, std::string status,
                  HistoryOutcome outcome = HistoryOutcome::Page) {
    HistoryEntry e;
    e.time = std::move(time);
    e.login = std::move(login);
    e.plan = "R";
    e.balance = balanceNumber(balance);
    e.balanceText = std::move(balance);
    e.speed = "512";
    e.status = std::move(status);
    e.outcome = outcome;
    return e;
}

class HistoryCommandTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s_portals = &stockDemoPortals(); }

    std::string historyPath() const { return historyPathFor(f.settings); }
    int history(HistoryOptions options) { return historyCommand(f.context(), options); }

    static inline DemoPortals* s_portals = nullptr;
    CliFolder f{demoPortalAddresses(*s_portals)};
};

TEST_F(HistoryCommandTest, ARefreshKeepsOneCheckPerCheckedAccountWithItsOutcome) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"},
                   {"r_smirnov", "Raduga#2024", "R"},
                   {"sps_ivanov", "wrong-pass", "39"},
                   {"x", "y", "sps"},  // passed over: nothing learnt, nothing kept
                   {"sat_titova", "T1tova-SG", "SG"}});
    f.addresses.raduga = "https://127.0.0.1:1";  // nothing listens there
    EXPECT_EQ(refreshCommand(f.context(), std::nullopt), kExitFailed);

    const auto checks = BalanceHistory(historyPath()).read({});
    ASSERT_EQ(checks.size(), 4u) << f.err.str();
    const struct {
        const char* login;
        HistoryOutcome outcome;
        const char* balance;
        std::optional<double> number;
    } expected[] = {
        {"sps_ivanov", HistoryOutcome::Page, "42.15", 42.15},
        {"r_smirnov", HistoryOutcome::TransferFailed, "", std::nullopt},
        {"sps_ivanov", HistoryOutcome::NotFound, "--------", std::nullopt},
        {"sat_titova", HistoryOutcome::Page, "104.75", 104.75},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(checks[i].login, expected[i].login);
        EXPECT_EQ(checks[i].outcome, expected[i].outcome);
        EXPECT_EQ(checks[i].balanceText, expected[i].balance);
        EXPECT_EQ(checks[i].balance, expected[i].number);
        EXPECT_EQ(checks[i].time.size(), 20u) << checks[i].time;
    }
    EXPECT_FALSE(checks[1].detail.empty()) << "why the transfer failed is kept";

    // One row alone adds one check; the history goes on across runs.
    ASSERT_EQ(refreshCommand(f.context(), 5), kExitOk) << f.err.str();
    EXPECT_EQ(BalanceHistory(historyPath()).read({"sat_titova", "", 0}).size(), 2u);
}

TEST_F(HistoryCommandTest, AHistoryThatCannotBeWrittenIsSaidOnceAndTheSettingsAreSaved) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}});
    std::filesystem::create_directory(historyPath());  // no file can be made there

    EXPECT_EQ(refreshCommand(f.context(), std::nullopt), kExitOk);
    const AccountBook book = savedBook(f.settings);
    EXPECT_EQ(book.Stat.cell(kDate, 0), kStamp);
    EXPECT_EQ(book.Stat.cell(kBalance, 1), "104.75");
    const std::string err = f.err.str();
    const std::size_t said = err.find("History.sqlite");
    ASSERT_NE(said, std::string::npos) << err;
    EXPECT_EQ(err.find("History.sqlite", said + 1), std::string::npos) << "said once: " << err;
    EXPECT_NE(err.find("not in the history"), std::string::npos) << err;
}

TEST_F(HistoryCommandTest, ChecksAreListedAsATableOrCsvInUtf8ByLoginAndDate) {
    {
        BalanceHistory history(historyPath());
        HistoryEntry failed =
            kept("2026-12-02T08:00:00Z", "r_smirnov", "", "", HistoryOutcome::TransferFailed);
        failed.detail = "Couldn't connect to server";
        history.append({kept("2026-12-01T08:00:00Z", "r_smirnov", "1 200,50 руб.", "Активна, \"Стандарт\""),
                        failed, kept("2026-12-03T00:00:00Z", "r_volkova", "-3", "Заблокирована")});
    }
    ASSERT_EQ(history({.login = "r_smirnov", .csv = true}), kExitOk) << f.err.str();
    EXPECT_EQ(
        f.out.str(),
        "time,login,plan,balance,amount,speed,status,outcome,detail\n"
        "2026-12-01T08:00:00Z,r_smirnov,R,\"1 200,50 руб.\",1200.5,512,\"Активна, \"\"Стандарт\"\"\",page,\n"
        "2026-12-02T08:00:00Z,r_smirnov,R,,,512,,transfer failed,Couldn't connect to server\n");

    // --since 2026-12-03: the check stamped at its first second is in.
    ASSERT_EQ(history({.since = parseCommandLine({"history", "--since", "2026-12-03"}).since}), kExitOk);
    const std::string table = f.out.str();
    EXPECT_EQ(table.find("r_smirnov"), std::string::npos) << table;
    EXPECT_NE(table.find("Заблокирована"), std::string::npos) << table;
    EXPECT_NE(table.find("time (UTC)"), std::string::npos) << table;

    ASSERT_EQ(history({.login = "nobody"}), kExitOk);
    EXPECT_EQ(f.out.str(), "");
    EXPECT_NE(f.err.str().find("no checks of nobody"), std::string::npos) << f.err.str();

    ASSERT_EQ(history({.pruneBefore = "2026-12-03T00:00:00Z"}), kExitOk);
    EXPECT_NE(f.out.str().find("removed 2 checks"), std::string::npos) << f.out.str();
    EXPECT_EQ(BalanceHistory(historyPath()).read({}).size(), 1u);
}

TEST_F(HistoryCommandTest, AMissingHistoryIsNotMadeAndADamagedOneIsSaid) {
    EXPECT_EQ(history({}), kExitOk);
    EXPECT_NE(f.err.str().find("no checks are kept yet"), std::string::npos) << f.err.str();
    EXPECT_EQ(history({.pruneBefore = "2026-01-01T00:00:00Z"}), kExitOk);
    EXPECT_FALSE(std::filesystem::exists(historyPath())) << "reading made a file";

    f.dir.write("History.sqlite", std::string(2048, 'x'));
    EXPECT_EQ(history({}), kExitFailed);
    EXPECT_NE(f.err.str().find("History.sqlite"), std::string::npos) << f.err.str();
}

TEST(HistoryCommandLine, OptionsAreCheckedAndDatesBecomeTimestamps) {
    const auto call = parseCommandLine({"history", "--login", "r_smirnov", "--since=2026-12-01", "--csv"});
    EXPECT_EQ(call.command, CliCommand::History);
    EXPECT_EQ(call.login, "r_smirnov");
    EXPECT_EQ(call.since, "2026-12-01T00:00:00Z");
    EXPECT_TRUE(call.csv);
    EXPECT_EQ(parseCommandLine({"history", "--prune-before", "2026-12-01T10:30"}).pruneBefore,
              "2026-12-01T10:30:00Z");

    const std::vector<std::vector<std::string>> refused = {
        {"history", "--since", "1.12.2026"},
        {"history", "--prune-before", "2026-02-30"},
        {"history", "--prune-before", "2026-12-01", "--login", "x"},
        {"history", "file.csv"},
        {"show", "--login", "x"},
        {"refresh", "--since", "2026-12-01"},
    };
    for (const auto& args : refused) EXPECT_THROW(parseCommandLine(args), CliUsageError) << args[1];
}

}  // namespace
}  // namespace korvex::test
