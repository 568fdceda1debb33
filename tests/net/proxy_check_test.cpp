#include "proxy_check.h"

#include <gtest/gtest.h>

#include "http_transfer.h"

namespace korvex {
namespace {

class ProxyCheck : public ::testing::Test {
protected:
    THttpTransfer curl;
    UpdateProxySettings update;
};

TEST_F(ProxyCheck, TickedBoxSetsAddressAndPortSeparatelyOnBothComponents) {
    proxycheck({true, "proxy.example.net", "3128"}, curl, update);
    EXPECT_EQ(curl.Proxy(), "proxy.example.net");
    EXPECT_EQ(curl.ProxyPort(), 3128);
    EXPECT_EQ(update, (UpdateProxySettings{UpdateProxySettings::atUseProxy, "proxy.example.net", 3128}));
    EXPECT_EQ(curl.ResultCode(), 0);
}

TEST_F(ProxyCheck, EmptyEditsLeaveThePreviousValues) {
    proxycheck({true, "first", "1111"}, curl, update);
    proxycheck({true, "second", ""}, curl, update);
    EXPECT_EQ(curl.Proxy(), "second");
    EXPECT_EQ(curl.ProxyPort(), 1111);
    EXPECT_EQ(update, (UpdateProxySettings{UpdateProxySettings::atUseProxy, "second", 1111}));

    proxycheck({true, "", "2222"}, curl, update);
    EXPECT_EQ(curl.Proxy(), "second");
    EXPECT_EQ(curl.ProxyPort(), 2222);
    EXPECT_EQ(update.ProxyServer, "second");
}

TEST_F(ProxyCheck, AddressWithoutPortKeepsPortZeroFromStart) {
    proxycheck({true, "10.0.0.1", ""}, curl, update);
    EXPECT_EQ(curl.Proxy(), "10.0.0.1");
    EXPECT_EQ(curl.ProxyPort(), 0);
    EXPECT_EQ(update, (UpdateProxySettings{UpdateProxySettings::atUseProxy, "10.0.0.1", 0}));
}

TEST_F(ProxyCheck, BadPortStopsAfterTheAddressWasSet) {
    update.ProxyServer = "before";
    try {
        proxycheck({true, "proxy.example.net", "80a"}, curl, update);
        FAIL() << "no conversion error";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'80a' is not a valid integer value");
    }
    EXPECT_EQ(curl.Proxy(), "proxy.example.net");
    EXPECT_EQ(curl.ProxyPort(), 0);
    EXPECT_EQ(update, (UpdateProxySettings{UpdateProxySettings::atDirect, "before", 0}));
}

// A port libcurl would refuse is an error like a port that is not a number; the port set before
// stays on both components, and the transfer component never claims a port it does not use.
TEST_F(ProxyCheck, APortOutsideWhatLibcurlTakesStopsLikeABadNumber) {
    for (const char* port : {"-1", "65536", "70000", "$FFFFFFFF"}) {
        SCOPED_TRACE(port);
        proxycheck({true, "proxy.example.net", "3128"}, curl, update);
        try {
            proxycheck({true, "other.example.net", port}, curl, update);
            FAIL() << "no error";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.what(), "'" + std::string(port) + "' is not a valid proxy port (0 to 65535)");
        }
        EXPECT_EQ(curl.ProxyPort(), 3128);
        EXPECT_EQ(update.ProxyPort, 3128);
    }
    for (const char* port : {"0", "65535"}) EXPECT_NO_THROW(proxycheck({true, "p", port}, curl, update)) << port;

    curl.setProxyPort(8080);
    curl.setProxyPort(-5);  // refused by libcurl
    EXPECT_EQ(curl.ProxyPort(), 8080);
    EXPECT_NE(curl.ResultCode(), 0);
}

TEST_F(ProxyCheck, ClearBoxGoesDirectOnBothComponents) {
    proxycheck({true, "proxy.example.net", "3128"}, curl, update);
    proxycheck({false, "proxy.example.net", "3128"}, curl, update);
    EXPECT_EQ(curl.Proxy(), "");
    EXPECT_EQ(curl.ProxyPort(), 0);
    EXPECT_EQ(update, (UpdateProxySettings{UpdateProxySettings::atDirect, "", 0}));
    // The clear box never converts the port, so a bad one there is no error.
    EXPECT_NO_THROW(proxycheck({false, "", "junk"}, curl, update));
}

}  // namespace
}  // namespace korvex
