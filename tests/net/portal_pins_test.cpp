// Portal certificates pinned on first use: against the in-process HTTPS server, whose certificate is
// self-signed as the portals' are, and with verification off as the program runs.
#include "net/portal_pins.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <thread>
#include <vector>

#include "net/http_transfer.h"
#include "tests/net/transfer_test_helpers.h"
#include "tests/support/failing_file_calls.h"
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
    // Written once, when the front's run is over, not at every new portal.
    EXPECT_FALSE(std::filesystem::exists(dir.file("Portals.pins")));
    ASSERT_EQ(pins.saveChanges(), "");

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

// A pin file that is there but cannot be read: no portal can be told from a forged one, so no
// HTTPS request goes out at all; plain HTTP is not pinned and goes as before.
TEST_F(PinnedTransfer, AnUnreadablePinFileRefusesEveryHttpsRequest) {
    std::filesystem::create_directory(dir.file("Portals.pins"));
    PortalPins unreadable(dir.file("Portals.pins"));
    curl.setPins(&unreadable);
    curl.setUserPwd("acc:secret");
    EXPECT_FALSE(fetch(curl, server.url("/echo")).ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_SSL_CACERT_BADFILE);
    EXPECT_EQ(curl.ErrorText(), "the pinned certificates cannot be read: " + unreadable.loadError());
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_TRUE(unreadable.origins().empty());

    TestServer plain;
    plain.addStandardEndpoints().start();
    EXPECT_TRUE(fetch(curl, plain.url("/echo")).ok) << curl.ErrorText();
}

TEST_F(PinnedTransfer, APortalThatRedirectsIsPinnedByItsOwnKey) {
    ASSERT_TRUE(fetch(curl, server.url("/redirect/2")).ok) << curl.ErrorText();
    EXPECT_EQ(pins.pinOf(origin()), serverPin());
}

// What is not a pin is kept as written; so is a second line of an origin, whose first line holds.
TEST(PortalPinsFile, KeepsWhatItDoesNotUnderstand) {
    test::TempDir dir;
    const std::string path = dir.write("Portals.pins",
                                       "# my note\n"
                                       "https://a.example:443 sha256//old=\n"
                                       "not a pin line\n"
                                       "http://b.example:80 sha256//x=\n"
                                       "https://a.example:443 sha256//second=\n");
    PortalPins pins(path);
    EXPECT_EQ(pins.origins(), std::vector<std::string>{"https://a.example:443"});
    EXPECT_EQ(pins.pinOf("https://a.example:443"), "sha256//old=");
    EXPECT_EQ(pins.setPin("https://a.example:443", "sha256//new="), "");
    EXPECT_EQ(pins.setPin("https://c.example:8443", "sha256//c="), "");
    EXPECT_EQ(test::readFile(path),
              "# my note\n"
              "https://a.example:443 sha256//new=\n"
              "not a pin line\n"
              "http://b.example:80 sha256//x=\n"
              "https://a.example:443 sha256//second=\n"
              "https://c.example:8443 sha256//c=\n");
}

// A pin, once there, is replaced only by the user (setPin): not by a first use of another transfer.
TEST(PortalPinsFile, AFirstUseNeverReplacesAPin) {
    test::TempDir dir;
    const std::string text = "https://a.example:443 sha256//fromfile=\n";
    PortalPins pins(dir.write("Portals.pins", text));
    ASSERT_EQ(pins.setPin("https://b.example:443", "sha256//trusted="), "");
    const std::string saved = test::readFile(pins.path());
    EXPECT_EQ(pins.pinIfNew("https://a.example:443", "sha256//other="), "sha256//fromfile=");
    EXPECT_EQ(pins.pinIfNew("https://b.example:443", "sha256//other="), "sha256//trusted=");
    EXPECT_EQ(pins.pinOf("https://a.example:443"), "sha256//fromfile=");
    EXPECT_EQ(pins.pinOf("https://b.example:443"), "sha256//trusted=");
    EXPECT_EQ(pins.saveChanges(), "");
    EXPECT_EQ(test::readFile(pins.path()), saved);
}

// The transfers of a parallel run pin and read at once. Every origin keeps the one pin that came
// first, every worker is told that pin, and a read never misses a pin of the file nor sees one that
// was never given: the lines and their index are read under the mutex that their writers hold
// (a read without it catches the list or the index moved by a writer's growth).
TEST(PortalPinsFile, WorkersPinningAndReadingAtOnceAgreeOnEveryPin) {
    constexpr int kKnown = 64;  // pinned in the file
    constexpr int kNew = 1000;  // pinned by the writers, each trying every one
    constexpr int kWriters = 2;
    constexpr int kReaders = 2;
    const auto origin = [](int i) { return "https://portal-" + std::to_string(i) + ".example:443"; };
    // Long enough to live on the heap, so that a read of a moved or freed line shows.
    const auto pin = [](int i, int writer) {
        return "sha256//" + std::string(40, static_cast<char>('a' + writer)) + std::to_string(i) + "=";
    };
    constexpr int kFromFile = kWriters;
    std::string file;
    for (int i = 0; i < kKnown; ++i) file += origin(i) + " " + pin(i, kFromFile) + "\n";
    // A race shows in a few rounds in a hundred; two hundred make it show in every run of the test.
    for (int round = 0; round < 200; ++round) {
        test::TempDir dir;
        PortalPins pins(dir.write("Portals.pins", file));
        std::vector<std::vector<std::string>> held(kWriters, std::vector<std::string>(kKnown + kNew));
        std::atomic<int> missed{0};
        std::atomic<int> unknown{0};
        std::atomic<int> waiting{kWriters + kReaders};
        std::atomic<int> writing{kWriters};
        const auto startTogether = [&] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
        };
        std::vector<std::thread> threads;
        for (int w = 0; w < kWriters; ++w)
            threads.emplace_back([&, w] {
                startTogether();
                for (int i = kKnown; i < kKnown + kNew; ++i) held[w][i] = pins.pinIfNew(origin(i), pin(i, w));
                writing.fetch_sub(1);
            });
        for (int r = 0; r < kReaders; ++r)
            threads.emplace_back([&, r] {
                startTogether();
                for (int n = r; writing.load() > 0; ++n) {
                    const int known = n % kKnown;
                    if (pins.pinOf(origin(known)) != pin(known, kFromFile)) missed.fetch_add(1);
                    const int added = kKnown + n % kNew;
                    const std::string seen = pins.pinOf(origin(added));
                    bool given = seen.empty();
                    for (int w = 0; w < kWriters && !given; ++w) given = seen == pin(added, w);
                    if (!given) unknown.fetch_add(1);
                }
            });
        for (std::thread& thread : threads) thread.join();
        ASSERT_EQ(missed.load(), 0) << "a read missed a pin of the file";
        ASSERT_EQ(unknown.load(), 0) << "a read saw a pin that no writer gave";
        ASSERT_EQ(pins.origins().size(), static_cast<std::size_t>(kKnown + kNew)) << "one line an origin";
        for (int i = kKnown; i < kKnown + kNew; ++i)
            for (int w = 0; w < kWriters; ++w) ASSERT_EQ(held[w][i], pins.pinOf(origin(i))) << i << " " << w;
    }
}

// A save that fails part way (the disk full, a flush or a rename refused) leaves the old file as it
// was, leaves no temporary file behind, and says so; the new pins stay for the session and for the
// next save.
namespace failing = test::failing;

TEST(PortalPinsFile, AFailedWriteFlushOrRenameLeavesTheOldFileWholeAndIsReported) {
    const PinsFileCalls system = systemPinsFileCalls();
    const struct {
        const char* name;
        PinsFileCalls calls;
        const char* error;  // "" when the save succeeds
    } cases[] = {
        {"every call works", system, ""},
        {"a full disk", {&failing::writeFails, system.fsync, system.rename}, "No space left on device"},
        {"a write that stops halfway",
         {&failing::writeStopsHalfway, system.fsync, system.rename},
         "No space left on device"},
        {"a flush that fails", {system.write, &failing::fsyncFails, system.rename}, "Input/output error"},
        {"a rename that fails",
         {system.write, system.fsync, &failing::renameFails},
         "Invalid cross-device link"},
    };
    const std::string old = "# mine\nhttps://a.example:443 sha256//old=\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        failing::writes = 0;
        test::TempDir dir;
        const std::string path = dir.write("Portals.pins", old);
        PortalPins pins(path, c.calls);
        EXPECT_EQ(pins.pinIfNew("https://b.example:443", "sha256//new="), "sha256//new=");
        const std::string error = pins.saveChanges();
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"Portals.pins"}) << "no temporary file left";
        if (*c.error == '\0') {
            EXPECT_EQ(error, "");
            EXPECT_EQ(test::readFile(path), old + "https://b.example:443 sha256//new=\n");
            continue;
        }
        EXPECT_EQ(error, path + ": " + c.error);
        EXPECT_EQ(test::readFile(path), old);
        EXPECT_EQ(pins.pinOf("https://b.example:443"), "sha256//new=") << "for this session still";
        EXPECT_EQ(pins.saveChanges(), error) << "still to be saved";
    }
}

}  // namespace
}  // namespace korvex
