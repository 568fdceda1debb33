#pragma once
// Base addresses (scheme and host, optional port, no trailing slash) of the operators' portals and of
// the publisher site, one per row of the portal table. The build fixes them (KORVEX_URL_* cache
// variables); Portals.ini may move them (portals_ini.h), and tests and the demo hand in their own.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "checks/portal_table.h"

namespace korvex {

struct AccountBook;
class ProfileEdits;

struct PortalAddresses {
    // One member per row of the portal table (portal_table.h), named in its member column.
#define KORVEX_PORTAL_MEMBER(id, member, setting, title, address, port) std::string member;
    KORVEX_PORTALS(KORVEX_PORTAL_MEMBER)
#undef KORVEX_PORTAL_MEMBER
    // What Portals.ini changed in the profiles (paths, patterns); null: the built-in profiles.
    std::shared_ptr<const ProfileEdits> edits = nullptr;

    // The addresses this build was configured with.
    static PortalAddresses fromBuild();
    // The member that holds the address of `id`.
    static std::string PortalAddresses::*member(PortalId id);
    // The portal whose address `member` holds.
    static PortalId portalOfMember(std::string PortalAddresses::*member);

    std::string& operator[](PortalId id) { return this->*member(id); }
    const std::string& operator[](PortalId id) const { return this->*member(id); }

    bool operator==(const PortalAddresses&) const = default;
};

// A build made without the operators' real addresses has hosts under ".invalid", a name that never
// resolves: such a portal is not asked at all, and its rows say where its address goes instead.
bool isPlaceholderAddress(std::string_view address);

// The profiles (by name, in the order of allProfiles) that rows first..last of `book` use (every row
// when `last` is below 0) and whose address in `addresses` is such a placeholder.
std::vector<std::string> portalsWithoutAddress(const AccountBook& book, const PortalAddresses& addresses,
                                               int first = 0, int last = -1);

// The portal of a base address: "scheme://host:port" as parseUrlOrigin reads it (net/url_origin.h),
// scheme and host in small letters, the scheme's port written out when the address has none,
// anything after the port left off. An address that does not parse is a portal of its own: its
// text in small letters.
std::string portalOf(std::string_view baseAddress);

}  // namespace korvex
