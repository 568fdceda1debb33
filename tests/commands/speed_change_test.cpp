#include "commands/speed_change.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checks/text_holder.h"
#include "net/receive_buffer.h"
#include "platform/codepage.h"
#include "tests/commands/portal_fixture.h"
#include "tests/support/test_server.h"

namespace korvex {
namespace {

using test::makeCurl1;
using test::sharedPortals;

// ---- the table as data --------------------------------------------------------------------------

// The speed table written out again in UTF-8, so that conversion proves the program's cp1251 bytes.
// Columns: caption; SpaceGate (all four), SpectrumSat, PlanetSky, SKY-FI change post as body, text.
const char* const kTable[9][9] = {
    {"64 Кбит", "", "", "KEY=0&S=1", "64.00", "KEY=0&S=1", "64.00", "", ""},
    {"128 Кбит", "S=1", "125.00", "KEY=0&S=2", "128.00", "KEY=0&S=2", "125.00", "", ""},
    {"256 Кбит", "S=3", "250.00", "KEY=0&S=3", "256.00", "KEY=0&S=3", "250.00", "sp1=2&changesp=Изменить",
     "250.00"},
    {"512 Кбит", "S=4", "500.00", "KEY=0&S=4", "512.00", "KEY=0&S=4", "500.00", "sp1=3&changesp=Изменить",
     "500.00"},
    {"1024 Кбит", "S=5", "1000.00", "KEY=0&S=5", "1024.00", "KEY=0&S=5", "1000.00", "sp1=4&changesp=Изменить",
     "1000.00"},
    {"2048 Кбит", "S=6", "2000.00", "KEY=0&S=6", "2048.00", "KEY=0&S=6", "2000.00", "sp1=5&changesp=Изменить",
     "2000.00"},
    {"3072 Кбит", "S=7", "3000.00", "KEY=0&S=7", "3072.00", "KEY=0&S=7", "3000.00", "", ""},
    {"4096 Кбит", "S=8", "4000.00", "KEY=0&S=8", "4096.00", "KEY=0&S=8", "4000.00", "", ""},
    {"5120 Кбит", "", "", "KEY=0&S=9", "5120.00", "KEY=0&S=9", "5000.00", "", ""},
};

TEST(SpeedTable, BodiesAndTextsAreByteExactForEveryItemAndPortal) {
    using P = SpeedProfileId;
    const P columns[] = {P::SpaceGate75, P::SpectrumSat, P::PlanetSky, P::SkyFi};
    for (std::size_t i = 0; i < kSpeedItems.size(); ++i) {
        const SpeedItemInfo& info = speedItemInfo(kSpeedItems[i]);
        SCOPED_TRACE(info.name);
        EXPECT_EQ(info.caption, utf8ToCp1251(kTable[i][0]));
        for (std::size_t c = 0; c < 4; ++c) {
            EXPECT_EQ(speedOffer(info.item, columns[c]).body, utf8ToCp1251(kTable[i][1 + 2 * c]));
            EXPECT_EQ(speedOffer(info.item, columns[c]).text, kTable[i][2 + 2 * c]);
        }
        for (P sg : {P::SpaceGate95, P::SpaceGate21, P::SpaceGate39})
            EXPECT_EQ(speedOffer(info.item, sg).body, speedOffer(info.item, P::SpaceGate75).body);
    }
    // The button word goes as its eight cp1251 bytes, neither URL-encoded nor UTF-8.
    EXPECT_EQ(speedOffer(SpeedItem::N2561, P::SkyFi).body, "sp1=2&changesp=\xC8\xE7\xEC\xE5\xED\xE8\xF2\xFC");
}

TEST(SpeedTable, PlanCodesSelectItemsExactly) {
    using I = SpeedItem;
    const std::vector<I> nine(kSpeedItems.begin(), kSpeedItems.end());
    const std::vector<I> spaceGate = {I::N1281,  I::N2561,  I::N5121, I::N10241,
                                      I::N20481, I::N30721, I::N40961};
    const std::vector<I> skyFi = {I::N2561, I::N5121, I::N10241, I::N20481};
    const std::pair<const char*, std::vector<I>> cases[] = {
        {"39", nine},        {"PS", nine},  {"SG75", spaceGate}, {"95S", spaceGate}, {"21", spaceGate},
        {"SG39", spaceGate}, {"SF", skyFi}, {"SKYFI", skyFi},    {"15", {}},         {"SG", {}},
        {"R", {}},           {"75R", {}},   {"sps", {}},         {" 39", {}},        {"", {}},
    };
    for (const auto& [code, items] : cases) EXPECT_EQ(speedItemsFor(code), items) << '"' << code << '"';
}

TEST(SpeedMenu, EnablesItemsByTheMenusOwnRuleNotByThePortals) {
    using I = SpeedItem;
    const std::vector<I> nine(kSpeedItems.begin(), kSpeedItems.end());
    const std::pair<const char*, std::vector<I>> cases[] = {
        {"SG", {I::N1281, I::N2561, I::N5121, I::N10241, I::N20481}},
        {"SF", {I::N2561, I::N5121, I::N10241, I::N20481}},
        {"R", {}},
        // Codes of the same portals that the menu does not limit, and codes of no speed portal.
        {"42", nine},
        {"SKYFI", nine},
        {"75", nine},
        {"GL", nine},
        {"sg", nine},
        {"SF ", nine},
        {"", nine},
    };
    for (const auto& [code, items] : cases) EXPECT_EQ(speedMenuItems(code), items) << '"' << code << '"';
}

TEST(SpeedConfirmText, IsTheFixedQuestionAroundTheShownLoginAndCaption) {
    AccountBook book;
    book.client.setCell(kLogin, 0, "acc");
    book.Stat.setCell(kStatLogin, 0, "user7");
    EXPECT_EQ(speedChangeQuestion(SpeedItem::N10241, 0, book),
              utf8ToCp1251("Смена скорости на логине user7 на 1024 Кбит"));
    // The balance table's login counts; empty, it leaves the two fixed parts side by side.
    book.Stat.setCell(kStatLogin, 0, "");
    EXPECT_EQ(speedChangeQuestion(SpeedItem::N641, 0, book),
              utf8ToCp1251("Смена скорости на логине  на 64 Кбит"));
}

// ---- against the substitute portals ---------------------------------------------------------------

class SpeedChangeOnPortals : public ::testing::Test {
protected:
    void SetUp() override {
        for (PortalId id : kAllPortals) portals.clearAccounts(id);
        portals.clearRequests();
        book.setCount(1);
    }

    void putAccount(PortalId portal, const std::string& login, const std::string& password) {
        DemoAccount a;
        a.login = login;
        a.password = password;
        a.balance = "100.00";
        a.speed = "0.00";
        portals.putAccount(portal, a);
    }
    void setRow(const std::string& login, const std::string& password, const std::string& planCode) {
        book.client.setCell(kLogin, 0, login);
        book.client.setCell(kPassword, 0, password);
        book.client.setCell(kPlanCode, 0, planCode);
        book.Stat.setCell(kSpeed, 0, "old");
    }
    SpeedChangeResult change(SpeedItem item) {
        return changeSpeed(item, 0, book, *curl, memo, addresses, [this] { ++repaints; });
    }
    // What Curl1 is left with on every path: no credentials, no buffer, GET.
    void expectCurl1Released() {
        EXPECT_EQ(curl->UserPwd(), "");
        EXPECT_EQ(curl->ReceiveStream(), nullptr);
        EXPECT_TRUE(curl->HttpGet());
    }

    DemoPortals& portals = sharedPortals();
    PortalAddresses addresses = test::demoPortalAddresses(sharedPortals());
    std::unique_ptr<THttpTransfer> curl = makeCurl1();
    AccountBook book;
    TextHolder memo;
    int repaints = 0;
};

TEST_F(SpeedChangeOnPortals, OnePostGoesToTheAccountsPortalAndWritesTheItemsText) {
    const struct {
        const char* planCode;
        SpeedItem item;
        PortalId portal;
        const char* body;
        const char* text;
    } cases[] = {
        {"SG75", SpeedItem::N10241, PortalId::SpaceGate75, "S=5", "1000.00"},
        {"PS", SpeedItem::N10241, PortalId::PlanetSky, "KEY=0&S=5", "1000.00"},
        {"SPS", SpeedItem::N10241, PortalId::SpectrumSat, "KEY=0&S=5", "1024.00"},
        {"53", SpeedItem::N51201, PortalId::PlanetSky, "KEY=0&S=9", "5000.00"},
        {"21", SpeedItem::N1281, PortalId::SpaceGate15_21, "S=1", "125.00"},
        {"SG39", SpeedItem::N30721, PortalId::SpaceGate39, "S=7", "3000.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.planCode);
        portals.clearRequests();
        putAccount(c.portal, "acc", "p:w d");
        setRow("acc", "p:w d", c.planCode);
        repaints = 0;

        EXPECT_EQ(change(c.item), SpeedChangeResult::Written);

        const auto sent = portals.requests();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].portal, c.portal);
        EXPECT_EQ(sent[0].method, "POST");
        EXPECT_EQ(sent[0].target, "/speed/");
        EXPECT_EQ(sent[0].body, c.body);
        EXPECT_EQ(sent[0].credentials, "acc:p:w d");
        EXPECT_EQ(sent[0].referer, portals.baseUrl(c.portal) + "/speed/");
        EXPECT_EQ(book.Stat.cell(kSpeed, 0), c.text);
        EXPECT_EQ(portals.account(c.portal, "acc")->speed, c.text);  // the portal took it, too
        EXPECT_NE(memo.text().find("The speed has been changed"), std::string::npos);
        EXPECT_EQ(repaints, 1);
        EXPECT_EQ(curl->PostFields(), "");
        expectCurl1Released();
    }
}

TEST_F(SpeedChangeOnPortals, NothingIsSentWhenNoPortalOfTheItemHasThePlanCode) {
    putAccount(PortalId::SpectrumSat, "acc", "pw");
    putAccount(PortalId::SpaceGate75, "acc", "pw");
    putAccount(PortalId::SkyFi, "acc", "pw");
    const struct {
        const char* planCode;
        SpeedItem item;
    } cases[] = {
        {"sps", SpeedItem::N10241}, {"SG75", SpeedItem::N51201},  {"75", SpeedItem::N641},
        {"SF", SpeedItem::N641},    {"SKYFI", SpeedItem::N30721}, {"15", SpeedItem::N10241},
        {"R", SpeedItem::N10241},   {"", SpeedItem::N10241},      {"SPS ", SpeedItem::N10241},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.planCode);
        setRow("acc", "pw", c.planCode);
        EXPECT_EQ(change(c.item), SpeedChangeResult::NotServed);
        EXPECT_EQ(book.Stat.cell(kSpeed, 0), "old");
    }
    EXPECT_TRUE(portals.requests().empty());
    EXPECT_EQ(repaints, 0);
}

TEST_F(SpeedChangeOnPortals, SkyFiLogsInThenPostsTheChangeWithItsSessionCookie) {
    putAccount(PortalId::SkyFi, "sf1", "secret");
    setRow("sf1", "secret", "SF");

    EXPECT_EQ(change(SpeedItem::N2561), SpeedChangeResult::Written);

    const auto sent = portals.requests();
    ASSERT_EQ(sent.size(), 2u);
    const std::string url = portals.baseUrl(PortalId::SkyFi) + "/control/service.php";
    for (const auto& r : sent) {
        EXPECT_EQ(r.portal, PortalId::SkyFi);
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.target, "/control/service.php");
        EXPECT_EQ(r.referer, url);
        EXPECT_EQ(r.credentials, "sf1:secret");
    }
    EXPECT_EQ(sent[0].body, "user_name=sf1&user_pass=secret&submit=1");
    EXPECT_EQ(sent[0].cookie, "");
    EXPECT_EQ(sent[1].body, utf8ToCp1251("sp1=2&changesp=Изменить"));
    EXPECT_NE(sent[1].cookie, "");  // the session the login answer set
    EXPECT_EQ(portals.account(PortalId::SkyFi, "sf1")->speed, "250.00");
    EXPECT_EQ(book.Stat.cell(kSpeed, 0), "250.00");

    // The memo holds the login answer followed by the change answer.
    const std::string& text = memo.text();
    const auto first = text.find("<html>");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(text.find("<html>", first + 1), std::string::npos);
    EXPECT_NE(text.find(utf8ToCp1251("Скорость изменена: 250.00")), std::string::npos);
    EXPECT_EQ(curl->PostFields(), "");
    expectCurl1Released();
}

TEST_F(SpeedChangeOnPortals, SkyFiChangePostThatFailsWritesNothing) {
    putAccount(PortalId::SkyFi, "sf3", "pw");
    setRow("sf3", "pw", "SF");
    // The second answer is cut off as soon as its status line arrives.
    int statusLines = 0;
    curl->setOnHeader([&](THttpTransfer&, const std::string& line, bool& bContinue) {
        if (line.rfind("HTTP/", 0) == 0 && ++statusLines == 2) bContinue = false;
    });

    EXPECT_EQ(change(SpeedItem::N5121), SpeedChangeResult::ChangeFailed);

    EXPECT_EQ(portals.requests().size(), 2u);
    EXPECT_EQ(book.Stat.cell(kSpeed, 0), "old");
    EXPECT_NE(memo.text().find("<html>"), std::string::npos);  // the login answer
    expectCurl1Released();
}

TEST_F(SpeedChangeOnPortals, UnreachablePortalLeavesTheColumnAlone) {
    test::RefusingPort refusing;
    addresses.spaceGate75 = refusing.url("https");
    addresses.skyFi = refusing.url("https");
    for (const char* planCode : {"SG75", "SF"}) {
        SCOPED_TRACE(planCode);
        setRow("acc", "pw", planCode);
        EXPECT_EQ(change(SpeedItem::N10241), SpeedChangeResult::TransferFailed);
        EXPECT_EQ(book.Stat.cell(kSpeed, 0), "old");
        expectCurl1Released();
    }
    EXPECT_EQ(repaints, 2);
}

TEST_F(SpeedChangeOnPortals, NextBalanceRequestGoesOutAsGetAndWithoutTheOldCredentials) {
    putAccount(PortalId::SpaceGate75, "acc", "pw");
    test::RefusingPort refusing;
    for (bool portalReachable : {true, false}) {
        SCOPED_TRACE(portalReachable ? "after a change" : "after a failed change");
        PortalAddresses target = addresses;
        if (!portalReachable) target.spaceGate75 = refusing.url();
        setRow("acc", "pw", "SG75");
        changeSpeed(SpeedItem::N10241, 0, book, *curl, memo, target, {});
        portals.clearRequests();

        // The next user of Curl1 sets what its request needs and nothing else, as a basic-login
        // balance check does; the publisher's request sets no credentials at all.
        ReceiveBuffer page;
        curl->setReceiveStream(&page);
        curl->setURL(addresses.publisher + "/");
        ASSERT_TRUE(curl->Perform());
        curl->setUserPwd("acc:pw");
        curl->setURL(addresses.spaceGate75 + "/stats/");
        ASSERT_TRUE(curl->Perform());
        curl->setReceiveStream(nullptr);

        const auto sent = portals.requests();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0].method, "GET");
        EXPECT_EQ(sent[0].credentials, "");
        EXPECT_EQ(sent[1].method, "GET");
        EXPECT_EQ(sent[1].body, "");
        curl->setUserPwd({});
    }
}

TEST_F(SpeedChangeOnPortals, CredentialsDoNotFollowARedirectToAnotherServer) {
    // A portal that sends the speed post on to another origin (here the publisher, on another port).
    test::TestServer portal;
    const std::string elsewhere = addresses.publisher + "/";
    portal.post("/speed/",
                [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(elsewhere); });
    portal.start();
    addresses.planetSky = portal.baseUrl();
    setRow("acc", "pw", "PS");

    EXPECT_EQ(change(SpeedItem::N2561), SpeedChangeResult::Written);

    ASSERT_EQ(portal.requestCount(), 1u);
    EXPECT_EQ(portal.lastRequest().header("Authorization"), test::basicAuthorization("acc", "pw"));
    const auto reached = portals.requests(PortalId::Publisher);
    ASSERT_EQ(reached.size(), 1u);
    EXPECT_EQ(reached[0].credentials, "");
}

}  // namespace
}  // namespace korvex
