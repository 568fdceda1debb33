// korvex-cli refresh against the substitute portals, in this process, on ephemeral loopback ports.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "checks/provider_profiles.h"
#include "checks/text_holder.h"
#include "history/balance_history.h"
#include "korvex-cli/stop_signals.h"
#include "net/portal_pins.h"
#include "platform/codepage.h"
#include "run/refresh_settings.h"
#include "settings/ini_file.h"
#include "tests/cli/cli_test_support.h"

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class RefreshCommandTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s_portals = &stockDemoPortals(); }
    void SetUp() override { s_portals->clearRequests(); }
    void TearDown() override {
        for (PortalId id : kAllPortals) {
            s_portals->setStall(id, false);
            s_portals->setRedesigned(id, false);
        }
    }

    // Waits (without a time limit of its own: ctest's ends a hung test) until `portal` got a request.
    static void awaitRequestTo(PortalId portal) {
        while (s_portals->requests(portal).empty()) std::this_thread::sleep_for(5ms);
    }

    static inline DemoPortals* s_portals = nullptr;
    CliFolder f{demoPortalAddresses(*s_portals)};
};

TEST_F(RefreshCommandTest, EveryDemoAccountIsCheckedSavedAndPrinted) {
    ASSERT_EQ(importCommand(f.context(), KORVEX_DEMO_ACCOUNTS_CSV, true), kExitOk) << f.err.str();
    // The demo's wrong password gives the login page: the run fails and names that account, beside
    // the negative balances; a failure wins over a low balance.
    ASSERT_EQ(refreshCommand(f.context(), std::nullopt), kExitFailed) << f.err.str();

    const AccountBook book = savedBook(f.settings);
    ASSERT_EQ(book.clients, 31);
    for (int row = 0; row < book.clients; ++row) {
        SCOPED_TRACE(book.client.cell(kLogin, row));
        EXPECT_EQ(book.Stat.cell(kDate, row), kStamp);
        EXPECT_FALSE(book.Stat.cell(kBalance, row).empty());
        EXPECT_NE(book.Stat.cell(kSpeed, row), kErrorMarker);
    }
    // A basic login, a form login and a UTF-8 portal, cell by cell; the wrong password finds nothing.
    EXPECT_EQ(book.Stat.row(0), (Row{"sps_ivanov", "42.15", "", "256.00", kStamp, "Active", "", ""}));
    EXPECT_EQ(book.Stat.cell(kBalance, 20), "104.75");   // sat_titova
    EXPECT_EQ(book.Stat.cell(kBalance, 26), "1200.00");  // stv_alekseev
    EXPECT_EQ(book.Stat.cell(kBalance, 30), kNotFoundMarker);

    const std::string table = f.out.str();
    EXPECT_NE(table.find("Баланс"), std::string::npos);
    EXPECT_NE(table.find("42.15"), std::string::npos);
    EXPECT_NE(table.find("Иванов Сергей Петрович (неверный пароль)"), std::string::npos);
    // The wrong password is said once: the summary names it.
    EXPECT_EQ(f.err.str(),
              "Korvex: 31 accounts checked\n"
              "values not found: row 31 (sps_ivanov): a wrong password, or the page has changed\n"
              "low balance: row 2 (sps_petrova): -3.80\n"
              "low balance: row 5 (r_volkova): -12.40\n"
              "low balance: row 17 (ps_zaitseva): -1.20\n");
}

// A portal whose page changed its layout is named, and no other; so is a negative balance; the
// notify command receives the text; the exit status asks for attention.
TEST_F(RefreshCommandTest, TheSummaryNamesAChangedPortalPageAndALowBalance) {
    ASSERT_EQ(importCommand(f.context(), KORVEX_DEMO_ACCOUNTS_CSV, true), kExitOk) << f.err.str();
    ASSERT_EQ(refreshCommand(f.context(), std::nullopt), kExitFailed) << f.err.str();  // the wrong password
    EXPECT_EQ(f.err.str().find("changed page"), std::string::npos) << f.err.str();

    s_portals->setRedesigned(PortalId::SatGate, true);
    const std::string notified = f.dir.file("notified.txt");
    ASSERT_EQ(refreshCommand(f.context(), std::nullopt, {.notifyCommand = "cat > '" + notified + "'"}), kExitFailed);
    const std::string err = f.err.str();
    const std::size_t summaryAt = err.find("Korvex: 31 accounts checked\n");
    ASSERT_NE(summaryAt, std::string::npos) << err;
    const std::string summary = err.substr(summaryAt);
    EXPECT_NE(summary.find("changed page: SatGate ("), std::string::npos) << summary;
    EXPECT_EQ(summary.find("changed page:"), summary.rfind("changed page:")) << "one portal only\n" << summary;
    EXPECT_NE(summary.find("low balance: row 2 (sps_petrova): -3.80\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("values not found: row 31 (sps_ivanov)"), std::string::npos) << summary;
    EXPECT_EQ(summary.find("values not found: row 21"), std::string::npos) << "SatGate's rows are its changed page\n"
                                                                           << summary;
    EXPECT_EQ(readFile(notified), summary);

    // For scripts: JSON in place of the table; nothing to notify about runs nothing.
    s_portals->setRedesigned(PortalId::SatGate, false);
    ASSERT_EQ(refreshCommand(f.context(), std::nullopt, {.summaryJson = true}), kExitFailed);
    const std::string json = f.out.str();
    EXPECT_EQ(json.rfind("{\"accountsChecked\":31,", 0), 0u) << json;
    EXPECT_NE(json.find("\"changedPages\":[],\"lowBalances\":[{\"row\":2,\"login\":\"sps_petrova\""),
              std::string::npos)
        << json;

    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}});
    std::filesystem::remove(notified);
    ASSERT_EQ(refreshCommand(f.context(), std::nullopt, {.notifyCommand = "cat > '" + notified + "'"}), kExitOk) << f.err.str();
    EXPECT_FALSE(std::filesystem::exists(notified));
    // A failing notify command is said and fails the run.
    s_portals->setRedesigned(PortalId::SpectrumSat, true);
    EXPECT_EQ(refreshCommand(f.context(), std::nullopt, {.notifyCommand = "exit 4"}), kExitFailed);
    EXPECT_NE(f.err.str().find("the notify command \"exit 4\" ended with status 4"), std::string::npos)
        << f.err.str();
}

// What a run found, its exit status and its JSON summary. Precedence: interrupted (130), anything
// failed (1), a low balance or a changed page (3), nothing (0); the summary lists every trouble and
// needsAttention holds whenever it lists anything.
TEST_F(RefreshCommandTest, TheExitStatusAndTheSummarySayWhatTheRunFound) {
    const Row fine = {"sps_ivanov", "Qw3rty-71", "39"};
    const Row low = {"sps_petrova", "lEto2009", "SPS"};           // -3.80
    const Row wrongPassword = {"sps_ivanov", "wrong-pass", "SPS"};
    const Row unknownPlan = {"x", "y", "40"};
    const Row stalled = {"sat_titova", "T1tova-SG", "SG"};
    const std::string forged = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    const struct Case {
        const char* what;
        std::vector<Row> accounts;
        bool forgedPin;  // SatGate's certificate is not the one pinned
        bool interrupt;  // stopped once SatGate got its request (it stalls)
        int status;
        std::vector<std::string> json;  // parts of the JSON summary
    } cases[] = {
        {"all fine", {fine}, false, false, kExitOk, {"\"needsAttention\":false"}},
        {"a low balance", {fine, low}, false, false, kExitAttention,
         {"\"needsAttention\":true", "\"lowBalances\":[{\"row\":2,\"login\":\"sps_petrova\""}},
        {"a wrong password", {fine, wrongPassword}, false, false, kExitFailed,
         {"\"needsAttention\":true",
          "\"valuesNotFound\":[{\"row\":2,\"login\":\"sps_ivanov\",\"balance\":null,\"previous\":null,"
          "\"balanceText\":\"--------\",\"previousText\":\"\","
          "\"plan\":\"SPS\"}]"}},
        {"a wrong password beside a low balance", {low, wrongPassword}, false, false, kExitFailed,
         {"\"lowBalances\":[{\"row\":1", "\"valuesNotFound\":[{\"row\":2"}},
        {"an unknown plan code", {fine, unknownPlan}, false, false, kExitFailed,
         {"\"needsAttention\":true", "\"unknownPlanCodes\":[{\"row\":2,\"login\":\"x\",\"balance\":null,"
                                      "\"previous\":null,\"balanceText\":\"\",\"previousText\":\"\",\"plan\":\"40\"}]"}},
        {"a refused certificate beside a low balance", {stalled, low}, true, false, kExitFailed,
         {"\"needsAttention\":true", "\"failedTransfers\":[]",
          "\"refusedCertificates\":[{\"portal\":\"SatGate\",\"address\":\"https://127.0.0.1:",
          "\"accounts\":[{\"row\":1,\"login\":\"sat_titova\"", "\"lowBalances\":[{\"row\":2"}},
        {"interrupted after a low balance", {low, stalled, fine}, false, true, kExitInterrupted,
         {"\"accountsChecked\":1,", "\"lowBalances\":[{\"row\":1"}},
    };
    const std::string satGate = pinOrigin(s_portals->baseUrl(PortalId::SatGate));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CliFolder folder{demoPortalAddresses(*s_portals)};
        folder.writeAccounts(c.accounts);
        if (c.forgedPin) {
            ASSERT_EQ(PortalPins(pinsPathBeside(folder.settings)).setPin(satGate, forged), "");
        }
        s_portals->setStall(PortalId::SatGate, c.interrupt);
        std::thread stopper([&] {
            if (!c.interrupt) return;
            awaitRequestTo(PortalId::SatGate);
            folder.stop = true;
        });
        const int status = refreshCommand(folder.context(), std::nullopt, {.summaryJson = true});
        stopper.join();
        s_portals->setStall(PortalId::SatGate, false);
        s_portals->clearRequests();
        EXPECT_EQ(status, c.status) << folder.err.str();
        const std::string json = folder.out.str();
        for (const std::string& part : c.json) EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
        if (c.forgedPin) {
            EXPECT_NE(folder.err.str().find("korvex-cli: SatGate (" + satGate + ") showed another certificate"),
                      std::string::npos)
                << folder.err.str();
        }
        // The summary is the JSON; standard error holds only what went wrong.
        EXPECT_EQ(folder.err.str().find("Korvex: "), std::string::npos) << folder.err.str();
        EXPECT_EQ(folder.err.str().find("low balance"), std::string::npos) << folder.err.str();
    }
}

// With a history that shows sps_ivanov spending 10 a day, the balance the run reads (42.15) lasts 4
// days: fewer than DaysLeft (7 by default), so the summary names it under its own heading and the
// run asks for attention, as for a low balance. The same login under another plan spends faster:
// another account, which does not count. A threshold of 4, or 0, names nothing.
TEST_F(RefreshCommandTest, TheSummaryNamesAccountsWithFewDaysLeftByTheirHistory) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}});
    std::vector<HistoryEntry> before;
    const auto now = std::chrono::system_clock::now();
    for (int d = 20; d >= 1; --d) {
        for (const auto& [plan, balance] :
             {std::pair{"39", 42.15 + 10 * d}, std::pair{"SG", 104.75 + 50 * d}}) {
            HistoryEntry e;
            e.time = utcTimestamp(now - std::chrono::days(d));
            e.login = "sps_ivanov";  // sat_titova's history is sps_ivanov's under plan SG: not hers
            e.plan = plan;
            e.balance = balance;
            before.push_back(e);
        }
    }
    BalanceHistory(historyPathFor(f.settings)).append(before);
    const auto setDaysLeft = [&](const char* days) {
        IniFile ini = IniFile::parse(f.fileText());
        ini.setValue(kSummarySection, "DaysLeft", days);
        ASSERT_FALSE(ini.save(f.settings));
    };

    const std::string notified = f.dir.file("notified.txt");
    ASSERT_EQ(refreshCommand(f.context(), std::nullopt, {.notifyCommand = "cat > '" + notified + "'"}),
              kExitAttention)
        << f.err.str();
    EXPECT_EQ(f.err.str(),
              "Korvex: 2 accounts checked\n"
              "days left: row 1 (sps_ivanov): 42.15, 4 days (10.00 a day)\n");
    EXPECT_EQ(readFile(notified), f.err.str());

    ASSERT_EQ(refreshCommand(f.context(), std::nullopt, {.summaryJson = true}), kExitAttention);
    EXPECT_NE(f.out.str().find("\"daysLeftThreshold\":7,\"fewDaysLeft\":[{\"row\":1,\"login\":\"sps_ivanov\","
                               "\"balance\":42.15,\"previous\":42.15,\"balanceText\":\"42.15\","
                               "\"previousText\":\"42.15\",\"plan\":\"39\",\"daysLeft\":4,\"perDay\":"),
              std::string::npos)
        << f.out.str();

    setDaysLeft("4");
    EXPECT_EQ(refreshCommand(f.context(), std::nullopt), kExitOk) << f.err.str();
    EXPECT_EQ(f.err.str(), "");
    setDaysLeft("0");
    EXPECT_EQ(refreshCommand(f.context(), std::nullopt), kExitOk) << f.err.str();
    EXPECT_EQ(f.err.str(), "");
}

TEST_F(RefreshCommandTest, OneRowIsCheckedAloneAndRowsPassedOverAreNamed) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}, {"x", "y", "sps"}});

    ASSERT_EQ(refreshCommand(f.context(), 2), kExitOk) << f.err.str();
    AccountBook book = savedBook(f.settings);
    EXPECT_EQ(book.Stat.cell(kDate, 0), "");
    EXPECT_EQ(book.Stat.cell(kDate, 1), kStamp);
    EXPECT_TRUE(s_portals->requests(PortalId::SpectrumSat).empty());

    EXPECT_EQ(refreshCommand(f.context(), 4), kExitUsage);
    EXPECT_NE(f.err.str().find("there is no row 4"), std::string::npos) << f.err.str();

    ASSERT_EQ(refreshCommand(f.context(), std::nullopt), kExitFailed) << f.err.str();
    EXPECT_EQ(f.err.str(), "Korvex: 2 accounts checked\n"
                           "unknown plan code: row 3 (x): \"sps\" names no portal\n");
    book = savedBook(f.settings);
    EXPECT_EQ(book.Stat.cell(kPrevious, 1), "104.75") << "the second check moved the first balance over";
}

TEST_F(RefreshCommandTest, APortalWithoutAnAnswerMakesTheRunFailButNotStop) {
    f.writeAccounts({{"r_smirnov", "Raduga#2024", "R"}, {"sps_ivanov", "Qw3rty-71", "39"}});
    f.addresses.raduga = "https://127.0.0.1:1";  // nothing listens there

    EXPECT_EQ(refreshCommand(f.context(), std::nullopt), kExitFailed);
    EXPECT_NE(f.err.str().find("korvex-cli: row 1 (r_smirnov): no page from the portal ("), std::string::npos)
        << f.err.str();
    const AccountBook book = savedBook(f.settings);
    EXPECT_EQ(book.Stat.cell(kDate, 0), "");
    EXPECT_EQ(book.Stat.cell(kDate, 1), kStamp) << "the run went on and saved";
}

TEST_F(RefreshCommandTest, AStopEndsTheStalledTransferAndSavesOnlyTheRowsChecked) {
    enum class How { Flag, Sigterm, Sigint, Sighup };
    for (How how : {How::Flag, How::Sigterm, How::Sigint, How::Sighup}) {
        SCOPED_TRACE(static_cast<int>(how));
        s_portals->clearRequests();
        f.writeAccounts({{"sat_titova", "T1tova-SG", "SG"},
                       {"sps_ivanov", "Qw3rty-71", "39"},
                       {"sat_grigoriev", "grig42", "42"}});
        // What the stalled row held before the run, previous balance included.
        AccountBook book = savedBook(f.settings);
        book.Stat.setRow(1, {"sps_ivanov", "9.00", "8.00", "128.00", "1/1/2026 10:00", "Active", "", ""});
        zapis(book, {}, f.settings);
        s_portals->setStall(PortalId::SpectrumSat, true);

        std::optional<StopSignals> signals;
        CliContext context = f.context();
        if (how != How::Flag) {
            signals.emplace();
            context.stop = &StopSignals::flag();
        }
        std::thread stopper([&] {
            awaitRequestTo(PortalId::SpectrumSat);
            if (how == How::Flag) f.stop = true;
            if (how == How::Sigterm) ::kill(::getpid(), SIGTERM);
            if (how == How::Sigint) ::kill(::getpid(), SIGINT);
            if (how == How::Sighup) ::kill(::getpid(), SIGHUP);  // the terminal or ssh session went away
        });
        const int status = refreshCommand(context, std::nullopt);
        stopper.join();
        signals.reset();
        f.stop = false;
        s_portals->setStall(PortalId::SpectrumSat, false);

        EXPECT_EQ(status, kExitInterrupted);
        EXPECT_NE(
            f.err.str().find("stopped; row 2 (sps_ivanov) and the rows after it left as they were, the rows "
                             "checked before saved"),
            std::string::npos)
            << f.err.str();
        book = savedBook(f.settings);
        EXPECT_EQ(book.Stat.cell(kDate, 0), kStamp);
        EXPECT_EQ(book.Stat.row(1),
                  (Row{"sps_ivanov", "9.00", "8.00", "128.00", "1/1/2026 10:00", "Active", "", ""}));
        EXPECT_EQ(book.Stat.cell(kDate, 2), "");
        EXPECT_EQ(s_portals->requests(PortalId::SatGate).size(), 1u) << "row 3 was never asked for";
        EXPECT_NE(f.out.str().find("sat_grigoriev"), std::string::npos) << "the table is printed";
    }
}

TEST_F(RefreshCommandTest, ABadProxyPortEndsTheRunWithoutASave) {
    f.writeAccounts({{"stv_alekseev", "stv-60", "60"}, {"sps_ivanov", "Qw3rty-71", "39"}},
                  {true, "127.0.0.1", "80a"});
    const std::string before = f.fileText();

    EXPECT_EQ(refreshCommand(f.context(), std::nullopt), kExitFailed);
    EXPECT_NE(f.err.str().find("korvex-cli: '80a' is not a valid integer value\n"), std::string::npos)
        << f.err.str();
    EXPECT_NE(
        f.err.str().find("the refresh ended at row 2 (sps_ivanov), which needs the proxy; nothing was saved"),
        std::string::npos)
        << f.err.str();
    EXPECT_EQ(f.fileText(), before);
    EXPECT_TRUE(s_portals->requests(PortalId::SpectrumSat).empty());
}

// A check that ends with the error marker is a failed check: the run goes on and saves, the exit
// status says so. A page of line breaks that outgrows Memo1 once they become CR LF is such a check.
TEST_F(RefreshCommandTest, ARowEndingWithTheErrorMarkerMakesTheRunFail) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}});
    s_portals->setFixedPage(PortalId::SpectrumSat, std::string(TextHolder::kDefaultCapacity / 2 + 1, '\n'));
    const int status = refreshCommand(f.context(), std::nullopt);
    s_portals->setFixedPage(PortalId::SpectrumSat, std::nullopt);

    EXPECT_EQ(status, kExitFailed);
    EXPECT_NE(f.err.str().find("korvex-cli: row 1 (sps_ivanov): the check failed (ОШИБКА): the page is larger "
                               "than 64 MiB\n"),
              std::string::npos)
        << f.err.str();
    const AccountBook book = savedBook(f.settings);
    EXPECT_EQ(book.Stat.cell(kSpeed, 0), kErrorMarker);
    EXPECT_EQ(book.Stat.cell(kDate, 1), kStamp) << "the run went on and saved";
}

// A portal whose certificate is not the one pinned gets no password; the run names it and the way
// to trust it, and `trust` pins the key the portal shows now (a forged pin stands for a changed key).
TEST_F(RefreshCommandTest, AChangedCertificateFailsItsRowsUntilTheUserTrustsIt) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}});
    const std::string origin = pinOrigin(s_portals->baseUrl(PortalId::SpectrumSat));
    const std::string forged = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    const std::string pinsPath = pinsPathBeside(f.settings);
    ASSERT_EQ(PortalPins(pinsPath).setPin(origin, forged), "");

    EXPECT_EQ(refreshCommand(f.context(), std::nullopt), kExitFailed);
    EXPECT_TRUE(s_portals->requests(PortalId::SpectrumSat).empty());
    const std::string err = f.err.str();
    EXPECT_NE(err.find("korvex-cli: row 1 (sps_ivanov): refused: the certificate of " + origin +
                       " has changed (pinned " + forged + ", now sha256//"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("korvex-cli trust " + origin + "\n"), std::string::npos) << err;
    EXPECT_EQ(savedBook(f.settings).Stat.cell(kDate, 1), kStamp) << "the other portal was checked";
    const std::string satGate = pinOrigin(s_portals->baseUrl(PortalId::SatGate));
    EXPECT_FALSE(PortalPins(pinsPath).pinOf(satGate).empty()) << "pinned on first use";

    // trust: a bad address is a usage error, an unreachable portal a failure, and the portal's key
    // replaces the forged pin.
    EXPECT_EQ(trustCommand(f.context(), {"http://127.0.0.1:1"}, false), kExitUsage);
    EXPECT_EQ(trustCommand(f.context(), {"https://127.0.0.1:1"}, false), kExitFailed);
    EXPECT_NE(f.err.str().find("cannot reach https://127.0.0.1:1: "), std::string::npos) << f.err.str();
    ASSERT_EQ(trustCommand(f.context(), {origin}, false), kExitOk) << f.err.str();
    const std::string shown = PortalPins(pinsPath).pinOf(origin);
    EXPECT_EQ(f.out.str(), origin + ": now trusting " + shown + " in place of " + forged + "\n");
    ASSERT_EQ(trustCommand(f.context(), {}, true), kExitOk) << f.err.str();
    EXPECT_EQ(f.out.str(), origin + ": shows the pinned key " + shown + "\n" + satGate + ": shows the pinned key " +
                               PortalPins(pinsPath).pinOf(satGate) + "\n");

    EXPECT_EQ(refreshCommand(f.context(), 1), kExitOk) << f.err.str();
    EXPECT_EQ(s_portals->requests(PortalId::SpectrumSat).size(), 1u);
}

// Every state of Portals.pins, while SpectrumSat shows another key than the one pinned for it (a
// forged pin stands for the changed key): only a missing or empty file is a first use; a file that
// is there but cannot be read whole sends no credentials anywhere, fails every row with the reason
// and leaves the file alone; a readable one keeps what it does not understand and is written
// through its link.
TEST_F(RefreshCommandTest, NoStateOfThePinFileButMissingLetsACredentialReachAChangedPortal) {
    namespace fs = std::filesystem;
    const std::string spectrumSat = pinOrigin(s_portals->baseUrl(PortalId::SpectrumSat));
    const std::string satGate = pinOrigin(s_portals->baseUrl(PortalId::SatGate));
    ASSERT_FALSE(spectrumSat.empty());
    ASSERT_FALSE(satGate.empty());
    const std::string forged = spectrumSat + " sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=\n";
    const std::string garbage = "# notes\nthis line is no pin\n" + forged + "https://x.example:443\n";
    const std::string huge = forged + std::string(2 << 20, '#') + "\n";
    // A folder or /proc/self/mem cannot be read as a file: their "content" is what they are.
    const auto contents = [](const std::string& path) {
        try {
            return fs::is_regular_file(path) ? readFile(path) : std::string("(not a file)");
        } catch (const std::exception&) {
            return std::string("(unreadable)");
        }
    };
    enum class After { BothPinned, SatGateAdded, Unchanged };
    const struct {
        const char* state;
        std::function<void(const std::string& pins, const TempDir& dir)> make;
        int credentialsTo;  // the requests with a password the portals saw
        int status;
        After after;
    } cases[] = {
        {"missing", [](const std::string&, const TempDir&) {}, 2, kExitOk, After::BothPinned},
        {"empty", [](const std::string& p, const TempDir&) { writeText(p, ""); }, 2, kExitOk,
         After::BothPinned},
        {"garbage lines", [&](const std::string& p, const TempDir&) { writeText(p, garbage); }, 1,
         kExitFailed, After::SatGateAdded},
        {"a link",
         [&](const std::string& p, const TempDir& dir) {
             writeText(dir.file("elsewhere.pins"), forged);
             fs::create_symlink(dir.file("elsewhere.pins"), p);
         },
         1, kExitFailed, After::SatGateAdded},
        {"no permission",
         [&](const std::string& p, const TempDir&) {
             writeText(p, forged);
             fs::permissions(p, fs::perms::none);
         },
         0, kExitFailed, After::Unchanged},
        {"a folder", [](const std::string& p, const TempDir&) { fs::create_directory(p); }, 0, kExitFailed,
         After::Unchanged},
        {"an I/O error",
         [](const std::string& p, const TempDir&) { fs::create_symlink("/proc/self/mem", p); }, 0,
         kExitFailed, After::Unchanged},
        {"a link to nothing",
         [&](const std::string& p, const TempDir& dir) { fs::create_symlink(dir.file("gone"), p); }, 0,
         kExitFailed, After::Unchanged},
        {"2 MiB", [&](const std::string& p, const TempDir&) { writeText(p, huge); }, 0, kExitFailed,
         After::Unchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        // Root reads a file of mode 0000 all the same.
        if (std::string_view(c.state) == "no permission" && ::geteuid() == 0) continue;
        CliFolder folder{demoPortalAddresses(*s_portals)};
        folder.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}});
        const std::string pinsPath = pinsPathBeside(folder.settings);
        c.make(pinsPath, folder.dir);
        const std::string before = contents(pinsPath);
        s_portals->clearRequests();

        EXPECT_EQ(refreshCommand(folder.context(), std::nullopt, {2, 1}), c.status) << folder.err.str();
        int credentials = 0;
        for (const RequestRecord& r : s_portals->requests())
            credentials += !r.credentials.empty() || r.body.find("password=") != std::string::npos;
        EXPECT_EQ(credentials, c.credentialsTo);
        const std::string err = folder.err.str();
        const std::string after = contents(pinsPath);
        switch (c.after) {
            case After::BothPinned:
                EXPECT_EQ(PortalPins(pinsPath).origins().size(), 2u) << after;
                EXPECT_EQ(fs::status(pinsPath).permissions() & fs::perms::all,
                          fs::perms::owner_read | fs::perms::owner_write);
                break;
            case After::SatGateAdded:
                EXPECT_EQ(after, before + satGate + " " + PortalPins(pinsPath).pinOf(satGate) + "\n");
                EXPECT_NE(PortalPins(pinsPath).pinOf(satGate), "");
                break;
            case After::Unchanged:
                EXPECT_EQ(after, before);
                EXPECT_NE(err.find("korvex-cli: row 1 (sps_ivanov): no page from the portal (the pinned "
                                   "certificates cannot be read: " +
                                   pinsPath + ": "),
                          std::string::npos)
                    << err;
                EXPECT_NE(err.find("row 2 (sat_titova): no page from the portal (the pinned certificates"),
                          std::string::npos)
                    << err;
                EXPECT_EQ(savedBook(folder.settings).Stat.cell(kDate, 1), "") << "nothing checked";
                break;
        }
        if (std::string_view(c.state) == "a link") {
            EXPECT_TRUE(fs::is_symlink(pinsPath)) << "written through the link";
            EXPECT_EQ(readFile(folder.dir.file("elsewhere.pins")), after);
        }
        if (std::string_view(c.state) == "garbage lines") {
            EXPECT_NE(err.find(pinsPath + ": lines 2, 4 are not pins, kept as they are\n"), std::string::npos)
                << err;
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory("/proc/self")) << "the I/O error row needs /proc";
}

TEST_F(RefreshCommandTest, ChecksAtOnceSaveAndPrintWhatTheSequentialRunDoes) {
    // The demo accounts, and twice over with an unknown code and a portal that is not there.
    CliFolder sequential{demoPortalAddresses(*s_portals)};
    CliFolder parallel{demoPortalAddresses(*s_portals)};
    for (CliFolder* folder : {&sequential, &parallel}) {
        folder->addresses.raduga = "https://127.0.0.1:1";
        ASSERT_EQ(importCommand(folder->context(), KORVEX_DEMO_ACCOUNTS_CSV, true), kExitOk);
        // The demo's accounts twice over (import leaves out accounts already there).
        AccountBook book = savedBook(folder->settings);
        book.setCount(62);
        for (int row = 0; row < 31; ++row) book.client.setRow(31 + row, book.client.row(row));
        book.syncDerivedColumns();
        zapis(book, {}, folder->settings);
        ASSERT_EQ(folder->import(std::string(kHeader) + "x,y,sps,\n"), kExitOk);
    }
    s_portals->setAnswerDelay(5ms);
    const int one = refreshCommand(sequential.context(), std::nullopt);
    const int many = refreshCommand(parallel.context(), std::nullopt, {16, 2, 120});
    s_portals->setAnswerDelay(0ms);

    EXPECT_EQ(one, kExitFailed) << "Raduga gave no page";
    EXPECT_EQ(many, one);
    const AccountBook a = savedBook(sequential.settings);
    const AccountBook b = savedBook(parallel.settings);
    ASSERT_EQ(a.clients, 63);
    for (int row = 0; row < a.clients; ++row)
        for (int col = 0; col < kStatCols; ++col)
            EXPECT_EQ(a.Stat.cell(col, row), b.Stat.cell(col, row)) << "row " << row << " column " << col;
    EXPECT_EQ(sequential.out.str(), parallel.out.str());
    // The same messages in the same order; libcurl's text of the failed connection tells its milliseconds.
    const auto withoutTimes = [](std::string text) {
        for (std::size_t at; (at = text.find(" after ")) != std::string::npos;)
            text.erase(at, text.find(':', at) - at);
        return text;
    };
    EXPECT_EQ(withoutTimes(sequential.err.str()), withoutTimes(parallel.err.str()));
    EXPECT_NE(parallel.err.str().find("unknown plan code: row 63 (x): \"sps\" names no portal"), std::string::npos);
}

// A --jobs or --per-portal not on the command line is the window's stored setting, when it stored one.
TEST_F(RefreshCommandTest, ChecksAtOnceNotGivenFallBackToTheWindowsStoredSetting) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"},
                     {"sps_petrova", "lEto2009", "SPS"},
                     {"sps_ivanov", "Qw3rty-71", "SPS"},
                     {"sps_petrova", "lEto2009", "39"}});
    struct Case {
        const char* name;
        bool stored;
        RefreshOptions options;
        int mostAtOnce;
    };
    const Case cases[] = {
        {"nothing stored, nothing given", false, {1, 1, 120, false, "", false, false}, 1},
        {"stored 4 and 2, nothing given", true, {1, 1, 120, false, "", false, false}, 2},
        {"stored 4 and 2, --jobs 1 given", true, {1, 1, 120, false, "", true, false}, 1},
        {"stored 4 and 2, --per-portal 1 given", true, {1, 1, 120, false, "", false, true}, 1},
    };
    s_portals->setAnswerDelay(100ms);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.stored) {
            ASSERT_EQ(writeRefreshSettings(f.settings, {.jobs = 4, .perPortal = 2}), "");
        }
        s_portals->resetConcurrency();
        EXPECT_NE(refreshCommand(f.context(), std::nullopt, c.options), kExitFailed) << f.err.str();
        EXPECT_EQ(s_portals->maxConcurrentRequests(PortalId::SpectrumSat), c.mostAtOnce);
    }
    s_portals->setAnswerDelay(0ms);
}

// Values of the window's section that korvex-cli cannot use are said in one line; the defaults run.
TEST_F(RefreshCommandTest, StoredSettingsItCannotUseAreSaidInOneLine) {
    f.writeAccounts({{"sps_ivanov", "Qw3rty-71", "39"}, {"sps_petrova", "lEto2009", "SPS"}});
    IniFile ini;
    ASSERT_EQ(ini.load(f.settings), IniFile::LoadStatus::Loaded);
    ini.setValue(kRefreshSection, "Jobs", "100");
    ini.setValue(kRefreshSection, "PerPortal", "abc");
    ASSERT_FALSE(static_cast<bool>(ini.save(f.settings)));
    EXPECT_NE(refreshCommand(f.context(), std::nullopt, {1, 1, 120, false, "", false, false}), kExitFailed)
        << f.err.str();
    const std::string err = f.err.str();
    const std::size_t at =
        err.find("korvex-cli: section [REFRESH] of " + f.settings + ": Jobs=100 (not a whole");
    ASSERT_NE(at, std::string::npos) << err;
    const std::string line = err.substr(at, err.find('\n', at) - at);
    EXPECT_NE(line.find("PerPortal=abc (not a whole number from 1 to 8)"), std::string::npos) << line;
    EXPECT_EQ(err.find("[REFRESH]", at + line.size()), std::string::npos) << "said once: " << err;
    EXPECT_EQ(savedBook(f.settings).Stat.cell(kDate, 1), kStamp) << "the run went on with the defaults";
}

TEST_F(RefreshCommandTest, AnAccountOverTheTimeLimitFailsAndTheRunGoesOn) {
    for (const int jobs : {1, 3}) {
        SCOPED_TRACE(std::to_string(jobs) + " jobs");
        f.writeAccounts({{"sat_titova", "T1tova-SG", "SG"}, {"sps_ivanov", "Qw3rty-71", "39"}, {"r_smirnov", "Raduga#2024", "R"}});
        s_portals->setStall(PortalId::SpectrumSat, true);
        EXPECT_EQ(refreshCommand(f.context(), std::nullopt, {jobs, 1, 1}), kExitFailed);
        s_portals->setStall(PortalId::SpectrumSat, false);
        EXPECT_NE(f.err.str().find("row 2 (sps_ivanov): no page from the portal (the check took longer than 1 s)"),
                  std::string::npos)
            << f.err.str();
        EXPECT_EQ(f.err.str().find("stopped"), std::string::npos) << f.err.str();
        const AccountBook book = savedBook(f.settings);
        EXPECT_EQ(book.Stat.cell(kDate, 0), kStamp);
        EXPECT_EQ(book.Stat.cell(kDate, 1), "");
        EXPECT_EQ(book.Stat.cell(kDate, 2), kStamp);
    }
}

TEST_F(RefreshCommandTest, ASignalEndsEveryTransferInFlightAndSavesTheRowsThatFinished) {
    f.writeAccounts({{"sat_titova", "T1tova-SG", "SG"},
                   {"sps_ivanov", "Qw3rty-71", "39"},
                   {"sat_grigoriev", "grig42", "42"},
                   {"r_smirnov", "Raduga#2024", "R"}});
    AccountBook book = savedBook(f.settings);
    const Row before = {"sps_ivanov", "9.00", "8.00", "128.00", "1/1/2026 10:00", "Active", "", ""};
    book.Stat.setRow(1, before);
    zapis(book, {}, f.settings);
    s_portals->setStall(PortalId::SpectrumSat, true);
    s_portals->setStall(PortalId::Raduga, true);

    // Two workers, one check per portal: one takes the SatGate rows (the portal with the most left),
    // the other row 2; row 4 comes only after both SatGate rows, so once Raduga has its request, rows
    // 1 and 3 are in and rows 2 and 4 are in flight.
    StopSignals signals;
    CliContext context = f.context();
    context.stop = &StopSignals::flag();
    std::thread stopper([&] {
        awaitRequestTo(PortalId::SpectrumSat);
        awaitRequestTo(PortalId::Raduga);
        ::kill(::getpid(), SIGTERM);
    });
    const int status = refreshCommand(context, std::nullopt, {2, 1, 0});
    stopper.join();
    s_portals->setStall(PortalId::SpectrumSat, false);
    s_portals->setStall(PortalId::Raduga, false);

    EXPECT_EQ(status, kExitInterrupted);
    EXPECT_NE(f.err.str().find("stopped; rows 2 and 4 left as they were, the rows checked saved"), std::string::npos)
        << f.err.str();
    book = savedBook(f.settings);
    EXPECT_EQ(book.Stat.cell(kDate, 0), kStamp);
    EXPECT_EQ(book.Stat.row(1), before);
    EXPECT_EQ(book.Stat.cell(kDate, 2), kStamp);
    EXPECT_EQ(book.Stat.cell(kDate, 3), "");
    EXPECT_EQ(book.Stat.cell(kPrevious, 3), "");
}

}  // namespace
}  // namespace korvex::test
