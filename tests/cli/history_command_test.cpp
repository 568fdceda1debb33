// korvex-cli history, and the checks that korvex-cli refresh keeps, against the substitute portals.
#include <algorithm>
#include <filesystem>
#include <functional>

#include "book/balance_text.h"
#include "history/balance_history.h"
#include "korvex-cli/command_line.h"
#include "korvex-cli/commands/history_command.h"
#include "tests/cli/cli_test_support.h"

namespace korvex::test {
namespace {

HistoryEntry kept(std::string time, std::string login, std::string balance, std::string status,
                  HistoryOutcome outcome = HistoryOutcome::Page) {
    HistoryEntry e;
    e.time = std::move(time);
    e.login = std::move(login);
    e.plan = "R";
    e.balance = balanceFromUtf8(balance);
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

// A portal's page is the portal's to write. What a refresh keeps of it is short and plain in the
// settings file and the history; CSV to a terminal holds no control character, also of values kept
// before (by an older Korvex, or by hand); CSV to a file or a pipe stays byte for byte.
TEST_F(HistoryCommandTest, HostilePortalValuesReachNoFileLongAndNoTerminalRaw) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}});
    const std::string hostile = "\x1B]0;pwned\x07\x1B[2J\x08\x7F";  // title, clear screen, BS, DEL
    s_portals->setFixedPage(PortalId::SpectrumSat, "Status: " + hostile + std::string(300'000, 'x') +
                                                       "<BR>Deposit: 12.50, Chosen speed: 256 Kbps");
    const int status = refreshCommand(f.context(), std::nullopt);
    s_portals->setFixedPage(PortalId::SpectrumSat, std::nullopt);
    ASSERT_EQ(status, kExitOk) << f.err.str();

    const std::string kept = " ]0;pwned  [2J  " + std::string(256 - 16, 'x');
    AccountBook book = savedBook(f.settings);
    EXPECT_EQ(book.Stat.cell(kStatus, 0), kept);
    EXPECT_LT(f.fileText().size(), 4096u);
    const auto checks = BalanceHistory(historyPath()).read({"sps_ivanov", "", 0});
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].status, kept);

    // Kept before: a status and a holder in the settings file, a check in the history (with a C1 CSI).
    book.Stat.setCell(kStatus, 1, hostile);
    book.client.setCell(kHolder, 1, hostile);
    zapis(book, {}, f.settings);
    BalanceHistory(historyPath())
        .append({HistoryEntry{
            .time = "2026-12-01T08:00:00Z", .login = "old", .status = hostile + "\xC2\x9B" + "2J"}});
    const auto controls = [](const std::string& text) {
        int count = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            count += (byte < 0x20 && byte != '\n' && byte != '\r') || byte == 0x7F ||
                     (byte == 0xC2 && i + 1 < text.size() &&
                      (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80);
        }
        return count;
    };
    const struct {
        const char* command;
        std::function<int(const CliContext&)> run;
    } outputs[] = {
        {"show --csv", [](const CliContext& c) { return showCommand(c, true); }},
        {"history --csv",
         [](const CliContext& c) {
             return historyCommand(c, {"", "", "", true, ""});
         }},
        {"export -", [](const CliContext& c) { return exportCommand(c, "-"); }},
    };
    for (const auto& o : outputs) {
        SCOPED_TRACE(o.command);
        CliContext terminal = f.context();
        terminal.outIsTerminal = true;
        ASSERT_EQ(o.run(terminal), kExitOk) << f.err.str();
        EXPECT_EQ(controls(f.out.str()), 0) << f.out.str();
        EXPECT_NE(f.out.str().find("\xEF\xBF\xBD]0;pwned"), std::string::npos) << "shown as U+FFFD";
        ASSERT_EQ(o.run(f.context()), kExitOk) << f.err.str();
        EXPECT_NE(f.out.str().find(hostile), std::string::npos) << "a file or a pipe gets the bytes as kept";
    }
}

TEST_F(HistoryCommandTest, AHistoryThatCannotBeWrittenIsSaidOnceAndTheSettingsAreSaved) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}});
    std::filesystem::create_directory(historyPath());  // no file can be made there

    // The checks and the save stand; the run says it lost its history, also in its exit status.
    EXPECT_EQ(refreshCommand(f.context(), std::nullopt), kExitFailed);
    const AccountBook book = savedBook(f.settings);
    EXPECT_EQ(book.Stat.cell(kDate, 0), kStamp);
    EXPECT_EQ(book.Stat.cell(kBalance, 1), "104.75");
    const std::string err = f.err.str();
    const std::size_t said = err.find("History.sqlite");
    ASSERT_NE(said, std::string::npos) << err;
    EXPECT_EQ(err.find("History.sqlite", said + 1), std::string::npos) << "said once: " << err;
    EXPECT_NE(err.find("not in the history"), std::string::npos) << err;
}

// An account is its login and its plan code: one subscriber's two plans are two accounts, and
// --plan picks one of them.
TEST_F(HistoryCommandTest, TwoAccountsSharingALoginAreToldApartByTheirPlan) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sps_ivanov", "wrong-pass", "SPS"}});
    EXPECT_EQ(refreshCommand(f.context(), std::nullopt), kExitFailed);
    const struct {
        const char* plan;
        std::vector<HistoryOutcome> outcomes;
    } cases[] = {
        {"39", {HistoryOutcome::Page}},
        {"SPS", {HistoryOutcome::NotFound}},
        {"", {HistoryOutcome::Page, HistoryOutcome::NotFound}},  // the login: both accounts
        {"53", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        std::vector<HistoryOutcome> outcomes;
        for (const HistoryEntry& e : BalanceHistory(historyPath()).read({"sps_ivanov", "", 0, c.plan}))
            outcomes.push_back(e.outcome);
        EXPECT_EQ(outcomes, c.outcomes);
        ASSERT_EQ(history({.login = "sps_ivanov", .plan = c.plan, .csv = true}), kExitOk) << f.err.str();
        const std::string csv = f.out.str();
        EXPECT_EQ(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), c.outcomes.size() + 1) << csv;
    }
    const auto newest = BalanceHistory(historyPath()).recent("sps_ivanov", "39", 10);
    ASSERT_EQ(newest.size(), 1u);
    EXPECT_EQ(newest[0].balanceText, "42.15");
    ASSERT_EQ(history({.login = "sps_ivanov", .plan = "53"}), kExitOk);
    EXPECT_NE(f.err.str().find("no checks of sps_ivanov on plan 53"), std::string::npos) << f.err.str();
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
        "2026-12-01T08:00:00Z,r_smirnov,R,\"1 200,50 руб.\",1200.5,512,\"Активна, \"\"Стандарт\"\"\",read,\n"
        "2026-12-02T08:00:00Z,r_smirnov,R,,,512,,no answer,Couldn't connect to server\n");

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
    EXPECT_EQ(parseCommandLine({"history", "--login", "a", "--plan", "SPS"}).plan, "SPS");
    EXPECT_EQ(parseCommandLine({"history", "--prune-before", "2026-12-01T10:30"}).pruneBefore,
              "2026-12-01T10:30:00Z");

    const std::vector<std::vector<std::string>> refused = {
        {"history", "--since", "1.12.2026"},
        {"history", "--prune-before", "2026-02-30"},
        {"history", "--prune-before", "2026-12-01", "--login", "x"},
        {"history", "file.csv"},
        {"history", "--plan", "SPS"},  // a plan alone names no account
        {"history", "--login", "a", "--plan="},
        {"show", "--plan", "SPS"},
        {"show", "--login", "x"},
        {"refresh", "--since", "2026-12-01"},
    };
    for (const auto& args : refused) EXPECT_THROW(parseCommandLine(args), CliUsageError) << args[1];
}

}  // namespace
}  // namespace korvex::test
