#include "net/proxy_check.h"

#include <gtest/gtest.h>

#include <vector>

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

// Each story: the settings tab as the window reads it before successive runs, and what stands on
// both components after the last one.
TEST_F(ProxyCheck, AddressAndPortReachBothComponentsAndEmptyEditsKeepThePreviousValues) {
    struct Case {
        const char* what;
        std::vector<ProxySettings> runs;
        std::string proxy;
        std::int32_t port;
        ProxySettings inForce;
    };
    const Case cases[] = {
        {"ticked box", {{true, "proxy.example.net", "3128"}}, "proxy.example.net", 3128,
         {true, "proxy.example.net", "3128"}},
        {"empty port keeps the port", {{true, "first", "1111"}, {true, "second", ""}}, "second", 1111,
         {true, "second", "1111"}},
        {"empty address keeps the address", {{true, "first", "1111"}, {true, "second", ""}, {true, "", "2222"}},
         "second", 2222, {true, "second", "2222"}},
        {"no port from the start", {{true, "10.0.0.1", ""}}, "10.0.0.1", 0, {true, "10.0.0.1", ""}},
        {"clear box goes direct", {{true, "proxy.example.net", "3128"}, {false, "proxy.example.net", "3128"}}, "",
         0, {false, "", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        THttpTransfer fresh;
        inForce = {};
        for (const ProxySettings& run : c.runs) {
            inForce = proxyInForce(inForce, run);
            proxycheck(run, fresh);
        }
        EXPECT_EQ(fresh.Proxy(), c.proxy);
        EXPECT_EQ(fresh.ProxyPort(), c.port);
        EXPECT_EQ(inForce, c.inForce);
        EXPECT_EQ(fresh.ResultCode(), 0);
    }
    // The clear box never converts the port, so a bad one there is no error.
    EXPECT_NO_THROW(check({false, "", "junk"}));
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

}  // namespace
}  // namespace korvex
