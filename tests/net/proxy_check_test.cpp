#include "net/proxy_check.h"

#include <gtest/gtest.h>

#include "net/http_transfer.h"

namespace korvex {
namespace {

class ProxyCheck : public ::testing::Test {
protected:
    // proxycheck as the window runs it, noting the setting in force for the update component.
    void check(const ProxySettings& setting) {
        inForce = proxyInForce(inForce, setting);
        proxycheck(setting, curl);
    }

    THttpTransfer curl;
    ProxySettings inForce;
};

TEST_F(ProxyCheck, TickedBoxSetsAddressAndPortSeparatelyOnBothComponents) {
    check({true, "proxy.example.net", "3128"});
    EXPECT_EQ(curl.Proxy(), "proxy.example.net");
    EXPECT_EQ(curl.ProxyPort(), 3128);
    EXPECT_EQ(inForce, (ProxySettings{true, "proxy.example.net", "3128"}));
    EXPECT_EQ(curl.ResultCode(), 0);
}

TEST_F(ProxyCheck, EmptyEditsLeaveThePreviousValues) {
    check({true, "first", "1111"});
    check({true, "second", ""});
    EXPECT_EQ(curl.Proxy(), "second");
    EXPECT_EQ(curl.ProxyPort(), 1111);
    EXPECT_EQ(inForce, (ProxySettings{true, "second", "1111"}));

    check({true, "", "2222"});
    EXPECT_EQ(curl.Proxy(), "second");
    EXPECT_EQ(curl.ProxyPort(), 2222);
    EXPECT_EQ(inForce.address, "second");
}

TEST_F(ProxyCheck, AddressWithoutPortKeepsPortZeroFromStart) {
    check({true, "10.0.0.1", ""});
    EXPECT_EQ(curl.Proxy(), "10.0.0.1");
    EXPECT_EQ(curl.ProxyPort(), 0);
    EXPECT_EQ(inForce, (ProxySettings{true, "10.0.0.1", ""}));
}

TEST_F(ProxyCheck, BadPortStopsAfterTheAddressWasSet) {
    inForce.address = "before";
    try {
        check({true, "proxy.example.net", "80a"});
        FAIL() << "no conversion error";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'80a' is not a valid integer value");
    }
    EXPECT_EQ(curl.Proxy(), "proxy.example.net");
    EXPECT_EQ(curl.ProxyPort(), 0);
    EXPECT_EQ(inForce, (ProxySettings{false, "before", ""}));
}

// A port libcurl would refuse is an error like a port that is not a number; the port set before
// stays on both components, and the transfer component never claims a port it does not use.
TEST_F(ProxyCheck, APortOutsideWhatLibcurlTakesStopsLikeABadNumber) {
    for (const char* port : {"-1", "65536", "70000", "$FFFFFFFF"}) {
        SCOPED_TRACE(port);
        check({true, "proxy.example.net", "3128"});
        try {
            check({true, "other.example.net", port});
            FAIL() << "no error";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.what(), "'" + std::string(port) + "' is not a valid proxy port (0 to 65535)");
        }
        EXPECT_EQ(curl.ProxyPort(), 3128);
        EXPECT_EQ(inForce.port, "3128");
    }
    for (const char* port : {"0", "65535"}) EXPECT_NO_THROW(check({true, "p", port})) << port;

    curl.setProxyPort(8080);
    curl.setProxyPort(-5);  // refused by libcurl
    EXPECT_EQ(curl.ProxyPort(), 8080);
    EXPECT_NE(curl.ResultCode(), 0);
}

TEST_F(ProxyCheck, ClearBoxGoesDirectOnBothComponents) {
    check({true, "proxy.example.net", "3128"});
    check({false, "proxy.example.net", "3128"});
    EXPECT_EQ(curl.Proxy(), "");
    EXPECT_EQ(curl.ProxyPort(), 0);
    EXPECT_EQ(inForce, (ProxySettings{false, "", ""}));
    // The clear box never converts the port, so a bad one there is no error.
    EXPECT_NO_THROW(check({false, "", "junk"}));
}

}  // namespace
}  // namespace korvex
