// "Проверить" of the portals dialog against the substitute portals: what an address answers, its key
// against the pin, what its page is to the profile, and that nothing of an account goes there.
#include "checks/portal_probe.h"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include "checks/profile_edits.h"
#include "korvex-demo-portals/demo_portals.h"
#include "net/portal_pins.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;

class PortalProbeTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s_portals = new DemoPortals; }
    static void TearDownTestSuite() { delete s_portals; }
    void SetUp() override { s_portals->clearRequests(); }

    static std::string demoPin() {
        std::ifstream pem(s_portals->certificatePath());
        return publicKeyPin(std::string(std::istreambuf_iterator<char>(pem), {}));
    }
    static PortalProbe probe(const ProviderProfile& profile, PortalId portal, const std::string& pinned = {},
                             PageProbeRequest limits = {}, const std::atomic<bool>* stop = nullptr) {
        return probePortal(profile, s_portals->baseUrl(portal), pinned, {}, stop, limits);
    }
    // A probe of the stalled Raduga that must end by its own deadline or stop: one that has not ended
    // after 30 s fails the test, and the stall is lifted so that it ends.
    static PortalProbe stalledProbe(PageProbeRequest limits, const std::atomic<bool>* stop = nullptr) {
        auto probing = std::async(std::launch::async, [&] { return probe(kRadugaProfile, PortalId::Raduga, {}, limits, stop); });
        if (probing.wait_for(30s) != std::future_status::ready) {
            ADD_FAILURE() << "the probe did not end within 30 s";
            s_portals->setStall(PortalId::Raduga, false);
        }
        return probing.get();
    }
    static DemoPortals* s_portals;
};
DemoPortals* PortalProbeTest::s_portals = nullptr;

// Each portal kind as a user would probe it, with the key held against no pin, its pin and another.
TEST_F(PortalProbeTest, SaysTheStatusTheKeyAgainstThePinAndWhatThePageIs) {
    const std::string pin = demoPin();
    ASSERT_FALSE(pin.empty());
    const std::string other = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    const struct {
        const ProviderProfile& profile;
        PortalId portal;
        std::string pinned;
        long status;
        ProbeKey key;
        ProbePage page;
    } cases[] = {
        // Basic login: the 401 asking for it is the login page.
        {kSpectrumSatProfile, PortalId::SpectrumSat, "", 401, ProbeKey::New, ProbePage::LoginPage},
        {kSpaceGate75Profile, PortalId::SpaceGate75, pin, 401, ProbeKey::Pinned, ProbePage::LoginPage},
        {kRadugaProfile, PortalId::Raduga, other, 401, ProbeKey::Other, ProbePage::LoginPage},
        // Form login: the form with the profile's own login and password fields.
        {kGlobaxProfile, PortalId::Globax, "", 200, ProbeKey::None, ProbePage::LoginPage},
        {kStvProfile, PortalId::Stv, pin, 200, ProbeKey::Pinned, ProbePage::LoginPage},
        {kSkyFiProfile, PortalId::SkyFi, "", 200, ProbeKey::New, ProbePage::LoginPage},
        // Another operator's portal is no login page of this profile.
        {kSkyFiProfile, PortalId::Globax, "", 404, ProbeKey::None, ProbePage::Unrecognised},
        {kGlobaxProfile, PortalId::SpectrumSat, "", 404, ProbeKey::New, ProbePage::Unrecognised},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.profile.name) + " at " + s_portals->baseUrl(c.portal));
        const PortalProbe found = probe(c.profile, c.portal, c.pinned);
        EXPECT_EQ(found.error, "");
        EXPECT_EQ(found.status, c.status);
        EXPECT_EQ(found.key, c.key);
        EXPECT_EQ(found.presentedPin, c.key == ProbeKey::None ? "" : pin);
        EXPECT_EQ(found.page, c.page);
    }
    // Nothing of an account went anywhere: one GET of the profile's path each, bare.
    const std::vector<RequestRecord> requests = s_portals->requests();
    ASSERT_EQ(requests.size(), std::size(cases));
    for (std::size_t i = 0; i < requests.size(); ++i) {
        SCOPED_TRACE(formatRecord(requests[i]));
        EXPECT_EQ(requests[i].method, "GET");
        EXPECT_EQ(requests[i].target, cases[i].profile.path);
        EXPECT_EQ(requests[i].credentials, "");
        EXPECT_EQ(requests[i].body, "");
        EXPECT_EQ(requests[i].cookie, "");
    }
}

// A page on which the first pattern finds its value, and one too large to read whole.
TEST_F(PortalProbeTest, ReadsThePageOnlyUpToItsBound) {
    s_portals->setFixedPage(PortalId::SpectrumSat, "<p>Deposit: 12.50, Chosen speed: 512 Kbps</p>");
    EXPECT_EQ(probe(kSpectrumSatProfile, PortalId::SpectrumSat).page, ProbePage::AccountPage);

    PageProbeRequest small;
    small.maxBytes = 4096;
    s_portals->setFixedPage(PortalId::SpectrumSat, std::string(1 << 20, 'x') + "Deposit: 1.00,");
    const PortalProbe cut = probe(kSpectrumSatProfile, PortalId::SpectrumSat, {}, small);
    s_portals->setFixedPage(PortalId::SpectrumSat, std::nullopt);
    EXPECT_EQ(cut.status, 200);
    EXPECT_TRUE(cut.cut);
    EXPECT_EQ(cut.page, ProbePage::Unrecognised);  // what lies past the bound is not read
}

// A portal that never answers ends at the deadline, or at once when stopped; a bad address asks nothing.
TEST_F(PortalProbeTest, NoAnswerEndsAtItsDeadlineOrItsStop) {
    s_portals->setStall(PortalId::Raduga, true);
    PageProbeRequest quick;
    quick.timeout = 1;
    const PortalProbe late = stalledProbe(quick);
    EXPECT_EQ(late.status, 0);
    EXPECT_NE(late.error, "");
    EXPECT_FALSE(late.stopped);

    s_portals->clearRequests();
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        EXPECT_TRUE(s_portals->waitForRequests(1, 30s)) << "the probe's request never reached the portal";
        stop = true;
    });
    PageProbeRequest slow;
    slow.timeout = 600;  // the stop, not the deadline, ends it
    const PortalProbe stopped = stalledProbe(slow, &stop);
    stopper.join();
    s_portals->setStall(PortalId::Raduga, false);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.status, 0);

    s_portals->clearRequests();
    for (const std::string bad : {"https://203.0.113.7/path", "ftp://203.0.113.7", "203.0.113.7:443"})
        EXPECT_TRUE(probePortal(kRadugaProfile, bad, {}, {}).badAddress) << bad;
    EXPECT_TRUE(s_portals->requests().empty());
}

}  // namespace
}  // namespace korvex
