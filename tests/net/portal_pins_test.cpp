// Portal certificates pinned on first use: against the in-process HTTPS server, whose certificate is
// self-signed as the portals' are, and with verification off as the program runs.
#include "net/portal_pins.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "net/http_transfer.h"
#include "tests/net/transfer_test_helpers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"

namespace korvex {
namespace {

using test::fetch;
using test::TestServer;

constexpr const char* kForeignPin = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";

TEST(PinOrigin, IsSchemeHostAndPortOfHttpsAddressesOnly) {
    const struct {
        const char* url;
        const char* origin;
    } cases[] = {
        {"https://Portal.Example/cabinet/?a=1", "https://portal.example:443"},
        {"https://203.0.113.7:8443/stats/", "https://203.0.113.7:8443"},
        {"https://[::1]:4443/", "https://[::1]:4443"},
        {"portal.example:8443", "https://portal.example:8443"},  // as typed for korvex-cli trust
        {"portal.example", "https://portal.example:443"},
        {"http://portal.example/", ""},
        {"ftp://portal.example/", ""},
        {"", ""},
        {"https://", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(pinOrigin(c.url), c.origin) << c.url;
}

class PinnedTransfer : public ::testing::Test {
protected:
    PinnedTransfer() {
        server.addStandardEndpoints().start();
        curl.setOnReceive(appendToReceiveStream);
        curl.setSslVerifyPeer(false);
        curl.setSslVerifyHost(0);
        curl.setPins(&pins);
    }
    std::string origin() const { return "https://127.0.0.1:" + std::to_string(server.port()); }
    std::string serverPin() const { return publicKeyPin(server.certificatePem()); }

    TestServer server{TestServer::Scheme::Https};
    test::TempDir dir;
    PortalPins pins{pinsPathBeside(dir.file("Settings.ini"))};
    THttpTransfer curl;
};

TEST_F(PinnedTransfer, TheFirstRequestPinsThePortalInAPrivateFile) {
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok) << curl.ErrorText();
    ASSERT_EQ(serverPin().rfind("sha256//", 0), 0u);
    EXPECT_EQ(pins.pinOf(origin()), serverPin());

    const std::string text = test::readFile(dir.file("Portals.pins"));
    EXPECT_NE(text.find("\n" + origin() + " " + serverPin() + "\n"), std::string::npos) << text;
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("Portals.pins").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The same key again: the request goes through, and a new store reads the pin back.
    EXPECT_TRUE(fetch(curl, server.url("/echo")).ok) << curl.ErrorText();
    EXPECT_EQ(PortalPins(pins.path()).pinOf(origin()), serverPin());
    EXPECT_TRUE(pins.takeMismatches().empty());
}

// A portal that shows another key than its pin (a forged certificate, or a new one of its own) gets
// nothing: the transfer ends in the handshake, and the mismatch waits for the user's answer.
TEST_F(PinnedTransfer, AnotherKeyEndsTheTransferBeforeAnythingIsSent) {
    ASSERT_EQ(pins.setPin(origin(), kForeignPin), "");
    curl.setUserPwd("acc:secret");
    curl.setPostFields("login=acc&password=secret");

    EXPECT_FALSE(fetch(curl, server.url("/form")).ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_SSL_PINNEDPUBKEYNOTMATCH);
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(curl.ErrorText(), "the certificate of " + origin() + " has changed (pinned " + kForeignPin +
                                    ", now " + serverPin() + "); nothing was sent");
    const auto mismatches = pins.takeMismatches();
    ASSERT_EQ(mismatches.size(), 1u);
    EXPECT_EQ(mismatches[0].origin, origin());
    EXPECT_EQ(mismatches[0].pinned, kForeignPin);
    EXPECT_EQ(mismatches[0].presented, serverPin());
    EXPECT_EQ(pins.pinOf(origin()), kForeignPin) << "only the user replaces a pin";

    // Once the user trusts the key the portal shows, it is reached again.
    ASSERT_EQ(pins.setPin(origin(), mismatches[0].presented), "");
    curl.setHttpGet(true);
    EXPECT_TRUE(fetch(curl, server.url("/echo")).ok) << curl.ErrorText();
}

// Pins belong to their portal: another portal's pin is not applied, and plain HTTP carries none.
TEST_F(PinnedTransfer, EachPortalHasItsOwnPin) {
    TestServer other{TestServer::Scheme::Https};
    other.addStandardEndpoints().start();
    TestServer plain;
    plain.addStandardEndpoints().start();
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok) << curl.ErrorText();
    ASSERT_TRUE(fetch(curl, other.url("/echo")).ok) << curl.ErrorText();
    ASSERT_TRUE(fetch(curl, plain.url("/echo")).ok) << curl.ErrorText();
    EXPECT_EQ(pins.origins(), (std::vector<std::string>{origin(), pinOrigin(other.baseUrl())}));
    EXPECT_EQ(pins.pinOf(pinOrigin(other.baseUrl())), publicKeyPin(other.certificatePem()));
    EXPECT_TRUE(fetch(curl, server.url("/echo")).ok) << curl.ErrorText();
}

TEST_F(PinnedTransfer, APortalThatRedirectsIsPinnedByItsOwnKey) {
    ASSERT_TRUE(fetch(curl, server.url("/redirect/2")).ok) << curl.ErrorText();
    EXPECT_EQ(pins.pinOf(origin()), serverPin());
}

TEST(PortalPinsFile, KeepsWhatItDoesNotUnderstandAndRefusesToReplaceAnUnreadableFile) {
    test::TempDir dir;
    const std::string path = dir.write("Portals.pins",
                                       "# my note\n"
                                       "https://a.example:443 sha256//old=\n"
                                       "not a pin line\n"
                                       "http://b.example:80 sha256//x=\n");
    PortalPins pins(path);
    EXPECT_EQ(pins.origins(), std::vector<std::string>{"https://a.example:443"});
    EXPECT_EQ(pins.setPin("https://a.example:443", "sha256//new="), "");
    EXPECT_EQ(pins.setPin("https://c.example:8443", "sha256//c="), "");
    EXPECT_EQ(test::readFile(path),
              "# my note\n"
              "https://a.example:443 sha256//new=\n"
              "not a pin line\n"
              "http://b.example:80 sha256//x=\n"
              "https://c.example:8443 sha256//c=\n");

    const std::string folder = dir.file("folder.pins");
    std::filesystem::create_directory(folder);
    PortalPins unreadable(folder);
    EXPECT_NE(unreadable.loadError(), "");
    EXPECT_NE(unreadable.setPin("https://a.example:443", "sha256//new="), "");
    EXPECT_EQ(unreadable.pinOf("https://a.example:443"), "sha256//new=") << "for this session still";
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
}  // namespace korvex
