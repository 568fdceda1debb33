#include <gtest/gtest.h>

#include "update/engine/url.h"

namespace korvex {
namespace {

TEST(UpdateUrl, ExtraPartEscaping) {
    const std::pair<std::string, std::string> cases[] = {
        {"?a=b c", "?a=b%20c"},
        {"?a=%20", "?a=%2520"},  // already escaped text is escaped again
        {"?x=*+<>#", "?x=%2A%2B%3C%3E%23"},
        {"?q=\xC0\x7F\x01\t", "?q=%C0\x7F%01%09"},
        {"?keep=/:;@&=$,!~'()[]{}|^`\"", "?keep=/:;@&=$,!~'()[]{}|^`\""},
        {"#frag ment", "%23frag%20ment"},
    };
    for (const auto& [extra, sent] : cases) EXPECT_EQ(encodeExtra(extra), sent) << extra;
}

TEST(UpdateUrl, AddressesSplitIntoTheirParts) {
    struct Case {
        std::string url, scheme, host;
        int port;
        std::string user, password, path, extra;
    };
    const Case cases[] = {
        {"korvex.example/inf", "http", "korvex.example", 80, "", "", "/inf", ""},
        {"HTTPS://h:8443", "https", "h", 8443, "", "", "/", ""},
        {"http://u:p%40ss@h/a/b?x=1#y", "http", "h", 80, "u", "p%40ss", "/a/b", "?x=1#y"},
        {"http://[::1]:81/p", "http", "::1", 81, "", "", "/p", ""},
        {"file:///tmp/a%20b.txt", "file", "", 0, "", "", "/tmp/a%20b.txt", ""},
    };
    for (const Case& c : cases) {
        const auto parts = crackUrl(c.url);
        ASSERT_TRUE(parts) << c.url;
        EXPECT_EQ(parts->scheme, c.scheme) << c.url;
        EXPECT_EQ(parts->host, c.host) << c.url;
        EXPECT_EQ(parts->port, c.port) << c.url;
        EXPECT_EQ(parts->user, c.user) << c.url;
        EXPECT_EQ(parts->password, c.password) << c.url;
        EXPECT_EQ(parts->path, c.path) << c.url;
        EXPECT_EQ(parts->extra, c.extra) << c.url;
    }
    EXPECT_EQ(percentDecode("p%40ss%zz%4"), "p@ss%zz%4");
}

TEST(UpdateUrl, PartsBeyondTheirLimitsMakeTheAddressUnusable) {
    const std::string limits[][2] = {
        {"http://" + std::string(256, 'h') + "/", "http://" + std::string(257, 'h') + "/"},
        {"http://" + std::string(128, 'u') + "@h/", "http://" + std::string(129, 'u') + "@h/"},
        {"http://u:" + std::string(128, 'p') + "@h/", "http://u:" + std::string(129, 'p') + "@h/"},
        {"http://h/" + std::string(2047, 'p'), "http://h/" + std::string(2048, 'p')},
        {"http://h/?" + std::string(2047, 'q'), "http://h/?" + std::string(2048, 'q')},
        {std::string(32, 's') + "://h/", std::string(33, 's') + "://h/"},
    };
    for (const auto& [fits, tooLong] : limits) {
        EXPECT_TRUE(crackUrl(fits)) << fits.size();
        EXPECT_FALSE(crackUrl(tooLong)) << tooLong.size();
    }
    for (const char* bad : {"http://", "http://h:0/", "http://h:65536/", "http://h:8o/", "http://[::1/",
                            // hosts no connection could go to: libcurl's reading refuses them too
                            "http://a b/", "http://h\x01/", "https://h%2Fx/", "http://h:+80/"})
        EXPECT_FALSE(crackUrl(bad)) << bad;
}

TEST(UpdateUrl, TheHostAndPortAreTheOnesTheConnectionGoesTo) {
    const struct {
        const char* url;
        const char* host;
        int port;
    } cases[] = {
        {"http://Portal.EXAMPLE:8080/x", "portal.example", 8080},
        {"HTTPS://[::1]/x", "::1", 443},
        {"http://u:p@h.example/", "h.example", 80},
        {"http://good.example#@evil.example/", "good.example", 80},
        {"ftp://h.example/f", "h.example", 21},
    };
    for (const auto& c : cases) {
        const auto parts = crackUrl(c.url);
        ASSERT_TRUE(parts) << c.url;
        EXPECT_EQ(parts->host, c.host) << c.url;
        EXPECT_EQ(parts->port, c.port) << c.url;
    }
}

TEST(UpdateUrl, RequestAddressKeepsCredentialsOutAndEscapesThePath) {
    const auto parts = crackUrl("http://user:pw@h:8080/a dir/\xC1.exe?v=1 2");
    ASSERT_TRUE(parts);
    EXPECT_EQ(requestUrl(*parts), "http://h:8080/a%20dir/%C1.exe?v=1%202");
}

}  // namespace
}  // namespace korvex
