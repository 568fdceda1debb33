// Writing a portal's address into the user's Portals.ini: only its Address line changes, and an
// address the start would not use leaves the file as it was.
#include "checks/portals_ini_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "checks/portals_ini.h"
#include "checks/profile_edits.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

const char* const kUserFile =
    "; my portals\r\n"
    "[Raduga]\r\n"
    "Balance = \"Deposit: (.*?),\"   ; kept\r\n"
    "\r\n"
    "[spectrumsat]\r\n"
    "# Address = https://old.example\r\n"
    "Path = \"/\"\r\n"
    "  address =  https://first.example  \r\n"
    "[SpectrumSat]\r\n"
    "Address = https://second.example\r\n";

TEST(PortalsIniWriter, OnlyTheAddressLineOfItsSectionChanges) {
    const struct {
        const char* section;
        std::optional<std::string> address;
        std::string expected;
    } cases[] = {
        // The first section of that name, its key line; comments, CRLF, the other section kept.
        {"SpectrumSat", "https://new.example:8443",
         "; my portals\r\n[Raduga]\r\nBalance = \"Deposit: (.*?),\"   ; kept\r\n\r\n[spectrumsat]\r\n"
         "# Address = https://old.example\r\nPath = \"/\"\r\nAddress = https://new.example:8443\r\n"
         "[SpectrumSat]\r\nAddress = https://second.example\r\n"},
        {"SpectrumSat", std::nullopt,
         "; my portals\r\n[Raduga]\r\nBalance = \"Deposit: (.*?),\"   ; kept\r\n\r\n[spectrumsat]\r\n"
         "# Address = https://old.example\r\nPath = \"/\"\r\n[SpectrumSat]\r\nAddress = https://second.example\r\n"},
        // A section without the key gets it under its heading; a missing one goes at the end.
        {"Raduga", "https://r.example",
         "; my portals\r\n[Raduga]\r\nAddress = https://r.example\r\nBalance = \"Deposit: (.*?),\"   ; kept\r\n"
         "\r\n[spectrumsat]\r\n# Address = https://old.example\r\nPath = \"/\"\r\n"
         "  address =  https://first.example  \r\n[SpectrumSat]\r\nAddress = https://second.example\r\n"},
        {"Globax", "http://g.example",
         std::string(kUserFile) + "\r\n[Globax]\r\nAddress = http://g.example\r\n"},
        {"Globax", std::nullopt, kUserFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + " " + c.address.value_or("(unset)"));
        EXPECT_EQ(withPortalAddress(kUserFile, c.section, c.address), c.expected);
    }
    EXPECT_EQ(withPortalAddress("", "SkyFi", "https://s.example"), "[SkyFi]\nAddress = https://s.example\n");
    EXPECT_EQ(withPortalAddress("[SkyFi]", "SkyFi", "https://s.example"), "[SkyFi]\nAddress = https://s.example\n");
    EXPECT_EQ(withPortalAddress("[STV]\nx = 1", "STV", std::nullopt), "[STV]\nx = 1");
}

TEST(PortalsIniWriter, WritesWhatTheStartUsesAndRefusesTheRest) {
    test::TempDir dir;
    const std::string settings = dir.file("Settings.ini");
    const std::string user =
        "; mine\n[SpaceGate 21]\nAddress = https://sg.example\n\n[Publisher]\n; its site\n";
    const std::string file = dir.write("Portals.ini", user);

    const std::pair<const char*, const char*> refused[] = {
        {"SpectrumSat", "ftp://spectrum.example"},
        {"SpectrumSat", "https://spectrum.example/login"},
        {"SpectrumSat", "https://spectrum.example\n[Raduga]\nAddress = https://evil.example"},
        {"SpaceGate 15", "https://other.example"},  // shares its portal with SpaceGate 21
        {"Nobody", "https://spectrum.example"},
    };
    for (const auto& [name, address] : refused) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(writePortalAddress(settings, name, std::string(address)));
        EXPECT_EQ(test::readFile(file), user);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary file left";

    const Expected<PortalAddressWrite> written = writePortalAddress(settings, "SpaceGate 15", "https://sg.example");
    ASSERT_TRUE(written) << written.error().message;
    EXPECT_FALSE(written->changed) << "SpaceGate 21 says so already";
    ASSERT_TRUE(writePortalAddress(settings, "spectrumsat", "https://spectrum.example:8443"));
    const PortalsSetup setup = loadPortals(settings);
    EXPECT_TRUE(setup.problems.empty());
    EXPECT_EQ(setup.addresses.spectrumSat, "https://spectrum.example:8443");
    EXPECT_EQ(setup.addresses.edits->addressOrigin(&PortalAddresses::spectrumSat), file);
    EXPECT_EQ(test::readFile(file), user + "\n[SpectrumSat]\nAddress = https://spectrum.example:8443\n");
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

// The update server moves only in a build that checks the update's signature; the template offers
// the key exactly there.
TEST(PortalsIniWriter, TheUpdateServerMovesOnlyInASignedBuild) {
    test::TempDir dir;
    const std::string file =
        dir.write("Portals.ini", "[Publisher]\nAddress = http://pub.example\nUpdateAddress = https://up.example\n");
    const PortalsSetup setup = applyPortalsIni(PortalAddresses::fromBuild(), {file});
    const bool signedBuild = portalsIniTemplate(setup.addresses).find(";UpdateAddress = ") != std::string::npos;
    EXPECT_EQ(setup.addresses.updateInfo == "https://up.example", signedBuild);
    EXPECT_EQ(setup.problems.empty(), signedBuild);
    if (!signedBuild) {
        ASSERT_EQ(setup.problems.size(), 1u);
        EXPECT_NE(setup.problems[0].find("takes update information unsigned"), std::string::npos) << setup.problems[0];
        EXPECT_EQ(setup.addresses.publisher, PortalAddresses::fromBuild().publisher) << "the section is not used";
    }
}

}  // namespace
}  // namespace korvex
