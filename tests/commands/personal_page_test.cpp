#include "personal_page.h"

#include <gtest/gtest.h>

#include "recording_url_opener.h"

namespace korvex {
namespace {

PortalAddresses distinctAddresses() {
    PortalAddresses a;
    a.spectrumSat = "https://spectrumsat.test";
    a.raduga = "https://raduga.test";
    a.spaceGate75 = "https://sg75.test";
    a.spaceGate39 = "https://sg39.test";
    a.spaceGate95 = "https://sg95.test";
    a.spaceGate15_21 = "https://sg15-21.test";
    a.planetSky = "http://planetsky.test";
    a.globax = "http://globax.test";
    a.satGate = "https://192.0.2.7";
    a.skyFi = "https://skyfi.test";
    a.stv = "https://stv.test";
    a.publisher = "http://publisher.test";
    return a;
}

TEST(PersonalPage, EachPlanCodeOpensItsPortalPageOrNothing) {
    const struct {
        const char* planCode;
        const char* url;  // nullptr: nothing opens
    } cases[] = {
        {"39", "https://spectrumsat.test/"},
        {"SPS", "https://spectrumsat.test/"},
        {"42", "https://192.0.2.7/index.php?logout=1&locale=en_US"},
        {"SG", "https://192.0.2.7/index.php?logout=1&locale=en_US"},
        {"53", "http://planetsky.test/"},
        {"PS", "http://planetsky.test/"},
        {"95S", "https://sg95.test/stats/"},
        {"SG95", "https://sg95.test/stats/"},
        {"21", "https://sg15-21.test/stats/"},
        {"SG21", "https://sg15-21.test/stats/"},
        {"15", "https://sg15-21.test/stats/"},
        {"SG15", "https://sg15-21.test/stats/"},
        {"75", "https://sg75.test/stats/"},
        {"SG75", "https://sg75.test/stats/"},
        {"39S", "https://sg39.test/stats/"},
        {"SG39", "https://sg39.test/stats/"},
        {"GL", "http://globax.test/index.php?action=go"},
        {"75R", "https://raduga.test/"},
        // Raduga is checked under "R" but has its page only under "75R"; SatGate's other codes, SKY-FI,
        // STV and near misses open nothing.
        {"R", nullptr},
        {"31", nullptr},
        {"5", nullptr},
        {"SF", nullptr},
        {"SKYFI", nullptr},
        {"60", nullptr},
        {"STV", nullptr},
        {"602", nullptr},
        {"42 ", nullptr},
        {" 42", nullptr},
        {"sps", nullptr},
        {"gl", nullptr},
        {"", nullptr},
    };
    const PortalAddresses addresses = distinctAddresses();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.planCode + "\"");
        test::RecordingUrlOpener opener;
        const bool opened = openPersonalPage(c.planCode, addresses, opener);
        if (c.url) {
            EXPECT_TRUE(opened);
            EXPECT_EQ(opener.opened, std::vector<std::string>{c.url});
            EXPECT_EQ(personalPageUrl(c.planCode, addresses), c.url);
        } else {
            EXPECT_FALSE(opened);
            EXPECT_TRUE(opener.opened.empty());
            EXPECT_EQ(personalPageUrl(c.planCode, addresses), std::nullopt);
        }
    }
}

}  // namespace
}  // namespace korvex
