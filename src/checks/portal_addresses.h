#pragma once
// Base addresses (scheme and host, optional port, no trailing slash) of the operators' portals and of
// the publisher site. The build fixes them (KORVEX_URL_* cache variables); Portals.ini may move them
// (portals_ini.h), and tests and the demo hand in their own.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

struct AccountBook;
class ProfileEdits;

struct PortalAddresses {
    std::string spectrumSat;     // HTTPS
    std::string raduga;          // HTTPS
    std::string spaceGate75;     // HTTPS
    std::string spaceGate39;     // HTTPS
    std::string spaceGate95;     // HTTPS
    std::string spaceGate15_21;  // HTTPS, shared by SpaceGate 15 and SpaceGate 21
    std::string planetSky;       // plain HTTP
    std::string globax;          // plain HTTP
    std::string satGate;         // HTTPS, a numeric address
    std::string skyFi;           // HTTPS
    std::string stv;             // HTTPS, both STV services
    std::string publisher;       // plain HTTP
    std::string updateInfo;      // the update info file's server; the file is "/inf" there
    // What Portals.ini changed in the profiles (paths, patterns); null: the built-in profiles.
    std::shared_ptr<const ProfileEdits> edits = nullptr;

    // The addresses this build was configured with.
    static PortalAddresses fromBuild();

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
