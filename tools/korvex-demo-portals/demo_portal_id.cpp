#include "korvex-demo-portals/demo_portal_id.h"

#include <algorithm>
#include <string>

#include "checks/profile_edits.h"
#include "checks/provider_profiles.h"

namespace korvex {

namespace {

// The demo's names: the build settings in lower case, made once.
const std::array<std::string, kPortalCount>& demoNames() {
    static const auto names = [] {
        std::array<std::string, kPortalCount> lower;
        for (const PortalRow& row : kPortalTable) {
            std::string& name = lower[static_cast<std::size_t>(row.id)];
            name = row.setting;
            std::ranges::transform(name, name.begin(), [](char c) {
                return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            });
        }
        return lower;
    }();
    return names;
}

}  // namespace

std::string_view portalName(PortalId id) {
    return demoNames()[static_cast<std::size_t>(id)];
}

std::optional<PortalId> portalFromName(std::string_view name) {
    for (const PortalId id : kAllPortals)
        if (portalName(id) == name) return id;
    return std::nullopt;
}

int fixedPort(PortalId id) {
    return portalRow(id).demoPort;
}

bool isHttps(PortalId id) {
    return portalRow(id).defaultAddress.starts_with("https:");
}

bool speaksUtf8(PortalId id) {
    const auto member = PortalAddresses::member(id);
    return std::ranges::any_of(allProfiles(), [&](const ProviderProfile* profile) {
        return profile->baseAddress == member && profile->conversion != TextConversion::None;
    });
}

std::optional<PortalId> portalForPlanCode(std::string_view planCode) {
    // Only a checked code has accounts here; the profile that checks it names the portal.
    const CheckRoutine* routine = routineForPlanCode(planCode);
    if (!routine) return std::nullopt;
    for (const ProviderProfile* profile : routine->profiles)
        if (planCodeSelects(*profile, planCode)) return PortalAddresses::portalOfMember(profile->baseAddress);
    return std::nullopt;
}

}  // namespace korvex
