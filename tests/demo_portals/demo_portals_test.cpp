#include "korvex-demo-portals/demo_portals.h"

#include "platform/codepage.h"
#include "platform/paths.h"
#include "tests/demo_portals/demo_portal_requests.h"
#include "update/check/integrity.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>

namespace korvex {
namespace {

using namespace std::chrono_literals;
using test::capture;
using test::cellBytes;
using test::send;

// One portal of each kind, and one plan code that reaches it.
struct PortalCase {
    PortalId portal;
    const char* planCode;
};
constexpr PortalCase kPortalCases[] = {
    {PortalId::SpectrumSat, "39"},  {PortalId::Raduga, "R"},        {PortalId::SpaceGate75, "SG75"},
    {PortalId::SpaceGate39, "39S"}, {PortalId::SpaceGate95, "95S"}, {PortalId::SpaceGate15_21, "21"},
    {PortalId::PlanetSky, "PS"},    {PortalId::Globax, "GL"},       {PortalId::SatGate, "42"},
    {PortalId::SkyFi, "SF"},        {PortalId::Stv, "STV"},         {PortalId::Stv, "STV2"},
};

test::Answer logIn(const DemoPortals& portals, std::string_view planCode, const std::string& login,
                   const std::string& password) {
    const auto request = test::balanceRequest(planCode, login, password);
    if (!request) return {};
    return send(portals, request->portal, request->target, request->credentials, request->body);
}

// The plan code under which the program would read the account.
std::string planCodeOf(PortalId portal, const DemoAccount& account) {
    if (portal == PortalId::Stv) return account.stvGate == "insat2" ? "STV2" : "STV";
    for (const auto& c : kPortalCases)
        if (c.portal == portal) return c.planCode;
    return {};
}

// Every stock account of every portal, logged in as the program does it: each pattern of its portal
// takes exactly the account's value. A page layout that shifts a value, breaks a pattern's gap or lets
// a pattern stop early fails here.
TEST(DemoPortalsTest, EveryStockAccountPageGivesEachPatternItsValue) {
    DemoPortals portals;
    for (const auto& [portal, account] : stockDemoAccounts()) {
        SCOPED_TRACE(std::string(portalName(portal)) + " " + account.login);
        const auto answer = logIn(portals, planCodeOf(portal, account), account.login, account.password);
        ASSERT_EQ(answer.status, 200);
        for (const auto& step : test::patternSteps(portal)) {
            SCOPED_TRACE(step.pattern);
            EXPECT_EQ(capture(portal, step.pattern, answer.body), cellBytes(portal, account.*step.value));
        }
    }
}

// A wrong password, a missing account and a body whose password holds "&" (which splits the field)
// are refused: 401 on the basic-login portals, the login page on the others, and no pattern matches.
TEST(DemoPortalsTest, RefusedLoginsCarryNoneOfThePatternTexts) {
    DemoPortals portals;
    for (const auto& c : kPortalCases) {
        const DemoAccount a = portals.accounts(c.portal).front();
        const bool basic = test::balanceRequest(c.planCode, "", "")->credentials.has_value();
        struct Attempt {
            std::string login, password;
        };
        const Attempt attempts[] = {{a.login, a.password + "x"}, {"nobody", a.password}, {"", ""}};
        for (const auto& attempt : attempts) {
            SCOPED_TRACE(std::string(c.planCode) + " " + attempt.login + ":" + attempt.password);
            const auto answer = logIn(portals, c.planCode, attempt.login, attempt.password);
            EXPECT_EQ(answer.status, basic ? 401 : 200);
            EXPECT_FALSE(answer.body.empty());
            EXPECT_TRUE(answer.setCookie.empty());
            for (const auto& step : test::patternSteps(c.portal))
                EXPECT_EQ(capture(c.portal, step.pattern, answer.body), std::nullopt) << step.pattern;
        }
    }
    // The "&" in a password ends the field: the portal sees "pa" and refuses.
    portals.putAccount(PortalId::SatGate, {"amp", "pa&ss", "", "1.00", "64", "", "", "", "", {}});
    EXPECT_EQ(capture(PortalId::SatGate, test::patternSteps(PortalId::SatGate)[1].pattern,
                      logIn(portals, "SG", "amp", "pa&ss").body),
              std::nullopt);
    // The same credentials in basic form pass unchanged.
    portals.putAccount(PortalId::SpectrumSat, {"amp", "pa&ss:%=", "", "1.00", "64", "", "", "", "", {}});
    EXPECT_EQ(logIn(portals, "SPS", "amp", "pa&ss:%=").status, 200);
    // An STV account of the second gate is refused on the first one.
    const DemoAccount second = *portals.account(PortalId::Stv, "stv_stepanov");
    EXPECT_EQ(capture(PortalId::Stv, test::patternSteps(PortalId::Stv)[0].pattern,
                      logIn(portals, "STV", second.login, second.password).body),
              std::nullopt);
}

TEST(DemoPortalsTest, PagesFollowTheRegistry) {
    DemoPortals::Options empty;
    empty.stockAccounts = false;
    DemoPortals portals(empty);
    EXPECT_TRUE(portals.accounts(PortalId::Raduga).empty());
    DemoAccount a{"r_test", "secret", "Тестов Тест", "1 000,50", "2048 Кбит/с", "", "Спутник — Максимум", "",
                  "",       {}};
    portals.putAccount(PortalId::Raduga, a);
    auto page = logIn(portals, "R", "r_test", "secret").body;
    EXPECT_EQ(capture(PortalId::Raduga, test::patternSteps(PortalId::Raduga)[0].pattern, page),
              utf8ToCp1251("1 000,50"));
    EXPECT_EQ(capture(PortalId::Raduga, test::patternSteps(PortalId::Raduga)[2].pattern, page),
              "\xD1\xEF\xF3\xF2\xED\xE8\xEA \x97 \xCC\xE0\xEA\xF1\xE8\xEC\xF3\xEC");  // "Спутник — Максимум"

    a.balance = "-7.00";  // replaced, not added
    portals.putAccount(PortalId::Raduga, a);
    EXPECT_EQ(portals.accounts(PortalId::Raduga).size(), 1u);
    page = logIn(portals, "R", "r_test", "secret").body;
    EXPECT_EQ(capture(PortalId::Raduga, test::patternSteps(PortalId::Raduga)[0].pattern, page), "-7.00");

    EXPECT_TRUE(portals.removeAccount(PortalId::Raduga, "r_test"));
    EXPECT_FALSE(portals.removeAccount(PortalId::Raduga, "r_test"));
    EXPECT_EQ(logIn(portals, "R", "r_test", "secret").status, 401);
}

TEST(DemoPortalsTest, RequestLogRecordsWhatWasSent) {
    DemoPortals portals;
    send(portals, PortalId::SpaceGate39, "/stats/?x=%41", std::string("sg39_sokolova:S0kol"));
    const std::string body = "login=sat_titova&password=T1tova-SG";
    send(portals, PortalId::SatGate, "/index.php?logout=1&locale=en_US", std::nullopt, body, "A=1; B=2");
    send(portals, PortalId::Stv, "/insat/gate.php?mod=login&mode=off", std::nullopt, std::string(),
         "STVSID=none");
    send(portals, PortalId::SpectrumSat, "/", std::string(":"));

    const auto log = portals.requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].portal, PortalId::SpaceGate39);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].target, "/stats/?x=%41");  // not decoded
    EXPECT_EQ(log[0].credentials, "sg39_sokolova:S0kol");
    // cpp-httplib decodes %XX in header values before anyone sees them.
    EXPECT_EQ(log[0].referer, portals.baseUrl(PortalId::SpaceGate39) + "/stats/?x=A");
    EXPECT_EQ(log[0].userAgent, test::kBrowserAgent);
    EXPECT_TRUE(log[0].body.empty());

    EXPECT_EQ(log[1].method, "POST");
    EXPECT_EQ(log[1].target, "/index.php?logout=1&locale=en_US");
    EXPECT_EQ(log[1].body, body);
    EXPECT_EQ(log[1].credentials, "");
    EXPECT_EQ(log[1].cookie, "A=1; B=2");
    EXPECT_EQ(log[1].contentType, "application/x-www-form-urlencoded");

    EXPECT_EQ(log[2].method, "POST");
    EXPECT_EQ(log[2].body, "");
    EXPECT_EQ(log[2].target, "/insat/gate.php?mod=login&mode=off");
    EXPECT_EQ(log[3].credentials, ":");  // sent, but empty

    EXPECT_EQ(portals.requests(PortalId::SatGate).size(), 1u);
    EXPECT_EQ(formatRecord(log[1]),
              "satgate POST /index.php?logout=1&locale=en_US cookie=\"A=1; B=2\" referer=\"" +
                  portals.baseUrl(PortalId::SatGate) + "/index.php?logout=1&locale=en_US\" agent=\"" +
                  test::kBrowserAgent + "\" type=\"application/x-www-form-urlencoded\" body=\"" + body +
                  "\"");
    portals.clearRequests();
    EXPECT_TRUE(portals.requests().empty());
}

TEST(DemoPortalsTest, EscapedBytesStayOnOneLine) {
    EXPECT_EQ(escapeBytes("a\"b\\c"), "a\\\"b\\\\c");
    EXPECT_EQ(escapeBytes(std::string("x\0y\r\n\t\xC8\x7F", 8)), "x\\x00y\\r\\n\\t\\xC8\\x7F");
}

// Speed changes as the program posts them: the valid ones set the figure the program shows afterwards,
// the rest change nothing.
TEST(DemoPortalsTest, SpeedChangesSetTheAccountSpeed) {
    struct Row {
        PortalId portal;
        const char* login;
        const char* body;
        const char* speedAfter;  // nullptr: unchanged
    };
    const Row rows[] = {
        {PortalId::SpaceGate75, "sg75_orlov", "S=5", "1000.00"},
        {PortalId::SpaceGate95, "sg95_popov", "S=1", "125.00"},
        {PortalId::SpaceGate15_21, "sg21_egorov", "S=8", "4000.00"},
        {PortalId::SpaceGate39, "sg39_morozov", "S=2", nullptr},  // no item posts S=2 to SpaceGate
        {PortalId::SpaceGate39, "sg39_morozov", "KEY=0&S=9", nullptr},
        {PortalId::SpectrumSat, "sps_petrova", "KEY=0&S=5", "1024.00"},
        {PortalId::SpectrumSat, "sps_ivanov", "KEY=0&S=9", "5120.00"},
        {PortalId::SpectrumSat, "sps_kozlov", "S=1", nullptr},  // KEY missing
        {PortalId::PlanetSky, "ps_vasiliev", "KEY=0&S=5", "1000.00"},
        {PortalId::PlanetSky, "ps_zaitseva", "KEY=0&S=1", "64.00"},
        {PortalId::PlanetSky, "ps_zaitseva", "KEY=0&S=10", nullptr},
    };
    DemoPortals portals;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.login) + " " + row.body);
        const DemoAccount before = *portals.account(row.portal, row.login);
        const auto answer =
            send(portals, row.portal, "/speed/", before.login + ":" + before.password, std::string(row.body));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(portals.account(row.portal, row.login)->speed,
                  row.speedAfter ? row.speedAfter : before.speed);
    }
    // Wrong credentials: 401, nothing changes.
    const auto answer =
        send(portals, PortalId::SpaceGate75, "/speed/", std::string("sg75_orlov:nope"), std::string("S=3"));
    EXPECT_EQ(answer.status, 401);
    EXPECT_EQ(portals.account(PortalId::SpaceGate75, "sg75_orlov")->speed, "1000.00");
    // Raduga has no speed page.
    EXPECT_EQ(
        send(portals, PortalId::Raduga, "/speed/", std::string("r_smirnov:Raduga#2024"), std::string("S=3"))
            .status,
        404);
}

TEST(DemoPortalsTest, SkyFiSpeedChangeNeedsTheLoginCookie) {
    DemoPortals portals;
    const std::string change = "sp1=4&changesp=" + utf8ToCp1251("Изменить");
    const std::string credentials = "sf_sorokin:sor0kin";

    // Without a session the change post gets the login form.
    auto answer = send(portals, PortalId::SkyFi, "/control/service.php", credentials, change);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(portals.account(PortalId::SkyFi, "sf_sorokin")->speed, "250.00");

    answer = send(portals, PortalId::SkyFi, "/control/service.php", credentials,
                  std::string("user_name=sf_sorokin&user_pass=sor0kin&submit=1"));
    ASSERT_EQ(answer.status, 200);
    ASSERT_TRUE(answer.setCookie.starts_with("SKYFISID=")) << answer.setCookie;
    const std::string cookie = answer.setCookie;

    answer = send(portals, PortalId::SkyFi, "/control/service.php", credentials, change, cookie);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(portals.account(PortalId::SkyFi, "sf_sorokin")->speed, "1000.00");
    // A number the portal does not offer changes nothing.
    send(portals, PortalId::SkyFi, "/control/service.php", credentials, "sp1=9&changesp=x", cookie);
    EXPECT_EQ(portals.account(PortalId::SkyFi, "sf_sorokin")->speed, "1000.00");
    // The session belongs to SKY-FI alone: another portal's cookie of the same value opens nothing.
    EXPECT_EQ(capture(PortalId::Stv, test::patternSteps(PortalId::Stv)[0].pattern,
                      send(portals, PortalId::Stv, "/insat/gate.php", std::nullopt, std::nullopt,
                           "STVSID=" + cookie.substr(cookie.find('=') + 1))
                          .body),
              std::nullopt);
}

TEST(DemoPortalsTest, StvLogoutEndsTheSession) {
    DemoPortals portals;
    const auto login = logIn(portals, "STV", "stv_alekseev", "stv-60");
    ASSERT_TRUE(login.setCookie.starts_with("STVSID=")) << login.setCookie;
    const std::string balance = test::patternSteps(PortalId::Stv)[0].pattern;

    auto page = send(portals, PortalId::Stv, "/insat/gate.php", std::nullopt, std::nullopt, login.setCookie);
    EXPECT_EQ(capture(PortalId::Stv, balance, page.body), "1200.00");
    // The session is for its own gate only.
    page = send(portals, PortalId::Stv, "/insat2/gate.php", std::nullopt, std::nullopt, login.setCookie);
    EXPECT_EQ(capture(PortalId::Stv, balance, page.body), std::nullopt);

    const auto logout = send(portals, PortalId::Stv, "/insat/gate.php?mod=login&mode=off", std::nullopt,
                             std::string(), login.setCookie);
    EXPECT_EQ(logout.status, 200);
    page = send(portals, PortalId::Stv, "/insat/gate.php", std::nullopt, std::nullopt, login.setCookie);
    EXPECT_EQ(capture(PortalId::Stv, balance, page.body), std::nullopt);

    const auto log = portals.requests(PortalId::Stv);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3].method, "POST");
    EXPECT_EQ(log[3].target, "/insat/gate.php?mod=login&mode=off");
    EXPECT_EQ(log[3].body, "");
}

TEST(DemoPortalsTest, FailFixedAndRawPagesReplaceTheAnswer) {
    DemoPortals portals;
    const auto good = [&] { return logIn(portals, "SPS", "sps_petrova", "lEto2009"); };

    portals.setFail(PortalId::SpectrumSat, true);
    auto answer = good();
    EXPECT_EQ(answer.status, 500);
    EXPECT_NE(answer.body.find("Internal Server Error"), std::string::npos);
    EXPECT_EQ(capture(PortalId::SpectrumSat, R"(Deposit: (.*?)\,)", answer.body), std::nullopt);
    EXPECT_EQ(logIn(portals, "GL", "gl_belova", "B3lova").status, 200);  // the other portals go on
    portals.setFail(PortalId::SpectrumSat, false);

    portals.setFixedPage(PortalId::SpectrumSat, "Deposit: 9.99, fixed");
    EXPECT_EQ(send(portals, PortalId::SpectrumSat, "/anything").body,
              "Deposit: 9.99, fixed");  // no credentials
    portals.setFixedPage(PortalId::SpectrumSat, std::nullopt);

    const std::string raw("Deposit: 1\r\n2\0, Chosen", 22);
    EXPECT_TRUE(portals.setRawPage(PortalId::SpectrumSat, "sps_petrova", raw));
    EXPECT_FALSE(portals.setRawPage(PortalId::SpectrumSat, "nobody", raw));
    EXPECT_EQ(good().body, raw);
    EXPECT_EQ(logIn(portals, "SPS", "sps_petrova", "wrong").status, 401);  // the login still counts
    portals.setRawPage(PortalId::SpectrumSat, "sps_petrova", std::nullopt);
    EXPECT_EQ(capture(PortalId::SpectrumSat, R"(Deposit: (.*?)\,)", good().body), "-3.80");
}

// "Stop" in the program aborts a transfer the portal never answers; stop() here must not wait for it.
TEST(DemoPortalsTest, StalledRequestsWaitForTheSwitchOrTheStop) {
    DemoPortals portals;
    const auto request = [&] {
        return std::async(std::launch::async, [&] { return logIn(portals, "GL", "gl_romanov", "glbx2007"); });
    };

    portals.setStall(PortalId::Globax, true);
    auto held = request();
    ASSERT_TRUE(portals.waitForRequests(1, 10s));
    EXPECT_EQ(held.wait_for(50ms), std::future_status::timeout);
    EXPECT_EQ(logIn(portals, "42", "sat_grigoriev", "grig42").status, 200);  // other portals answer
    portals.setStall(PortalId::Globax, false);
    const auto released = held.get();
    EXPECT_EQ(released.status, 200);
    EXPECT_EQ(capture(PortalId::Globax, test::patternSteps(PortalId::Globax)[0].pattern, released.body),
              "315.40");

    // A client that gives up (the program's stop button) leaves the server to answer into a closed
    // connection once released: that must not take the process down (SIGPIPE).
    portals.clearRequests();
    portals.setStall(PortalId::Globax, true);
    {
        httplib::Client impatient(portals.baseUrl(PortalId::Globax));
        impatient.set_read_timeout(0, 100'000);
        EXPECT_FALSE(impatient.Get("/index.php?action=go"));
    }
    ASSERT_TRUE(portals.waitForRequests(1, 10s));
    portals.setStall(PortalId::Globax, false);
    EXPECT_EQ(logIn(portals, "GL", "gl_romanov", "glbx2007").status, 200);

    portals.clearRequests();
    portals.setStall(PortalId::Globax, true);
    auto first = request();
    auto second = request();
    ASSERT_TRUE(portals.waitForRequests(2, 10s));
    auto stopped = std::async(std::launch::async, [&] { portals.stop(); });
    ASSERT_EQ(stopped.wait_for(30s), std::future_status::ready) << "stop() hangs on a stalled request";
    EXPECT_EQ(first.get().status, 503);
    EXPECT_EQ(second.get().status, 503);
    EXPECT_EQ(logIn(portals, "GL", "gl_romanov", "glbx2007").status, -1);  // nobody listens any more
}

TEST(DemoPortalsTest, TakenPortIsReported) {
    DemoPortals first;
    const int taken = first.port(PortalId::Stv);
    try {
        DemoPortals::Options options;
        options.ports[PortalId::Stv] = taken;
        DemoPortals second(options);
        FAIL() << "a second server on the same port";
    } catch (const PortalStartError& e) {
        EXPECT_TRUE(e.portTaken());
        EXPECT_NE(std::string(e.what()).find("stv: port " + std::to_string(taken)), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(logIn(first, "STV", "stv_alekseev", "stv-60").status, 200);
}

TEST(DemoPortalsTest, PublisherServesNewsAndPages) {
    DemoPortals portals;
    const auto news = send(portals, PortalId::Publisher, "/news.txt");
    EXPECT_EQ(news.status, 200);
    EXPECT_TRUE(news.body.starts_with("Korvex 3.0: " + utf8ToCp1251("новости") + "\n")) << news.body;
    EXPECT_FALSE(utf8FitsCp1251(news.body));  // cp1251, not UTF-8

    for (const char* path : {"/", "/pay/", "/component/option,com_remository/Itemid,65/func,fileinfo/id,72/"})
        EXPECT_EQ(send(portals, PortalId::Publisher, path).status, 200) << path;
    EXPECT_EQ(send(portals, PortalId::Publisher, "/update/korvex.info").status, 404);

    portals.setPublisherFile("/update/korvex.info", "[Info]\nVersion=3.1\n", "text/plain");
    EXPECT_EQ(send(portals, PortalId::Publisher, "/update/korvex.info").body, "[Info]\nVersion=3.1\n");
    portals.setNews("one\ntwo\n");
    EXPECT_EQ(send(portals, PortalId::Publisher, "/news.txt").body, "one\ntwo\n");
}

TEST(DemoPortalsTest, PublisherOffersTheDemoReleaseInItsUpdateInfoFile) {
    DemoPortals portals;
    const auto info = send(portals, PortalId::Publisher, "/inf");
    EXPECT_EQ(info.status, 200);
    EXPECT_TRUE(info.body.starts_with("#version=3.2.0.2\r\n")) << info.body;
    EXPECT_NE(info.body.find("#url=" + portals.baseUrl(PortalId::Publisher) + "/download/korvex\r\n"),
              std::string::npos);
    EXPECT_NE(info.body.find(utf8ToCp1251("{Демонстрационный выпуск")), std::string::npos);  // cp1251
    // Signed with the demo key (the demo preset's KORVEX_UPDATE_PUBLIC_KEY) when the program it
    // offers, korvex beside this program, is there.
    if (std::filesystem::exists(executableDir() + "korvex")) {
        EXPECT_EQ(update::verifyInfoFile(info.body, "698de033244542ae632864363f97199c325f95f5f6be697bae224728ea41f01e")
                      .trust,
                  update::InfoTrust::Accepted)
            << info.body;
        EXPECT_NE(info.body.find("#url.sha256="), std::string::npos);
    } else {
        EXPECT_EQ(info.body.find("#signature="), std::string::npos);
    }
}

TEST(DemoPortalsTest, HttpsCertificateNamesTheLoopbackAndGoesAtStop) {
    DemoPortals portals;
    const std::string path = portals.certificatePath();
    FILE* file = std::fopen(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    X509* cert = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(X509_check_ip_asc(cert, "127.0.0.1", 0), 1);
    EXPECT_EQ(X509_check_host(cert, "localhost", 0, 0, nullptr), 1);
    X509_free(cert);
    for (const PortalId id : kAllPortals)
        EXPECT_EQ(portals.baseUrl(id), std::string(isHttps(id) ? "https" : "http") +
                                           "://127.0.0.1:" + std::to_string(portals.port(id)));
    portals.stop();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path).parent_path()));
}

}  // namespace
}  // namespace korvex
