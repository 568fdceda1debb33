#include "commands/personal_page.h"

#include <gtest/gtest.h>

#include "tests/support/recording_url_opener.h"

namespace korvex {
namespace {

TEST(PersonalPage, EachPlanCodeOpensItsPortalPageOrNothing) {
    PortalAddresses a;
    a.spectrumSat = "https://sps.test";
    a.raduga = "https://raduga.test";
    a.spaceGate75 = "https://sg75.test";
    a.spaceGate39 = "https://sg39.test";
    a.spaceGate95 = "https://sg95.test";
    a.spaceGate15_21 = "https://sg15-21.test";
    a.planetSky = "http://ps.test";
    a.globax = "http://gl.test";
    a.satGate = "https://192.0.2.7";
    a.skyFi = "https://skyfi.test";
    a.stv = "https://stv.test";
    const std::string satGate = "https://192.0.2.7/index.php?logout=1&locale=en_US";
    const std::pair<const char*, std::string> cases[] = {
        {"39", "https://sps.test/"},
        {"SPS", "https://sps.test/"},
        {"42", satGate},
        {"SG", satGate},
        {"53", "http://ps.test/"},
        {"PS", "http://ps.test/"},
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
        {"GL", "http://gl.test/index.php?action=go"},
        {"75R", "https://raduga.test/"},
        // Raduga is checked under "R" but has its page under "75R" only; SatGate's other codes, SKY-FI,
        // STV and near misses open nothing ("" below).
        {"R", ""},
        {"31", ""},
        {"5", ""},
        {"SF", ""},
        {"STV", ""},
        {"602", ""},
        {"42 ", ""},
        {"sps", ""},
        {"", ""},
    };
    for (const auto& [code, url] : cases) {
        SCOPED_TRACE(std::string("\"") + code + "\"");
        test::RecordingUrlOpener opener;
        EXPECT_EQ(openPersonalPage(code, a, opener), !url.empty());
        EXPECT_EQ(opener.opened, url.empty() ? std::vector<std::string>{} : std::vector<std::string>{url});
    }
}

}  // namespace
}  // namespace korvex
