// Requests through a real proxy: tinyproxy on a loopback port, configured the way the settings
// tab configures the program.
#include <gtest/gtest.h>

#include "net/http_transfer.h"
#include "net/proxy_check.h"
#include "tests/net/transfer_test_helpers.h"
#include "tests/support/test_server.h"
#include "tests/support/tiny_proxy.h"

namespace korvex {
namespace {

using test::fetch;
using test::TestServer;
using test::TinyProxy;

TEST(ProxyTransfer, TickedBoxSendsThroughTheProxyAndClearingItGoesDirect) {
    if (!TinyProxy::available())
        GTEST_SKIP() << TinyProxy::kBinary << " is missing (Debian package tinyproxy-bin)";
    TinyProxy proxy;
    TestServer server;
    server.addStandardEndpoints().start();
    THttpTransfer curl;
    curl.setOnReceive(appendToReceiveStream);
    ProxySettings inForce;  // for the update component
    const auto check = [&](const ProxySettings& setting) {
        inForce = proxyInForce(inForce, setting);
        proxycheck(setting, curl);
    };

    // Address and port are two settings: the address goes to libcurl as typed, without the port.
    check({true, proxy.host(), std::to_string(proxy.port())});
    EXPECT_EQ(curl.Proxy(), "127.0.0.1");
    EXPECT_EQ(curl.ProxyPort(), proxy.port());
    ASSERT_TRUE(fetch(curl, server.url("/echo?via=proxy")).ok) << curl.ErrorText() << "\n" << proxy.log();
    EXPECT_NE(server.lastRequest().header("Via").find(TinyProxy::kViaName), std::string::npos);
    EXPECT_NE(proxy.log().find("GET " + server.url("/echo?via=proxy")), std::string::npos) << proxy.log();

    check({false, proxy.host(), std::to_string(proxy.port())});
    ASSERT_TRUE(fetch(curl, server.url("/echo?via=direct")).ok) << curl.ErrorText();
    EXPECT_FALSE(server.lastRequest().hasHeader("Via"));
    EXPECT_EQ(proxy.log().find("/echo?via=direct"), std::string::npos);
    EXPECT_EQ(inForce, ProxySettings{});
}

TEST(ProxyTransfer, UnreachableProxyFailsTheRequestOnly) {
    TestServer server;
    server.addStandardEndpoints().start();
    THttpTransfer curl;
    curl.setOnReceive(appendToReceiveStream);
    proxycheck({true, "127.0.0.1", std::to_string(test::freeLoopbackPort())}, curl);
    EXPECT_FALSE(fetch(curl, server.url("/echo")).ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_COULDNT_CONNECT);
    EXPECT_EQ(server.requestCount(), 0u);

    proxycheck({false, "", ""}, curl);
    EXPECT_TRUE(fetch(curl, server.url("/echo")).ok);
}

}  // namespace
}  // namespace korvex
