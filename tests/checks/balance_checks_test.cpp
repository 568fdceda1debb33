// The nine check routines against the substitute portals of korvex-demo-portals, on ephemeral
// loopback ports.
#include "checks/balance_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "run/sequential_run.h"
#include "korvex-demo-portals/demo_portals.h"
#include "net/curl1_setup.h"
#include "platform/codepage.h"
#include "tests/support/demo_portal_addresses.h"
#include "tests/support/refresh_hooks.h"
#include "tests/support/tiny_proxy.h"  // freeLoopbackPort
#include "tests/support/test_server.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;

const std::string kMarker(kNotFoundMarker);
const std::string kError(kErrorMarker);
const std::string kStamp = "1/1/2010 00:05";

class BalanceChecksTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s_portals = &test::stockDemoPortals(); }

    BalanceChecksTest() {
        applyCurl1StoredProperties(curl);
        configureCurl1AtStart(curl, proxy);
        book.setCount(4);
        s_portals->clearRequests();
    }
    ~BalanceChecksTest() override {
        for (PortalId id : kAllPortals) {
            s_portals->setStall(id, false);
            s_portals->setFixedPage(id, std::nullopt);
        }
    }

    static PortalAddresses portalAddresses() { return test::demoPortalAddresses(*s_portals); }

    void setAccount(int row, std::string login, std::string password, std::string code) {
        book.client.setCell(kLogin, row, std::move(login));
        book.client.setCell(kPassword, row, std::move(password));
        book.client.setCell(kPlanCode, row, std::move(code));
        // What the balance row held before: each cell names itself.
        for (int col = kStatLogin; col < kStatCols; ++col)
            book.Stat.setCell(col, row, "old" + std::to_string(col));
    }
    std::string cell(int col, int row = 0) const { return book.Stat.cell(col, row); }

    static inline DemoPortals* s_portals = nullptr;
    AccountBook book;
    THttpTransfer curl;
    TextHolder memo;
    ProxySettings proxy;
    FixedCheckClock clock{{1, 1, 2010, 0, 5}};
    BalanceChecks checks{book, curl, memo, portalAddresses(), [this] { return proxy; }, clock};
};

// Every routine, through the row dispatch of a refresh run, one after the other on the same Curl1,
// basic and form logins interleaved so that each form login follows a basic one.
TEST_F(BalanceChecksTest, EachRoutineFillsItsRowFromItsPortal) {
    struct Case {
        const char* code;
        PortalId portal;
        const char* login;
        const char* password;
        const char* target;  // path and query of the page request
        const char* body;    // "" for basic login
        const char* balance;
        const char* speed;  // UTF-8 here, cp1251 in the cell
        const char* status;
    } cases[] = {
        {"39", PortalId::SpectrumSat, "sps_ivanov", "Qw3rty-71", "/", "", "42.15", "256.00", "Active"},
        {"GL", PortalId::Globax, "gl_romanov", "glbx2007", "/index.php?action=go",
         "login=gl_romanov&password=glbx2007&D1=01&M1=01&Y1=2007&D2=01&M2=01&Y2=2007&Detail=day", "315.40",
         "", "1048576"},
        {"PS", PortalId::PlanetSky, "ps_vasiliev", "planet53", "/", "", "27.90", "1000.00",
         "Безлимитный 1024"},
        {"SG", PortalId::SatGate, "sat_grigoriev", "grig42", "/index.php?logout=1&locale=en_US",
         "login=sat_grigoriev&password=grig42", "12.50", "512", ""},
        {"R", PortalId::Raduga, "r_smirnov", "Raduga#2024", "/", "", "350.00", "512 Кбит/с",
         "Домашний безлимит 512"},
        {"SKYFI", PortalId::SkyFi, "sf_nikitin", "SkyF1-nik", "/authorize.php",
         "user_name=sf_nikitin&user_pass=SkyF1-nik&submit=1&x=24&y=13", "450.00", "", "Стандарт 512"},
        {"SG75", PortalId::SpaceGate75, "sg75_orlov", "0rlov#75", "/stats/", "", "18.60", "1000.00",
         "Unlimited 1024"},
        {"STV", PortalId::Stv, "stv_alekseev", "stv-60", "/insat/gate.php",
         "mod=login&p1=stv_alekseev&p2=stv-60&transponder=2", "1200.00", "Спутниковый Базовый", ""},
        {"39S", PortalId::SpaceGate39, "sg39_morozov", "moroz39!", "/stats/", "", "33.10", "2000.00",
         "Unlimited 2048"},
        {"602", PortalId::Stv, "stv_stepanov", "step602", "/insat2/gate.php",
         "mod=login&p1=stv_stepanov&p2=step602&transponder=2", "2450.00", "Спутниковый Максимальный", ""},
        {"SG95", PortalId::SpaceGate95, "sg95_popov", "popov_95", "/stats/", "", "61.00", "4000.00",
         "Business 4096"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        setAccount(0, c.login, c.password, c.code);
        s_portals->clearRequests();
        std::vector<int> requestsAfter;  // requests seen after each routine
        const RowCheck check = checks.checkRow(0, [&](int i) {
            EXPECT_EQ(i, static_cast<int>(requestsAfter.size()));
            requestsAfter.push_back(static_cast<int>(s_portals->requests().size()));
        });
        EXPECT_EQ(check.outcome, CheckOutcome::PageRead);
        EXPECT_EQ(check.row, 0);
        EXPECT_TRUE(check.missedColumns.empty());
        EXPECT_EQ(check.portal, s_portals->baseUrl(c.portal));
        EXPECT_FALSE(check.profile.empty());

        EXPECT_EQ(cell(kBalance), c.balance);
        EXPECT_EQ(cell(kPrevious), "old1");
        EXPECT_EQ(cell(kSpeed), utf8ToCp1251(c.speed));
        EXPECT_EQ(cell(kDate), kStamp);
        EXPECT_EQ(cell(kStatus), utf8ToCp1251(c.status));
        EXPECT_EQ(cell(kStatPlanCode), c.code);
        EXPECT_EQ(cell(kStatLogin), "old0");  // never written by a check
        EXPECT_EQ(cell(kStatHolder), "old6");
        EXPECT_EQ(curl.ReceiveStream(), nullptr);
        EXPECT_TRUE(curl.HttpGet());

        // The requests come from the routine that owns the code, and go to its portal only.
        const CheckRoutine* routine = routineForPlanCode(c.code);
        ASSERT_NE(routine, nullptr);
        const int owner = static_cast<int>(routine - kDispatchTable.data());
        ASSERT_EQ(requestsAfter.size(), 9u);
        EXPECT_EQ(owner == 0 ? 0 : requestsAfter[owner - 1], 0);
        const auto log = s_portals->requests();
        const bool stv = c.portal == PortalId::Stv;
        ASSERT_EQ(log.size(), stv ? 2u : 1u);
        EXPECT_EQ(requestsAfter[owner], static_cast<int>(log.size()));

        const std::string base = s_portals->baseUrl(c.portal);
        const RequestRecord& page = log[0];
        EXPECT_EQ(page.portal, c.portal);
        EXPECT_EQ(page.target, c.target);
        EXPECT_EQ(page.referer, base + c.target);
        EXPECT_EQ(page.userAgent, kCurl1UserAgent);
        if (*c.body == '\0') {
            EXPECT_EQ(page.method, "GET");
            EXPECT_EQ(page.credentials, std::string(c.login) + ":" + c.password);
        } else {
            EXPECT_EQ(page.method, "POST");
            EXPECT_EQ(page.body, c.body);
            EXPECT_EQ(page.credentials, "") << "an earlier account's password went to a form portal";
        }
        if (stv) {
            const std::string logout = std::string(c.target) + "?mod=login&mode=off";
            EXPECT_EQ(log[1].method, "POST");
            EXPECT_EQ(log[1].target, logout);
            EXPECT_EQ(log[1].body, "");
            EXPECT_EQ(log[1].referer, base + logout);
            EXPECT_EQ(log[1].credentials, "");
        }
    }
}

// Every named routine acts on its own codes and on no other.
TEST_F(BalanceChecksTest, NamedRoutinesActOnlyOnTheirOwnCodes) {
    using Routine = void (BalanceChecks::*)(int);
    const std::pair<std::string_view, Routine> routines[] = {
        {"check39_95", &BalanceChecks::check39_95},
        {"check40_53", &BalanceChecks::check40_53},
        {"check42_5", &BalanceChecks::check42_5},
        {"checkR", &BalanceChecks::checkR},
        {"check15_75_21_39_95", &BalanceChecks::check15_75_21_39_95},
        {"checkGL", &BalanceChecks::checkGL},
        {"checkSKYFI", &BalanceChecks::checkSKYFI},
        {"check60", &BalanceChecks::check60},
        {"check602", &BalanceChecks::check602},
    };
    for (const auto& [name, routine] : routines) {
        for (const CheckRoutine& owner : kDispatchTable) {
            setAccount(1, "nobody", "nothing", std::string(owner.planCodes.back()));
            s_portals->clearRequests();
            (checks.*routine)(1);
            EXPECT_EQ(!s_portals->requests().empty(), owner.name == name)
                << name << " on " << owner.planCodes.back();
            EXPECT_EQ(cell(kPrevious, 1), owner.name == name ? "old1" : "old2") << name;
        }
    }
}

TEST_F(BalanceChecksTest, CodesAreExactAndFifteenAndTwentyOneShareAPortal) {
    for (const char* code : {"sps", " 39", "39 ", "39s", "sg21", ""}) {
        setAccount(0, "sps_ivanov", "Qw3rty-71", code);
        const Row before = book.Stat.row(0);
        const RowCheck check = checks.checkRow(0);
        EXPECT_EQ(book.Stat.row(0), before) << '"' << code << '"';
        EXPECT_EQ(check.outcome, CheckOutcome::PassedOver) << '"' << code << '"';
        EXPECT_EQ(check.profile, "");
    }
    EXPECT_TRUE(s_portals->requests().empty());

    setAccount(0, "sg21_egorov", "Eg0r21", "15");
    setAccount(1, "sg21_egorov", "Eg0r21", "21");
    checks.checkRow(0);
    checks.checkRow(1);
    for (int col : {kBalance, kPrevious, kSpeed, kDate, kStatus}) EXPECT_EQ(cell(col, 0), cell(col, 1));
    EXPECT_EQ(cell(kBalance), "27.35");
    EXPECT_EQ(cell(kStatPlanCode, 0), "15");
    EXPECT_EQ(cell(kStatPlanCode, 1), "21");
    const auto log = s_portals->requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].portal, PortalId::SpaceGate15_21);
    EXPECT_EQ(log[1].portal, PortalId::SpaceGate15_21);
}

// A refused login is a page like any other: the marker steps miss, timestamp and plan code are
// written, and a status step with the "nothing" rule keeps the old text.
TEST_F(BalanceChecksTest, RefusedLoginWritesMarkersTimestampAndPlanCode) {
    struct Case {
        const char* code;
        const char* login;
        const char* speed;
        const char* status;
        std::vector<int> missed;
    } cases[] = {
        {"39", "sps_ivanov", "--------", "old5", {kBalance, kSpeed}},
        {"R", "r_smirnov", "--------", "old5", {kBalance, kSpeed}},
        {"PS", "ps_vasiliev", "--------", "old5", {kBalance, kSpeed}},
        {"GL", "gl_romanov", "", "old5", {kBalance}},
        {"42", "sat_grigoriev", "--------", "", {kBalance, kSpeed}},
        {"SF", "sf_nikitin", "", "--------", {kBalance, kStatus}},  // SKY-FI's tariff step writes the marker
        {"60", "stv_alekseev", "--------", "", {kBalance, kSpeed}},
    };
    for (const auto& c : cases) {
        setAccount(0, c.login, "wrong password", c.code);
        const RowCheck check = checks.checkRow(0);
        EXPECT_EQ(check.outcome, CheckOutcome::NotFound) << c.code;
        std::vector<int> missed = check.missedColumns;
        std::sort(missed.begin(), missed.end());
        EXPECT_EQ(missed, c.missed) << c.code;
        EXPECT_EQ(cell(kBalance), kMarker) << c.code;
        EXPECT_EQ(cell(kPrevious), "old1") << c.code;
        EXPECT_EQ(cell(kSpeed), c.speed) << c.code;
        EXPECT_EQ(cell(kDate), kStamp) << c.code;
        EXPECT_EQ(cell(kStatus), c.status) << c.code;
        EXPECT_EQ(cell(kStatPlanCode), c.code) << c.code;
    }
}

TEST_F(BalanceChecksTest, FailedTransferChangesOnlyThePreviousBalance) {
    PortalAddresses dead = portalAddresses();
    dead.spectrumSat = dead.globax = dead.stv = "http://127.0.0.1:" + std::to_string(test::freeLoopbackPort());
    BalanceChecks deadChecks(
        book, curl, memo, dead, [this] { return proxy; }, clock);
    for (const char* code : {"39", "GL", "60"}) {
        setAccount(0, "a", "b", code);
        const Row before = book.Stat.row(0);
        const RowCheck check = deadChecks.checkRow(0);
        EXPECT_EQ(check.outcome, CheckOutcome::TransferFailed) << code;
        EXPECT_EQ(check.resultCode, CURLE_COULDNT_CONNECT) << code;
        EXPECT_FALSE(check.errorText.empty()) << code;
        EXPECT_EQ(check.portal, dead.stv) << code;
        Row expected = before;
        expected[kPrevious] = before[kBalance];
        EXPECT_EQ(book.Stat.row(0), expected) << code;
        deadChecks.checkRow(0);  // and again: both columns now hold the same text
        EXPECT_EQ(book.Stat.row(0), expected) << code;
        EXPECT_EQ(curl.ReceiveStream(), nullptr);
    }
    // The next check on the same component still makes its own transfer.
    setAccount(0, "sps_ivanov", "Qw3rty-71", "39");
    checks.check39_95(0);
    EXPECT_EQ(cell(kBalance), "42.15");
}

// Stopped from outside while the portal holds the login: a failed transfer, and the STV logout
// still goes out.
TEST_F(BalanceChecksTest, AbortedStvLoginIsAFailedTransferAndStillLogsOut) {
    setAccount(0, "stv_alekseev", "stv-60", "60");
    s_portals->setStall(PortalId::Stv, true);
    std::thread stopper([this] {
        if (s_portals->waitForRequests(1, 30s)) curl.requestAbort();
        s_portals->waitForRequests(2, 30s);
        s_portals->setStall(PortalId::Stv, false);  // answers the logout (or anything left held)
    });
    const RowCheck check = checks.runRoutine(*routineForPlanCode("60"), 0);  // check60
    stopper.join();
    EXPECT_EQ(check.outcome, CheckOutcome::Stopped);
    EXPECT_EQ(check.resultCode, CURLE_ABORTED_BY_CALLBACK);

    EXPECT_EQ(cell(kBalance), "old1");
    EXPECT_EQ(cell(kPrevious), "old1");
    EXPECT_EQ(cell(kSpeed), "old3");
    EXPECT_EQ(cell(kDate), "old4");
    EXPECT_EQ(cell(kStatPlanCode), "old7");
    const auto log = s_portals->requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].target, "/insat/gate.php?mod=login&mode=off");
    EXPECT_EQ(log[1].body, "");
    EXPECT_EQ(log[1].credentials, "");
}

// An error inside the check marks the speed column; cells written before it stay, and the next
// check runs as usual.
TEST_F(BalanceChecksTest, ErrorInsideTheCheckWritesTheErrorMarker) {
    // A page too large for Memo1: nothing of the page is written, the STV logout still goes out.
    TextHolder smallMemo(64);
    BalanceChecks smallChecks(
        book, curl, smallMemo, portalAddresses(), [this] { return proxy; }, clock);
    for (const char* code : {"39", "STV2"}) {
        setAccount(0, code[0] == '3' ? "sps_ivanov" : "stv_stepanov",
                   code[0] == '3' ? "Qw3rty-71" : "step602", code);
        s_portals->clearRequests();
        const RowCheck check = smallChecks.checkRow(0);
        EXPECT_EQ(check.outcome, CheckOutcome::ErrorMarker) << code;
        EXPECT_EQ(check.errorText, "the page is larger than 64 bytes") << code;
        EXPECT_EQ(cell(kBalance), "old1") << code;
        EXPECT_EQ(cell(kPrevious), "old1") << code;
        EXPECT_EQ(cell(kSpeed), kError) << code;
        EXPECT_EQ(cell(kDate), "old4") << code;
    }
    EXPECT_EQ(s_portals->requests().size(), 2u);  // login and logout
    EXPECT_EQ(s_portals->requests().back().target, "/insat2/gate.php?mod=login&mode=off");

    // A pattern that does not compile at the third step: steps one and two have written.
    const CheckStep steps[] = {
        patternStep("Deposit: (.*?)\\,", kBalance, MissRule::Marker),
        timestampStep(),
        patternStep("Status: (.*?))", kStatus, MissRule::Marker),
        planCodeStep(),
    };
    ProviderProfile broken = kSpectrumSatProfile;
    broken.steps = steps;
    setAccount(0, "sps_ivanov", "Qw3rty-71", "39");
    EXPECT_EQ(checks.runProfile(broken, 0).outcome, CheckOutcome::ErrorMarker);
    EXPECT_EQ(cell(kBalance), "42.15");
    EXPECT_EQ(cell(kDate), kStamp);
    EXPECT_EQ(cell(kSpeed), kError);
    EXPECT_EQ(cell(kStatus), "old5");
    EXPECT_EQ(cell(kStatPlanCode), "old7");

    // The run goes on: the next row is checked as usual.
    setAccount(1, "sps_petrova", "lEto2009", "SPS");
    checks.checkRow(1);
    EXPECT_EQ(cell(kBalance, 1), "-3.80");
    EXPECT_EQ(cell(kSpeed, 1), "128.00");
}

// A Portals.ini pattern that retries every split of the page (today: minutes, deaf to the stop): the
// check ends at the limit, with the profile's name, or stopped while it searches (OnWait asks once
// the page is in Memo1) as a stopped transfer ends. Faults caught: no limit; the search not run as
// Curl1 runs a transfer (requestAbort() cannot reach it); a stopped search written as an error.
TEST_F(BalanceChecksTest, ASearchThatNeedsTooMuchWorkEndsTheCheck) {
    const CheckStep steps[] = {patternStep("(.*a){12}b", kBalance, MissRule::Marker), timestampStep()};
    ProviderProfile hostile = kSpectrumSatProfile;
    hostile.steps = steps;
    s_portals->setFixedPage(PortalId::SpectrumSat, std::string(40, 'a') + "c");
    const std::tuple<bool, CheckOutcome, std::string, std::string> rows[] = {
        {false, CheckOutcome::ErrorMarker, "SpectrumSat Balance: the pattern needs too much work on this page", kError},
        {true, CheckOutcome::Stopped, "", "old3"},
    };
    curl.setThreaded(true);
    curl.setWaitInterval(10);
    for (const auto& [stopWhileSearching, outcome, errorText, speed] : rows) {
        setAccount(0, "sps_ivanov", "Qw3rty-71", "39");
        memo.setText("");
        curl.setOnWait([&](THttpTransferBase&) {
            if (stopWhileSearching && !memo.text().empty()) curl.requestAbort();
        });
        const RowCheck check = checks.runProfile(hostile, 0);
        EXPECT_EQ(check.outcome, outcome);
        EXPECT_EQ(check.errorText, errorText);
        EXPECT_EQ(cell(kBalance) + cell(kSpeed) + cell(kDate), "old1" + speed + "old4");
    }
}

// What Memo1 makes of a page reaches the patterns: line breaks as CR LF, nothing after a NUL.
TEST_F(BalanceChecksTest, PatternsSeeThePageAsMemo1HoldsIt) {
    using namespace std::string_literals;
    struct Case {
        std::string page;
        const char* balance;
        const char* speed;
        const char* status;
    } cases[] = {
        {"Status: On<BR>Deposit: 12.50, Chosen speed: 256 Kbps", "12.50", "256", "On"},
        {"Status: On\n<BR>Deposit: 1,5, Chosen speed: 2\n56 Kbps", "1", "2  56", "On  "},  // kept as blanks
        {"Status: On<BR>Deposit: 7, Chosen\0 speed: 256 Kbps"s, "7", "--------", "On"},
        {"<html>nothing of the kind</html>", "--------", "--------", "old5"},
    };
    for (const auto& c : cases) {
        s_portals->setFixedPage(PortalId::SpectrumSat, c.page);
        setAccount(0, "anyone", "anything", "39");
        checks.check39_95(0);
        EXPECT_EQ(cell(kBalance), c.balance) << c.page;
        EXPECT_EQ(cell(kSpeed), c.speed) << c.page;
        EXPECT_EQ(cell(kStatus), c.status) << c.page;
        EXPECT_EQ(cell(kDate), kStamp) << c.page;
    }
}

// A portal writes its pages as it likes: what the tables keep of them is short and holds no control
// byte, whatever the page held (a terminal's escape sequences, a status of 300 KB), and a UTF-8
// portal's text is cut between characters.
TEST_F(BalanceChecksTest, ValuesFromAPageAreKeptShortAndWithoutControlBytes) {
    const std::string longStatus(300'000, 'x');
    std::string cyrillic;
    for (int i = 0; i < 200; ++i) cyrillic += "Ж";
    const struct {
        PortalId portal;
        const char* code;
        std::string page;
        std::string status;
    } cases[] = {
        {PortalId::SpectrumSat, "39",
         "Status: \x1B]0;pwned\x07On\x08\x7F\x1B[2J<BR>Deposit: 12.50, Chosen speed: 256 Kbps",
         " ]0;pwned On   [2J"},
        {PortalId::SpectrumSat, "39", "Status: " + longStatus + "<BR>Deposit: 12.50, Chosen speed: 256 Kbps",
         std::string(kMaxPortalValueBytes, 'x')},
        // "a" and 200 letters of two bytes: the cut at 256 would split the 128th letter.
        {PortalId::PlanetSky, "53",
         "Ваш тариф: a" + cyrillic +
             "<br>\n    Ваш баланс: 5 USD<br>\nВыбранная скорость, Kbps: 256<br><div id=",
         "a" + std::string(127, '\xC6')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status.substr(0, 20));
        s_portals->setFixedPage(c.portal, c.page);
        setAccount(0, "anyone", "anything", c.code);
        checks.checkRow(0);
        EXPECT_EQ(cell(kStatus), c.status);
        EXPECT_EQ(cell(kSpeed), "256");
        EXPECT_EQ(cell(kDate), kStamp);
    }
}

TEST_F(BalanceChecksTest, PasswordCharactersArePassedUnchanged) {
    const std::string password = "p&w=1%41 :x";
    setAccount(0, "sat_grigoriev", password, "42");
    setAccount(1, "sps_ivanov", password, "39");
    checks.checkRow(0);
    checks.checkRow(1);
    const auto log = s_portals->requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].body, "login=sat_grigoriev&password=" + password);
    EXPECT_EQ(log[1].credentials, "sps_ivanov:" + password);
}

// A proxy port that is not a number ends the caller's run before the row is touched; STV does not
// apply the proxy setting and is not affected.
TEST_F(BalanceChecksTest, BadProxyPortPassesToTheCallerExceptForStv) {
    proxy = {true, "", "80a"};
    setAccount(0, "sps_ivanov", "Qw3rty-71", "39");
    const Row before = book.Stat.row(0);
    try {
        checks.checkRow(0);
        ADD_FAILURE() << "no conversion error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'80a' is not a valid integer value");
    }
    EXPECT_EQ(book.Stat.row(0), before);
    EXPECT_TRUE(s_portals->requests().empty());

    setAccount(0, "stv_alekseev", "stv-60", "60");
    checks.checkRow(0);
    EXPECT_EQ(cell(kBalance), "1200.00");
}

// The run hands every row it reaches to its reader, as it finishes, and keeps the same list.
TEST_F(BalanceChecksTest, RefreshRunReportsEachRowItReaches) {
    setAccount(0, "sps_ivanov", "Qw3rty-71", "39");
    setAccount(1, "sps_ivanov", "wrong", "39");
    setAccount(2, "nobody", "nothing", "no such code");
    setAccount(3, "sps_petrova", "lEto2009", "SPS");
    std::vector<RowCheck> finished;
    test::RefreshHooks hooks;
    hooks.onFinished = [&](const RowCheck& check) { finished.push_back(check); };
    hooks.onStop = [&] { return finished.size() == 3; };
    const RefreshResult result = refreshRows(checks, 0, 3, hooks);

    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.rowsChecked, 3);
    ASSERT_EQ(result.rows.size(), 3u);
    ASSERT_EQ(finished.size(), 3u);
    const CheckOutcome expected[] = {CheckOutcome::PageRead, CheckOutcome::NotFound, CheckOutcome::PassedOver};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(result.rows[i].row, i);
        EXPECT_EQ(finished[i].row, i);
        EXPECT_EQ(result.rows[i].outcome, expected[i]) << i;
        EXPECT_EQ(finished[i].outcome, expected[i]) << i;
    }
    EXPECT_EQ(cell(kBalance, 3), "old1");
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

TEST(PlaceholderAddressTest, OnlyAHostUnderInvalidIsAPlaceholder) {
    const struct {
        const char* address;
        bool placeholder;
    } cases[] = {
        {"https://spectrumsat.invalid", true},   {"http://SpaceGate15-21.INVALID:8443", true},
        {"https://portal.invalid.", true},       {"https://invalid", true},
        {"https://invalid.example", false},      {"https://myinvalid", false},
        {"https://x.invalid.example", false},    {"http://127.0.0.1:8080", false},
        {"https://user@x.invalid@real.example", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isPlaceholderAddress(c.address), c.placeholder) << c.address;
}

// A portal left at the build's placeholder is not asked: every request would go through the proxy
// (the only way out of this test), and the proxy sees only the one to a real address.
TEST(PlaceholderAddressTest, ItsRowsAreNotAskedAndSayWhy) {
    test::TestServer proxyServer;
    proxyServer.any(".*", [](const httplib::Request&, httplib::Response& res) { res.status = 502; });
    proxyServer.start();
    const ProxySettings proxy{true, "127.0.0.1", std::to_string(proxyServer.port())};
    THttpTransfer curl;
    applyCurl1StoredProperties(curl);
    configureCurl1AtStart(curl, proxy);
    TextHolder memo;
    FixedCheckClock clock{{1, 1, 2010, 0, 5}};
    PortalAddresses addresses;
    addresses.globax = "http://globax.invalid";
    addresses.planetSky = "http://planetsky.example";
    AccountBook book;
    book.setCount(3);
    for (const auto& [row, code] : {std::pair{0, "GL"}, std::pair{1, "PS"}, std::pair{2, "GL"}}) {
        book.client.setCell(kLogin, row, "login" + std::to_string(row));
        book.client.setCell(kPlanCode, row, code);
        book.Stat.setCell(kBalance, row, "12.00");
    }
    EXPECT_EQ(portalsWithoutAddress(book, addresses), std::vector<std::string>{"Globax"});
    EXPECT_TRUE(portalsWithoutAddress(book, addresses, 1, 1).empty());

    const TextGrid before = book.Stat;
    BalanceChecks checks(book, curl, memo, addresses, [proxy] { return proxy; }, clock);
    RefreshObserver quiet;
    const RefreshResult run = refreshRows(checks, 0, 2, quiet);
    ASSERT_EQ(run.rows.size(), 3u);
    for (int row : {0, 2}) {
        EXPECT_EQ(run.rows[row].outcome, CheckOutcome::AddressNotSet);
        EXPECT_EQ(run.rows[row].portal, "http://globax.invalid");
        EXPECT_EQ(book.Stat.row(row), before.row(row)) << "the previous balance stays where it was";
    }
    EXPECT_EQ(run.rows[1].outcome, CheckOutcome::NotFound);  // the proxy's answer
    const auto seen = proxyServer.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].target.find("planetsky.example"), std::string::npos) << seen[0].target;
}

}  // namespace
}  // namespace korvex
