// The download engine over HTTPS. libcurl's CA bundle is looked up once per process, as
// "curl-ca-bundle.crt" on the search path, so this program puts a bundle of its own there before
// the first transfer: the identities below are the only authorities it trusts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "tests/support/temp_dir.h"
#include "tests/update/update_test_support.h"

namespace korvex::test {
namespace {

using Names = std::vector<std::string>;

struct Identities {
    // Names 127.0.0.1 and localhost; in the bundle.
    SelfSignedCertificate trusted = makeSelfSignedCertificate({"localhost"}, {"127.0.0.1"});
    // In the bundle, but for another host.
    SelfSignedCertificate otherHost = makeSelfSignedCertificate({"korvex.invalid"}, {});
    // Names 127.0.0.1, and no authority in the bundle vouches for it.
    SelfSignedCertificate unknown = makeSelfSignedCertificate({"localhost"}, {"127.0.0.1"});
};

Identities* g_identities = nullptr;

class TrustedBundleEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        m_identities = std::make_unique<Identities>();
        m_folder = std::make_unique<TempDir>();
        m_folder->write("curl-ca-bundle.crt",
                        m_identities->trusted.certificatePem + m_identities->otherHost.certificatePem);
        const char* path = std::getenv("PATH");
        const std::string searchPath =
            m_folder->path().string() + (path ? std::string(":") + path : std::string());
        ::setenv("PATH", searchPath.c_str(), 1);
        g_identities = m_identities.get();
    }
    void TearDown() override { g_identities = nullptr; }

private:
    std::unique_ptr<Identities> m_identities;
    std::unique_ptr<TempDir> m_folder;
};

[[maybe_unused]] const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new TrustedBundleEnvironment);

// Certificates are checked unless an option says otherwise: a server that no authority vouches
// for, or whose certificate names another host, gets no request through, exactly as an unreachable
// host; each option lifts its own check only.
TEST(UpdateEngineHttps, ChecksTheCertificateUnlessAnOptionSaysOtherwise) {
    ASSERT_NE(g_identities, nullptr);
    struct Case {
        const char* name;
        const SelfSignedCertificate& identity;
        TupInternetOptions options;
        bool done;
    };
    const Case cases[] = {
        {"trusted", g_identities->trusted, {}, true},
        {"another host's", g_identities->otherHost, {}, false},
        {"another host's, names not checked", g_identities->otherHost, {ioIgnoreCertificateInvalid}, true},
        {"another host's, authority not checked",
         g_identities->otherHost,
         {ioIgnoreUnknownCertificateAuthority},
         false},
        {"unknown authority", g_identities->unknown, {}, false},
        {"unknown authority, names not checked", g_identities->unknown, {ioIgnoreCertificateInvalid}, false},
        {"unknown authority, authority not checked",
         g_identities->unknown,
         {ioIgnoreUnknownCertificateAuthority},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server(c.identity);
        server.addStandardEndpoints().start();
        RecordingEngine e;
        e.engine->InternetOptions.insert(c.options.begin(), c.options.end());
        ASSERT_TRUE(e.fetch(server.url("/bytes?n=2000")));
        if (c.done) {
            EXPECT_EQ(e.names(), (Names{"HeaderInfo", "Progress", "Done", "AfterTransfer"}));
            EXPECT_EQ(server.requestCount(), 1u);
        } else {
            EXPECT_EQ(e.names(), (Names{"HostUnreachable", "AfterTransfer"}));
            EXPECT_EQ(server.requestCount(), 0u) << "a request reached a server that was not verified";
        }
    }
}

}  // namespace
}  // namespace korvex::test
