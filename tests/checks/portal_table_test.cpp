#include "checks/portal_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "checks/portal_addresses.h"
#include "checks/profile_edits.h"
#include "checks/provider_profiles.h"
#include "net/url_origin.h"

namespace korvex {
namespace {

// A row left half filled, two rows for one setting or one member, or an id out of step with its row
// would send one portal's accounts to another's address.
TEST(PortalTable, EveryRowIsCompleteAndItsOwn) {
    std::set<std::string_view> settings;
    std::vector<std::string PortalAddresses::*> members;
    for (std::size_t i = 0; i < kPortalCount; ++i) {
        const PortalRow& row = kPortalTable[i];
        SCOPED_TRACE(std::string(row.title));
        EXPECT_EQ(static_cast<std::size_t>(row.id), i) << "the id is not its row's";
        EXPECT_FALSE(row.title.empty());
        EXPECT_TRUE(settings.insert(row.setting).second) << row.setting << " twice";
        const auto member = PortalAddresses::member(row.id);
        EXPECT_EQ(std::count(members.begin(), members.end(), member), 0) << "a member for two portals";
        members.push_back(member);
        EXPECT_EQ(PortalAddresses::portalOfMember(PortalAddresses::member(row.id)), row.id);
        EXPECT_TRUE(parseUrlOrigin(row.defaultAddress)) << row.defaultAddress;
        EXPECT_TRUE(isPlaceholderAddress(row.defaultAddress))
            << "an unconfigured build would ask a real host";
        EXPECT_GT(row.demoPort, 1023);
        EXPECT_LT(row.demoPort, 65536);
        // One demo server speaks one scheme.
        EXPECT_EQ(portalRow(demoServer(row.id)).defaultAddress.substr(0, 5), row.defaultAddress.substr(0, 5));
    }
}

// The build's header gives each member the address configured for its own setting: a member filled
// from another row's setting (the positional list this replaced) fails here, since every operator's
// default address differs from every other's.
TEST(PortalTable, TheBuildFillsEachPortalFromItsOwnSetting) {
    const PortalAddresses built = PortalAddresses::fromBuild();
    for (const PortalRow& row : kPortalTable) EXPECT_EQ(built[row.id], row.defaultAddress) << row.title;
    std::set<std::string_view> operatorDefaults;
    for (const ProviderProfile* profile : allProfiles())
        operatorDefaults.insert(
            portalRow(PortalAddresses::portalOfMember(profile->baseAddress)).defaultAddress);
    std::set<PortalId> operatorPortals;
    for (const ProviderProfile* profile : allProfiles())
        operatorPortals.insert(PortalAddresses::portalOfMember(profile->baseAddress));
    EXPECT_EQ(operatorDefaults.size(), operatorPortals.size()) << "two operators' portals share a default";
}

}  // namespace
}  // namespace korvex
