// The portals dialog's lines: where each address comes from, the rows that use it, its pin and its
// rows' last outcomes.
#include "checks/portal_lines.h"

#include <gtest/gtest.h>

#include <tuple>

#include "checks/portals_ini.h"
#include "checks/profile_edits.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

const PortalLine& lineOf(const std::vector<PortalLine>& lines, const ProviderProfile& profile) {
    for (const PortalLine& line : lines)
        if (line.profile == &profile) return line;
    throw std::runtime_error("no line for " + std::string(profile.name));
}

TEST(PortalLines, SayWhereEachAddressComesFromAndWhatUsesIt) {
    const test::TempDir dir;
    const std::string system = dir.write("system.ini", "[Raduga]\nAddress = https://raduga.example\n");
    const std::string user = dir.write("Portals.ini",
                                       "; mine\n[SpectrumSat]\nAddress = https://spectrum.example:8443\n"
                                       "[SpaceGate 21]\nAddress = https://sg.example\n");
    PortalAddresses builtIn = PortalAddresses::fromBuild();
    builtIn.globax = "http://globax.example";
    builtIn.stv = "https://stv.invalid";
    const PortalAddresses addresses = applyPortalsIni(builtIn, {system, user}).addresses;
    const PortalPins pins(dir.write("Portals.pins", "https://spectrum.example:8443 sha256//RE2yVqhiTWt07+9yWapqk+I5kZsDNaeiLMaDt88bp/c=\n"));

    AccountBook book;
    book.setCount(4);
    const std::string spectrum(kSpectrumSatProfile.planCodes[0]);
    for (const auto& [row, code] : {std::pair{0, spectrum}, {1, std::string(kGlobaxProfile.planCodes[0])},
                                    {2, spectrum}, {3, std::string("nonsense")}})
        book.client.setCell(kPlanCode, row, code);
    std::vector<RowCheck> lastRun;
    for (const auto& [row, outcome, profile] : {std::tuple{0, CheckOutcome::PageRead, "SpectrumSat"},
                                                {1, CheckOutcome::TransferFailed, "Globax"},
                                                {2, CheckOutcome::TransferFailed, "SpectrumSat"}}) {
        lastRun.emplace_back();
        lastRun.back().row = row, lastRun.back().outcome = outcome, lastRun.back().profile = profile;
    }

    const std::vector<PortalLine> lines = portalLines(book, addresses, user, pins, lastRun);
    ASSERT_EQ(lines.size(), allProfiles().size());
    const PortalLine& spectrumSat = lineOf(lines, kSpectrumSatProfile);
    EXPECT_EQ(spectrumSat.address, "https://spectrum.example:8443");
    EXPECT_EQ(spectrumSat.source, AddressSource::UserFile);
    EXPECT_EQ(spectrumSat.rows, 2);
    EXPECT_EQ(shortPin(spectrumSat.pin), "RE2yVqhiTWt0");
    EXPECT_EQ(spectrumSat.lastRun, (std::map<CheckOutcome, int>{{CheckOutcome::PageRead, 1},
                                                                 {CheckOutcome::TransferFailed, 1}}));
    EXPECT_EQ(lineOf(lines, kRadugaProfile).source, AddressSource::SystemFile);
    EXPECT_EQ(lineOf(lines, kRadugaProfile).sourceFile, system);
    // A portal of two profiles: the address set in one section moves the other's line too.
    EXPECT_EQ(lineOf(lines, kSpaceGate15Profile).source, AddressSource::UserFile);
    EXPECT_EQ(lineOf(lines, kSpaceGate15Profile).address, "https://sg.example");
    const PortalLine& globax = lineOf(lines, kGlobaxProfile);
    EXPECT_EQ(globax.source, AddressSource::BuiltIn);
    EXPECT_EQ(globax.rows, 1);
    EXPECT_EQ(globax.pin, "");
    EXPECT_EQ(globax.lastRun, (std::map<CheckOutcome, int>{{CheckOutcome::TransferFailed, 1}}));
    EXPECT_TRUE(lineOf(lines, kStvProfile).placeholder);
}

}  // namespace
}  // namespace korvex
