// Checks at once against the substitute portals: the same table and the same outcomes as the run one
// row after another, never more than P requests on one portal, time limits and stops.
#include "checks/parallel_refresh.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "checks/balance_checks.h"
#include "checks/provider_profiles.h"
#include "run/sequential_run.h"
#include "korvex-demo-portals/demo_portals.h"
#include "net/curl1_setup.h"
#include "net/portal_pins.h"
#include "tests/support/demo_portal_addresses.h"
#include "tests/support/refresh_hooks.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;

TEST(PortalOfTest, SchemeHostAndPortMakeThePortal) {
    const std::pair<const char*, const char*> cases[] = {
        {"https://127.0.0.1:18441", "https://127.0.0.1:18441"},
        {"https://Portal.Example", "https://portal.example:443"},
        {"HTTP://portal.example", "http://portal.example:80"},
        {"http://portal.example:8080/index.php?x=1", "http://portal.example:8080"},
        {"https://[::1]:8443", "https://[::1]:8443"},
        {"https://[::1]", "https://[::1]:443"},
    };
    for (const auto& [address, portal] : cases) EXPECT_EQ(portalOf(address), portal) << address;
    // Same host, other port or scheme: another portal.
    EXPECT_NE(portalOf("https://h:1"), portalOf("https://h:2"));
    EXPECT_NE(portalOf("http://h"), portalOf("https://h"));
}

TEST(PortalOfTest, ThePlanCodeNamesItsProfile) {
    EXPECT_EQ(profileForPlanCode("SG21"), &kSpaceGate21Profile);
    EXPECT_EQ(profileForPlanCode("15"), &kSpaceGate15Profile);
    EXPECT_EQ(profileForPlanCode("STV2"), &kStv2Profile);
    EXPECT_EQ(profileForPlanCode("SPS"), &kSpectrumSatProfile);
    EXPECT_EQ(profileForPlanCode("sps"), nullptr);
    EXPECT_EQ(profileForPlanCode(""), nullptr);
}

using test::RefreshHooks;

RefreshHooks onFinished(std::function<void(const RowCheck&)> hook) {
    RefreshHooks hooks;
    hooks.onFinished = std::move(hook);
    return hooks;
}
RefreshHooks onStarting(std::function<void(int)> hook) {
    RefreshHooks hooks;
    hooks.onStarting = std::move(hook);
    return hooks;
}

class ParallelRefreshTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s_portals = &test::stockDemoPortals(); }
    void SetUp() override {
        s_portals->clearRequests();
        s_portals->resetConcurrency();
    }
    void TearDown() override {
        s_portals->setAnswerDelay(0ms);
        s_portals->gatherRequests(0, 0ms);
        for (PortalId id : kAllPortals) s_portals->setStall(id, false);
    }

    // Every stock account under each of its portal's plan codes in turn, with old results in the
    // balance table, then a wrong password, codes no routine owns and an empty row.
    static AccountBook demoBook(int copies) {
        const std::map<PortalId, std::vector<std::string>> codes = {
            {PortalId::SpectrumSat, {"39", "SPS"}}, {PortalId::Raduga, {"R"}},
            {PortalId::SpaceGate75, {"75", "SG75"}}, {PortalId::SpaceGate39, {"39S", "SG39"}},
            {PortalId::SpaceGate95, {"95S", "SG95"}}, {PortalId::SpaceGate15_21, {"15", "SG15", "21", "SG21"}},
            {PortalId::PlanetSky, {"53", "PS"}},     {PortalId::Globax, {"GL"}},
            {PortalId::SatGate, {"42", "SG", "31", "5"}}, {PortalId::SkyFi, {"SF", "SKYFI"}}};
        std::vector<Row> rows;
        for (int copy = 0; copy < copies; ++copy) {
            std::size_t n = 0;
            for (const auto& [portal, account] : stockDemoAccounts()) {
                std::string code;
                if (portal == PortalId::Stv)
                    code = account.stvGate == "insat2" ? (n % 2 ? "602" : "STV2") : (n % 2 ? "60" : "STV");
                else
                    code = codes.at(portal)[(n + static_cast<std::size_t>(copy)) % codes.at(portal).size()];
                rows.push_back({account.login, account.password, code, ""});
                ++n;
            }
        }
        rows.push_back({"sps_ivanov", "wrong", "39", ""});
        rows.push_back({"sps_ivanov", "Qw3rty-71", "sps", ""});
        rows.push_back({"", "", "", ""});
        AccountBook book;
        book.setCount(static_cast<int>(rows.size()));
        for (int r = 0; r < book.clients; ++r) {
            book.client.setRow(r, rows[static_cast<std::size_t>(r)]);
            book.Stat.setRow(r, {rows[static_cast<std::size_t>(r)][0], "old-" + std::to_string(r), "", "", "", "", "",
                                 ""});
        }
        return book;
    }

    // The run of the window: one Curl1, one row after another.
    RefreshResult sequential(AccountBook& book, RefreshHooks hooks = {},
                             std::chrono::milliseconds timeout = 0ms, const ProxySettings& proxy = {}) {
        THttpTransfer curl;
        applyCurl1StoredProperties(curl);
        try {
            configureCurl1AtStart(curl, proxy);
        } catch (const EConvertError&) {
            // As korvex-cli carries on: the run meets it again at the first row that needs the proxy.
        }
        TextHolder memo;
        BalanceChecks checks(book, curl, memo, addresses, [proxy] { return proxy; }, clock);
        return refreshRowsTimed(checks, curl, 0, book.clients - 1, hooks, timeout);
    }
    RefreshResult parallel(AccountBook& book, RefreshLimits limits, RefreshHooks hooks = {},
                           const ProxySettings& proxy = {}) {
        return refreshRowsParallel({book, addresses, proxy, clock}, 0, book.clients - 1, hooks, limits);
    }

    static void expectSameTables(const AccountBook& a, const AccountBook& b) {
        ASSERT_EQ(a.Stat.rowCount(), b.Stat.rowCount());
        for (int r = 0; r < a.Stat.rowCount(); ++r)
            for (int c = 0; c < kStatCols; ++c)
                EXPECT_EQ(a.Stat.cell(c, r), b.Stat.cell(c, r)) << "row " << r << " column " << c;
    }
    static void expectSameChecks(const std::vector<RowCheck>& a, const std::vector<RowCheck>& b) {
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            SCOPED_TRACE("check " + std::to_string(i));
            EXPECT_EQ(a[i].row, b[i].row);
            EXPECT_EQ(a[i].outcome, b[i].outcome);
            EXPECT_EQ(a[i].profile, b[i].profile);
            EXPECT_EQ(a[i].portal, b[i].portal);
            EXPECT_EQ(a[i].resultCode, b[i].resultCode);
            EXPECT_EQ(a[i].missedColumns, b[i].missedColumns);
            // libcurl's texts of a failed connection tell how many milliseconds it took.
            if (a[i].outcome != CheckOutcome::TransferFailed) {
                EXPECT_EQ(a[i].errorText, b[i].errorText);
            }
        }
    }

    static inline DemoPortals* s_portals = nullptr;
    PortalAddresses addresses = test::demoPortalAddresses(*s_portals);
    FixedCheckClock clock{{7, 12, 2026, 9, 5}};
};

TEST_F(ParallelRefreshTest, ChecksAtOnceGiveTheSequentialTableAndOutcomesWithinThePortalLimit) {
    // A portal that takes a moment, so that checks really overlap (long enough for that under
    // ThreadSanitizer too, whose threads start slowly); one whose address nothing listens on.
    s_portals->setAnswerDelay(50ms);
    addresses.globax = "http://127.0.0.1:1";

    AccountBook expected = demoBook(2);
    std::vector<int> order;
    const RefreshResult one = sequential(expected, onFinished([&](const RowCheck& c) { order.push_back(c.row); }));
    const auto stvRequests = s_portals->requests(PortalId::Stv).size();

    struct Case {
        int jobs, perPortal;
    } cases[] = {{8, 1}, {16, 2}, {3, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.jobs) + " jobs, " + std::to_string(c.perPortal) + " per portal");
        s_portals->clearRequests();
        s_portals->resetConcurrency();
        // Held until a portal has as many at once as allowed: a loaded machine's threads may
        // otherwise never overlap that far, and a limit set too low would pass unseen.
        s_portals->gatherRequests(c.perPortal, 5s);
        AccountBook book = demoBook(2);
        std::vector<int> delivered;
        const RefreshResult many = parallel(
            book, {c.jobs, c.perPortal, 0ms}, onFinished([&](const RowCheck& r) { delivered.push_back(r.row); }));
        s_portals->gatherRequests(0, 0ms);

        expectSameTables(expected, book);
        expectSameChecks(one.rows, many.rows);
        EXPECT_EQ(delivered, order) << "rows are handed over in row order";
        EXPECT_EQ(many.rowsChecked, one.rowsChecked);
        EXPECT_FALSE(many.stopped);

        int most = 0;
        for (PortalId id : kAllPortals) {
            EXPECT_LE(s_portals->maxConcurrentRequests(id), c.perPortal) << portalName(id);
            most = std::max(most, s_portals->maxConcurrentRequests(id));
        }
        EXPECT_EQ(most, c.perPortal) << "some portal had as many checks at once as allowed";

        // Each STV login is followed by its logout, on the session the login opened.
        const auto stv = s_portals->requests(PortalId::Stv);
        EXPECT_EQ(stv.size(), stvRequests);
        for (const RequestRecord& request : stv)
            if (request.target.find("mode=off") != std::string::npos) {
                EXPECT_NE(request.cookie.find("STVSID="), std::string::npos) << request.target;
            }
    }
}

// The limit leaves the other portals' checks time enough under ThreadSanitizer as well.
TEST_F(ParallelRefreshTest, ACheckOverTheTimeLimitIsAFailedTransferAndTheRunGoesOn) {
    s_portals->setStall(PortalId::SpectrumSat, true);
    for (const int jobs : {1, 4}) {
        SCOPED_TRACE(std::to_string(jobs) + " jobs");
        AccountBook book;
        book.setCount(3);
        book.client.setRow(0, {"sat_titova", "T1tova-SG", "SG", ""});
        book.client.setRow(1, {"sps_ivanov", "Qw3rty-71", "39", ""});
        book.client.setRow(2, {"r_smirnov", "Raduga#2024", "R", ""});
        const Row before = {"sps_ivanov", "9.00", "8.00", "128.00", "1/1/2026 10:00", "Active", "", ""};
        book.Stat.setRow(1, before);

        const RefreshResult result =
            jobs == 1 ? sequential(book, {}, 900ms) : parallel(book, {jobs, 1, 900ms});

        ASSERT_EQ(result.rows.size(), 3u);
        EXPECT_EQ(result.rows[1].outcome, CheckOutcome::TransferFailed);
        EXPECT_EQ(result.rows[1].resultCode, CURLE_OPERATION_TIMEDOUT);
        EXPECT_NE(result.rows[1].errorText.find("longer than 900 ms"), std::string::npos) << result.rows[1].errorText;
        // What a failed transfer leaves: the balance moved into the previous balance, nothing else.
        Row failed = before;
        failed[kPrevious] = before[kBalance];
        EXPECT_EQ(book.Stat.row(1), failed);
        EXPECT_EQ(result.rows[0].outcome, CheckOutcome::PageRead);
        EXPECT_EQ(result.rows[2].outcome, CheckOutcome::PageRead);
        EXPECT_EQ(book.Stat.cell(kDate, 2), "7/12/2026 09:05");
    }
}

TEST_F(ParallelRefreshTest, AStopEndsTheTransfersInFlightAndKeepsWhatFinished) {
    s_portals->setStall(PortalId::SpectrumSat, true);
    AccountBook book;
    book.setCount(4);
    book.client.setRow(0, {"sat_titova", "T1tova-SG", "SG", ""});
    book.client.setRow(1, {"r_smirnov", "Raduga#2024", "R", ""});
    book.client.setRow(2, {"sps_ivanov", "Qw3rty-71", "39", ""});
    book.client.setRow(3, {"sps_kozlov", "k0zl0v!77", "SPS", ""});
    const Row before = {"sps_ivanov", "9.00", "8.00", "128.00", "1/1/2026 10:00", "Active", "", ""};
    book.Stat.setRow(2, before);

    // The stop comes once the rows before the stalled one are in and the stalled portal holds its request.
    int finished = 0;
    RefreshHooks hooks;
    hooks.onStop = [&] { return finished == 2 && !s_portals->requests(PortalId::SpectrumSat).empty(); };
    hooks.onFinished = [&](const RowCheck&) { ++finished; };
    const RefreshResult result = parallel(book, {4, 1, 0ms}, hooks);

    EXPECT_TRUE(result.stopped);
    ASSERT_EQ(result.rows.size(), 3u) << "row 4 waited for row 3's portal and never started";
    EXPECT_EQ(result.rows[0].outcome, CheckOutcome::PageRead);
    EXPECT_EQ(result.rows[1].outcome, CheckOutcome::PageRead);
    EXPECT_EQ(result.rows[2].row, 2);
    EXPECT_EQ(result.rows[2].outcome, CheckOutcome::Stopped);
    EXPECT_EQ(book.Stat.row(2), before) << "the row cut short is whole, previous balance included";
    EXPECT_EQ(book.Stat.cell(kDate, 1), "7/12/2026 09:05");
    EXPECT_EQ(book.Stat.cell(kDate, 3), "");
    EXPECT_EQ(s_portals->requests(PortalId::SpectrumSat).size(), 1u);
}

// Every worker's component carries the pins: a portal that shows another key than its pin gets no
// request from any of them, and the portals asked for the first time are pinned once.
TEST_F(ParallelRefreshTest, NoWorkerSendsToAPortalWhoseKeyIsNotItsPin) {
    test::TempDir dir;
    PortalPins pins(pinsPathBeside(dir.file("Settings.ini")));
    const std::string spectrumSat = pinOrigin(addresses.spectrumSat);
    ASSERT_EQ(pins.setPin(spectrumSat, "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA="), "");
    AccountBook book;
    book.setCount(6);
    for (int r = 0; r < 3; ++r) book.client.setRow(r, {"sps_ivanov", "Qw3rty-71", "39", ""});
    for (int r = 3; r < 6; ++r) book.client.setRow(r, {"sat_titova", "T1tova-SG", "SG", ""});

    RefreshObserver quiet;
    const RefreshResult result =
        refreshRowsParallel({book, addresses, {}, clock, &pins}, 0, book.clients - 1, quiet, {4, 2, 0ms});

    ASSERT_EQ(result.rows.size(), 6u);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(result.rows[r].outcome, CheckOutcome::TransferFailed);
        EXPECT_EQ(result.rows[r].resultCode, CURLE_SSL_PINNEDPUBKEYNOTMATCH);
    }
    EXPECT_TRUE(s_portals->requests(PortalId::SpectrumSat).empty()) << "no password reached a forged key";
    for (int r = 3; r < 6; ++r) EXPECT_EQ(result.rows[r].outcome, CheckOutcome::PageRead);
    EXPECT_FALSE(pins.pinOf(pinOrigin(addresses.satGate)).empty()) << "pinned on first use";
    EXPECT_EQ(pins.takeMismatches().size(), 1u) << "one changed key, named once";
}

TEST_F(ParallelRefreshTest, ABadProxyPortEndsTheRunWhereTheSequentialRunEndsIt) {
    const ProxySettings proxy{true, "127.0.0.1", "80a"};
    const auto book = [] {
        AccountBook b;
        b.setCount(4);
        b.client.setRow(0, {"stv_alekseev", "stv-60", "60", ""});
        b.client.setRow(1, {"stv_stepanov", "step602", "602", ""});
        b.client.setRow(2, {"sps_ivanov", "Qw3rty-71", "39", ""});
        b.client.setRow(3, {"stv_yakovleva", "Yak0vleva", "STV", ""});
        return b;
    };
    AccountBook one = book();
    AccountBook many = book();
    std::vector<int> startedOne, startedMany;
    EXPECT_THROW(sequential(one, onStarting([&](int row) { startedOne.push_back(row); }), 0ms, proxy),
                 EConvertError);
    EXPECT_THROW(parallel(many, {4, 2, 0ms}, onStarting([&](int row) { startedMany.push_back(row); }), proxy),
                 EConvertError);
    EXPECT_EQ(startedMany, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(startedMany, startedOne);
    expectSameTables(one, many);
    EXPECT_EQ(many.Stat.cell(kPrevious, 3), "") << "rows after it are not written, as in the sequential run";
}

}  // namespace
}  // namespace korvex
