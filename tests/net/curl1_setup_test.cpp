#include "net/curl1_setup.h"

#include <gtest/gtest.h>

#include "net/receive_buffer.h"
#include "tests/net/transfer_test_helpers.h"
#include "tests/support/test_server.h"

namespace korvex {
namespace {

using test::TestServer;

TEST(Curl1Setup, StartConfigurationReachesASelfSignedPortalLikeABrowser) {
    TestServer portal(TestServer::Scheme::Https);
    portal.addStandardEndpoints().start();
    THttpTransfer curl;
    int waits = 0;
    applyCurl1StoredProperties(curl, [&](THttpTransferBase&) { ++waits; });
    configureCurl1AtStart(curl, ProxySettings{});

    EXPECT_FALSE(curl.Threaded());
    EXPECT_EQ(curl.WaitInterval(), 500);
    EXPECT_EQ(curl.ConnectTimeout(), 15);
    EXPECT_FALSE(curl.SslVerifyPeer());
    EXPECT_EQ(curl.SslVerifyHost(), 0);
    EXPECT_FALSE(curl.FailOnError());
    EXPECT_FALSE(proxyInForce({}, ProxySettings{}).enabled);  // the update component goes direct

    const test::Answer answer = test::fetch(curl, portal.url("/status/404"));
    EXPECT_TRUE(answer.ok) << curl.ErrorText();
    EXPECT_EQ(answer.page, "status 404");  // an error page is a page
    EXPECT_EQ(portal.lastRequest().header("User-Agent"), kCurl1UserAgent);
    EXPECT_EQ(waits, 0);  // synchronous: the wait hook is never called
}

TEST(Curl1Setup, BadProxyPortStopsTheStartConfigurationAtProxycheck) {
    THttpTransfer curl;
    applyCurl1StoredProperties(curl);
    EXPECT_THROW(configureCurl1AtStart(curl, ProxySettings{true, "10.0.0.1", "80a"}), EConvertError);
    EXPECT_EQ(curl.ConnectTimeout(), 15);  // set before proxycheck
    EXPECT_EQ(curl.Proxy(), "10.0.0.1");   // set by proxycheck before the port
    EXPECT_TRUE(curl.SslVerifyPeer());     // after proxycheck: not reached
    EXPECT_EQ(curl.WaitInterval(), 1000);
}

}  // namespace
}  // namespace korvex
