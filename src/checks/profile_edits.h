#pragma once
// What Portals.ini changed in the provider profiles: per profile, the request path, the logout path
// and the patterns of its pattern steps, each with the file it came from. The built-in profiles stay
// as they are; an edited profile is a copy of its built-in one with the changed values in place, so
// the one check procedure runs either without knowing the difference. Base addresses are not here:
// Portals.ini writes them into PortalAddresses, where every user of an address reads them.
//
// Made once at start by loadPortalsIni (portals_ini.h) and read-only afterwards, so any thread may
// read it; PortalAddresses shares it.
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "checks/portal_addresses.h"
#include "checks/provider_profiles.h"

namespace korvex {

// The Portals.ini key of a pattern step: its balance column's step key ("Balance", "Speed", "Status").
std::string_view patternStepKey(const CheckStep& step);

// Every built-in profile, in the order of a refresh run (kDispatchTable).
std::vector<const ProviderProfile*> allProfiles();
// The built-in profile named `name`, compared without regard to ASCII case; nullptr when none is.
const ProviderProfile* profileNamed(std::string_view name);

class ProfileEdits {
public:
    // One profile's changes. Values are as the profile holds them: paths ASCII, patterns cp1251.
    struct Change {
        std::string path;                             // "" when not changed
        std::string logoutPath;                       // "" when not changed
        std::map<std::size_t, std::string> patterns;  // by index into the profile's steps
        std::map<std::string, std::string> origins;   // key as written in the template -> the file
    };

    ProfileEdits() = default;
    ProfileEdits(const ProfileEdits&) = delete;
    ProfileEdits& operator=(const ProfileEdits&) = delete;

    // Puts `change` over what an earlier file set for the same profile (key by key).
    void apply(const ProviderProfile& builtIn, const Change& change);
    // Where an address came from, by the PortalAddresses member it sets ("" when from the build).
    void setAddressOrigin(std::string PortalAddresses::*member, std::string file);
    std::string addressOrigin(std::string PortalAddresses::*member) const;

    // Makes the edited profiles; call once, after the last apply(). Until then edited() answers the
    // built-in profiles.
    void finish();

    // The profile to run for `builtIn`: its edited copy, or `builtIn` itself when nothing changed it.
    const ProviderProfile& edited(const ProviderProfile& builtIn) const;
    // What Portals.ini set for `builtIn`, key by key, and from which file (empty when nothing).
    const std::map<std::string, std::string>& origins(const ProviderProfile& builtIn) const;
    bool empty() const { return m_changes.empty() && m_addressOrigins.empty(); }

private:
    // An edited copy owns the texts its views point into; it never moves once made.
    struct Edited {
        ProviderProfile profile;
        std::string path;
        std::string logoutPath;
        std::vector<std::string> patterns;  // one per step, "" where the step has none
        std::vector<CheckStep> steps;
    };

    std::map<const ProviderProfile*, Change> m_changes;
    std::map<const ProviderProfile*, std::unique_ptr<Edited>> m_edited;
    std::vector<std::pair<std::string PortalAddresses::*, std::string>> m_addressOrigins;
};

// The profile that checks run for `builtIn` with these addresses: the Portals.ini copy when there is one.
const ProviderProfile& effectiveProfile(const PortalAddresses& addresses, const ProviderProfile& builtIn);

}  // namespace korvex
