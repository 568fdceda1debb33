// One refresh run as both fronts start it, against the substitute portals: what a stop, a time limit,
// a proxy port that is not a number and a history that cannot be written leave in the tables, in
// Settings.ini and in the report, one after another and several at once.
#include "run/refresh_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

#include <curl/curl.h>

#include "checks/balance_checks.h"
#include "history/balance_history.h"
#include "net/curl1_setup.h"
#include "settings/settings_file.h"
#include "tests/support/demo_portal_addresses.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;

// The stalled portal's account sits between two that answer.
constexpr int kStalledRow = 1;
const Row kStalledBefore = {"sps_ivanov", "9.00", "8.00", "128.00", "1/1/2026 10:00", "Active", "", ""};

struct Case {
    const char* name;
    bool stall = false;            // SpectrumSat holds every request without answering
    bool stopWhenStalled = false;  // "СТОП" once the stalled portal holds its request
    std::chrono::milliseconds timeout{0};
    ProxySettings proxy{};
    bool historyUnwritable = false;  // History.sqlite is a folder
    // What the report and the files say.
    bool stopped = false;
    bool proxyError = false;
    bool saved = true;
    bool historyProblem = false;
    std::optional<CheckOutcome> stalledOutcome{};  // the stalled row's outcome, when it is reported
    int stalledResultCode = 0;
    bool stalledRowWhole = false;  // the stalled row exactly as before the run
};

const Case kCases[] = {
    {.name = "a stop during a transfer puts its row back whole",
     .stall = true,
     .stopWhenStalled = true,
     .stopped = true,
     .stalledOutcome = CheckOutcome::Stopped,
     .stalledRowWhole = true},
    {.name = "a time limit fails the row as a transfer and the run goes on",
     .stall = true,
     .timeout = 300ms,
     .stalledOutcome = CheckOutcome::TransferFailed,
     .stalledResultCode = CURLE_OPERATION_TIMEDOUT},
    {.name = "a proxy port that is not a number ends the run unsaved",
     .proxy = {true, "127.0.0.1", "80a"},
     .proxyError = true,
     .saved = false,
     .stalledRowWhole = true},
    {.name = "a history that cannot be written is said and the save stands",
     .historyUnwritable = true,
     .historyProblem = true,
     .stalledOutcome = CheckOutcome::PageRead},
};

class RefreshSessionTest : public testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() { s_portals = &test::stockDemoPortals(); }
    void TearDown() override { s_portals->setStall(PortalId::SpectrumSat, false); }

    static AccountBook threeAccounts() {
        AccountBook book;
        book.setCount(3);
        book.client.setRow(0, {"sat_titova", "T1tova-SG", "SG", ""});
        book.client.setRow(kStalledRow, {"sps_ivanov", "Qw3rty-71", "39", ""});
        book.client.setRow(2, {"r_smirnov", "Raduga#2024", "R", ""});
        book.Stat.setRow(0, {"sat_titova", "1.00", "", "", "", "", "", ""});
        book.Stat.setRow(kStalledRow, kStalledBefore);
        book.Stat.setRow(2, {"r_smirnov", "3.00", "", "", "", "", "", ""});
        return book;
    }

    static DemoPortals* s_portals;
    PortalAddresses addresses = test::demoPortalAddresses(*s_portals);
    FixedCheckClock clock{{7, 12, 2026, 9, 5}};
};

DemoPortals* RefreshSessionTest::s_portals = nullptr;

// The parameter is the number of checks at once: 1 is the run one row after another on Curl1.
TEST_P(RefreshSessionTest, EachWayARunEndsLeavesTheTablesTheFileAndTheReportAgreeing) {
    const int jobs = GetParam();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string settings = dir.file("Settings.ini");
        AccountBook book = threeAccounts();
        zapis(book, {}, settings);
        if (c.historyUnwritable) std::filesystem::create_directory(historyPathFor(settings));
        s_portals->setStall(PortalId::SpectrumSat, c.stall);
        s_portals->clearRequests();

        std::atomic<bool> stop = false;
        const auto stallReached = [&] {
            if (c.stopWhenStalled && !s_portals->requests(PortalId::SpectrumSat).empty()) stop = true;
            return stop.load();
        };
        // As the fronts do: the wait hook ends Curl1's transfer once the stop is asked for.
        THttpTransfer Curl1;
        applyCurl1StoredProperties(Curl1, [&](THttpTransferBase&) {
            if (stallReached()) Curl1.requestAbort();
        });
        try {
            configureCurl1AtStart(Curl1, c.proxy);
        } catch (const EConvertError&) {
        }
        TextHolder Memo1;
        BalanceChecks checks(
            book, Curl1, Memo1, addresses, [&] { return c.proxy; }, clock);
        const ResponsiveTransfers responsive(Curl1);

        struct Observer : RefreshObserver {
            std::function<bool()> stop;
            std::vector<RowCheck> finished;
            void rowFinished(const RowCheck& check) override { finished.push_back(check); }
            bool stopRequested() override { return stop(); }
        } observer;
        observer.stop = stallReached;
        int saves = 0;
        RefreshPlan plan{.first = 0,
                         .last = 2,
                         .jobs = jobs,
                         .perPortal = 1,
                         .timeout = c.timeout,
                         .settingsPath = settings};
        RefreshSession session({book, checks, Curl1, addresses, c.proxy, clock, nullptr,
                                [&] {
                                    ++saves;
                                    zapis(book, c.proxy, settings);
                                    return true;
                                }},
                               plan);
        const RefreshReport report = session.run(observer);

        EXPECT_EQ(report.stopped(), c.stopped);
        EXPECT_EQ(report.proxyError.has_value(), c.proxyError);
        if (c.proxyError) {
            EXPECT_EQ(report.proxyFailedRow, 0);
        }
        EXPECT_EQ(report.saved, c.saved);
        EXPECT_EQ(saves, c.saved ? 1 : 0) << "saved once, or not at all after a bad proxy port";
        EXPECT_EQ(!report.historyProblem.empty(), c.historyProblem) << report.historyProblem;
        EXPECT_EQ(observer.finished.size(), report.run.rows.size()) << "the observer saw every row reported";

        const RowCheck* stalled = nullptr;
        for (const RowCheck& check : report.run.rows)
            if (check.row == kStalledRow) stalled = &check;
        EXPECT_EQ(stalled != nullptr, c.stalledOutcome.has_value());
        if (stalled && c.stalledOutcome) {
            EXPECT_EQ(stalled->outcome, *c.stalledOutcome);
            if (c.stalledResultCode) {
                EXPECT_EQ(stalled->resultCode, c.stalledResultCode);
            }
        }
        if (c.stalledRowWhole) {
            EXPECT_EQ(book.Stat.row(kStalledRow), kStalledBefore) << "no row is left half-moved";
        } else {
            EXPECT_EQ(book.Stat.cell(kPrevious, kStalledRow), "9.00") << "a check that ran moves the balance";
        }

        // The file holds what the tables hold, or, unsaved, what it held before the run.
        AccountBook onDisk;
        onDisk.setCount(3);
        read(onDisk, settings);
        const AccountBook original = threeAccounts();
        for (int row = 0; row < 3; ++row)
            for (int col : {kBalance, kPrevious})
                EXPECT_EQ(onDisk.Stat.cell(col, row), (c.saved ? book : original).Stat.cell(col, row))
                    << "row " << row << " column " << col;

        // The history holds the rows checked, never the row cut short.
        if (!c.historyUnwritable && std::filesystem::exists(historyPathFor(settings))) {
            const auto entries = BalanceHistory(historyPathFor(settings)).read({});
            for (const HistoryEntry& entry : entries) {
                EXPECT_FALSE(c.stopWhenStalled && entry.login == "sps_ivanov") << "a stopped row is no check";
            }
        }
    }
}

// The rules of a run as the session applies them to whatever plan a front hands it: the rows whose
// password the keyring did not give are neither asked nor written, the others run; one row alone
// runs one after another, however many at once were asked for.
TEST_P(RefreshSessionTest, TheSessionHoldsBackTheRowsWithoutTheirPasswordAndRunsOneRowAlone) {
    test::TempDir dir;
    const std::string settings = dir.file("Settings.ini");
    AccountBook book = threeAccounts();
    book.client.setCell(kPassword, kStalledRow, "");  // the keyring did not give it
    zapis(book, {}, settings);
    s_portals->clearRequests();
    THttpTransfer Curl1;
    applyCurl1StoredProperties(Curl1);
    configureCurl1AtStart(Curl1, {});
    TextHolder Memo1;
    BalanceChecks checks(book, Curl1, Memo1, addresses, [] { return ProxySettings{}; }, clock);
    const RefreshTools tools{book, checks, Curl1, addresses, {}, clock, nullptr, [] { return true; }};
    RefreshObserver quiet;

    RefreshSession whole(tools, {.first = 0, .last = 2, .jobs = GetParam(), .settingsPath = settings,
                                 .passwordsWaiting = {kStalledRow, 7}});
    const RefreshReport report = whole.run(quiet);
    EXPECT_EQ(report.plan.heldRows, std::vector<int>{kStalledRow});
    std::vector<int> reached;
    for (const RowCheck& check : report.run.rows) reached.push_back(check.row);
    EXPECT_EQ(reached, (std::vector<int>{0, 2})) << "the others ran, the held row is not reported";
    EXPECT_TRUE(s_portals->requests(PortalId::SpectrumSat).empty()) << "no request without its password";
    EXPECT_EQ(book.Stat.row(kStalledRow), kStalledBefore) << "the held row is not written";
    EXPECT_TRUE(report.saved);

    RefreshSession oneRow(tools, {.first = 2, .last = 2, .jobs = GetParam(), .perPortal = 4, .settingsPath = settings});
    const RefreshReport single = oneRow.run(quiet);
    EXPECT_EQ(single.plan.jobs, 1) << "one row alone is checked on Curl1";
    ASSERT_EQ(single.run.rows.size(), 1u);
    EXPECT_EQ(single.run.rows[0].outcome, CheckOutcome::PageRead);
}

INSTANTIATE_TEST_SUITE_P(OneAfterAnotherAndAtOnce, RefreshSessionTest, testing::Values(1, 4),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("OneAfterAnother")
                                                    : std::string("FourAtOnce");
                         });

}  // namespace
}  // namespace korvex
