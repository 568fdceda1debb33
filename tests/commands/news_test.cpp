#include "commands/news.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "tests/commands/portal_fixture.h"

namespace korvex {
namespace {

using Lines = std::vector<std::string>;

TEST(NewsLines, EveryKindOfLineBreakEndsALine) {
    const struct {
        std::string text;
        Lines lines;
    } cases[] = {
        {"one\ntwo", {"one", "two"}},
        {"one\r\ntwo\r\n", {"one", "two"}},
        {"one\rtwo\r", {"one", "two"}},
        {"one\n\r\ntwo\r\rthree", {"one", "", "two", "", "three"}},
        {"\n", {""}},
        {"\r\n\r\n", {"", ""}},
        {"", {}},
        {std::string("one\ntw\0o\nthree", 14), {"one", "tw"}},  // a memo's text ends at a NUL byte
    };
    for (const auto& c : cases) EXPECT_EQ(splitNewsLines(c.text), c.lines) << testing::PrintToString(c.text);
}

class NewsFromPublisher : public ::testing::Test {
protected:
    void SetUp() override {
        portals.clearRequests();
        portals.setFail(PortalId::Publisher, false);
    }

    DemoPortals& portals = test::sharedPortals();
    PortalAddresses addresses = test::demoPortalAddresses(test::sharedPortals());
    std::unique_ptr<THttpTransfer> curl = test::makeCurl1();
    Lines memo2 = {"earlier news"};
};

TEST_F(NewsFromPublisher, LfTextBecomesOneLinePerLfAndTheRequestIsABareGet) {
    portals.setNews(utf8ToCp1251("Новости Korvex\nВерсия 3.0\n\nПодробности на сайте\n"));
    // What the last portal request left on the component: an account's credentials and a post body.
    curl->setUserPwd("acc:secret");
    curl->setPostFields("S=5");

    EXPECT_TRUE(fetchNews(*curl, ProxySettings{}, addresses, memo2));

    EXPECT_EQ(memo2, (Lines{utf8ToCp1251("Новости Korvex"), utf8ToCp1251("Версия 3.0"), "",
                            utf8ToCp1251("Подробности на сайте")}));
    const auto sent = portals.requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].portal, PortalId::Publisher);
    EXPECT_EQ(sent[0].method, "GET");
    EXPECT_EQ(sent[0].target, "/news.txt");
    EXPECT_EQ(sent[0].referer, addresses.publisher + "/news.txt");
    EXPECT_EQ(sent[0].credentials, "");
    EXPECT_EQ(sent[0].body, "");
    EXPECT_TRUE(curl->HttpGet());
    EXPECT_EQ(curl->ReceiveStream(), nullptr);
}

TEST_F(NewsFromPublisher, UnreachablePublisherKeepsTheEarlierText) {
    test::RefusingPort refusing;
    addresses.publisher = refusing.url();
    EXPECT_FALSE(fetchNews(*curl, ProxySettings{}, addresses, memo2));
    EXPECT_EQ(memo2, Lines{"earlier news"});
    EXPECT_TRUE(curl->HttpGet());
    EXPECT_EQ(curl->ReceiveStream(), nullptr);
}

TEST_F(NewsFromPublisher, ABadProxyPortStopsBeforeAnythingIsSent) {
    const ProxySettings proxy{true, "127.0.0.1", "80a"};
    EXPECT_THROW(fetchNews(*curl, proxy, addresses, memo2), EConvertError);
    EXPECT_EQ(memo2, Lines{"earlier news"});
    EXPECT_TRUE(portals.requests().empty());
}

}  // namespace
}  // namespace korvex
