// Every user of Curl1 (balance checks, speed changes, the news) is held to the portals' pinned keys:
// a portal that shows another key receives nothing, whoever asks.
#include <gtest/gtest.h>

#include <functional>

#include "checks/balance_checks.h"
#include "checks/check_clock.h"
#include "commands/news.h"
#include "commands/speed_change.h"
#include "net/portal_pins.h"
#include "tests/commands/portal_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"

namespace korvex {
namespace {

TEST(PinnedPortals, NoUserOfCurl1SendsToAPortalWithAnotherKey) {
    DemoPortals& portals = test::sharedPortals();
    PortalAddresses addresses = test::demoPortalAddresses(portals);
    // A publisher site on HTTPS (the news goes to whatever address the build gives).
    test::TestServer publisher(test::TestServer::Scheme::Https);
    publisher.get("/news.txt", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("news", "text/plain");
    });
    publisher.start();
    addresses.publisher = publisher.baseUrl();
    test::TempDir dir;
    PortalPins pins(pinsPathBeside(dir.file("Settings.ini")));
    const std::unique_ptr<THttpTransfer> curl = test::makeCurl1();
    curl->setPins(&pins);
    AccountBook book;
    book.setCount(1);
    TextHolder memo;
    FixedCheckClock clock{{1, 1, 2010, 0, 5}};
    BalanceChecks checks{book, *curl, memo, addresses, [] { return ProxySettings{}; }, clock};
    const auto setRow = [&](const char* login, const char* password, const char* code) {
        book.client.setRow(0, {login, password, code, ""});
    };

    const auto requestsTo = [&](PortalId portal) {
        return portal == PortalId::Publisher ? publisher.requestCount() : portals.requests(portal).size();
    };
    const struct {
        const char* name;
        PortalId portal;
        std::function<void()> send;
    } users[] = {
        {"news", PortalId::Publisher,
         [&] {
             std::vector<std::string> lines;
             EXPECT_FALSE(fetchNews(*curl, ProxySettings{}, addresses, lines));
         }},
        {"speed change", PortalId::SpaceGate75,
         [&] {
             setRow("sg", "sg-secret", "SG75");
             changeSpeed(SpeedItem::N10241, 0, book, *curl, memo, addresses, {});
         }},
        {"basic-login check", PortalId::SpectrumSat,
         [&] {
             setRow("sps", "sps-secret", "SPS");
             checks.check39_95(0);
         }},
        {"form-login check", PortalId::SatGate,
         [&] {
             setRow("sat", "sat-secret", "SG");
             checks.check42_5(0);
         }},
    };
    for (const auto& user : users) {
        SCOPED_TRACE(user.name);
        const std::string origin =
            pinOrigin(user.portal == PortalId::Publisher ? addresses.publisher : portals.baseUrl(user.portal));
        ASSERT_FALSE(origin.empty());
        ASSERT_EQ(pins.setPin(origin, "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA="), "");
        portals.clearRequests();
        book.Stat.clearRow(0);

        user.send();

        EXPECT_EQ(requestsTo(user.portal), 0u);
        EXPECT_EQ(curl->ResultCode(), CURLE_SSL_PINNEDPUBKEYNOTMATCH);
        EXPECT_EQ(book.Stat.cell(kDate, 0), "");
        const auto mismatches = pins.takeMismatches();
        ASSERT_EQ(mismatches.size(), 1u);
        EXPECT_EQ(mismatches[0].origin, origin);
    }
}

}  // namespace
}  // namespace korvex
