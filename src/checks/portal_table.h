#pragma once
// The portals the program talks to: the operators' customer portals and the publisher's servers. This
// list is the one place that names them; the rest is made from it: the PortalAddresses members, the
// build's KORVEX_URL_* cache settings and the header that carries their values (cmake/KorvexUrls.cmake
// reads the rows below), the "demo" preset's addresses and korvex-demo-portals' servers. A new portal
// is a row here, plus its provider profile (provider_profiles.cpp) and its plan codes (plan_codes.h).
//
// Columns: the id (a PortalId), the PortalAddresses member, the build setting (KORVEX_URL_ + it; in
// lower case, the demo's name for the portal), the title (the operator's name for people), the default
// address (scheme and host under ".invalid", so an unconfigured build asks nobody) and the port
// korvex-demo-portals serves it on at 127.0.0.1. A row with the demo port of an earlier row is served
// by that row's server (the update info file lies on the publisher's site).
//
// CMake parses these rows: keep each on one line, in exactly this form.
#include <array>
#include <cstddef>
#include <string_view>

// clang-format off
#define KORVEX_PORTALS(X) \
    /* id              member            setting            title              default address                   demo port */ \
    X(SpectrumSat,     spectrumSat,      SPECTRUMSAT,       "SpectrumSat",     "https://spectrumsat.invalid",    18441) \
    X(Raduga,          raduga,           RADUGA,            "Raduga",          "https://raduga.invalid",         18442) \
    X(SpaceGate75,     spaceGate75,      SPACEGATE75,       "SpaceGate 75",    "https://spacegate75.invalid",    18443) \
    X(SpaceGate39,     spaceGate39,      SPACEGATE39,       "SpaceGate 39",    "https://spacegate39.invalid",    18444) \
    X(SpaceGate95,     spaceGate95,      SPACEGATE95,       "SpaceGate 95",    "https://spacegate95.invalid",    18445) \
    X(SpaceGate15_21,  spaceGate15_21,   SPACEGATE15_21,    "SpaceGate 15/21", "https://spacegate15-21.invalid", 18446) \
    X(PlanetSky,       planetSky,        PLANETSKY,         "PlanetSky",       "http://planetsky.invalid",       18081) \
    X(Globax,          globax,           GLOBAX,            "Globax",          "http://globax.invalid",          18082) \
    X(SatGate,         satGate,          SATGATE,           "SatGate",         "https://satgate.invalid",        18447) \
    X(SkyFi,           skyFi,            SKYFI,             "SKY-FI",          "https://skyfi.invalid",          18448) \
    X(Stv,             stv,              STV,               "STV",             "https://stv.invalid",            18449) \
    X(Publisher,       publisher,        PUBLISHER,         "Korvex",          "http://korvex.invalid",          18080) \
    X(UpdateInfo,      updateInfo,       UPDATE_INFO,       "Korvex updates",  "http://korvex.invalid",          18080)
// clang-format on
//
// SpaceGate 15 and 21 share one portal, as the two STV gates (/insat/ and /insat2/) do; SatGate's real
// address is numeric; the update info file is "/inf" on its server.

namespace korvex {

enum class PortalId {
#define KORVEX_PORTAL_ID(id, member, setting, title, address, port) id,
    KORVEX_PORTALS(KORVEX_PORTAL_ID)
#undef KORVEX_PORTAL_ID
};

struct PortalRow {
    PortalId id;
    std::string_view setting;  // KORVEX_URL_ + this
    std::string_view title;
    std::string_view defaultAddress;
    int demoPort;
};

inline constexpr PortalRow kPortalTable[] = {
#define KORVEX_PORTAL_ROW(id, member, setting, title, address, port) {PortalId::id, #setting, title, address, port},
    KORVEX_PORTALS(KORVEX_PORTAL_ROW)
#undef KORVEX_PORTAL_ROW
};
inline constexpr std::size_t kPortalCount = std::size(kPortalTable);

constexpr const PortalRow& portalRow(PortalId id) {
    return kPortalTable[static_cast<std::size_t>(id)];
}

// The portal whose demo server serves `id`: the first row with its demo port.
constexpr PortalId demoServer(PortalId id) {
    for (const PortalRow& row : kPortalTable)
        if (row.demoPort == portalRow(id).demoPort) return row.id;
    return id;
}

// The portals korvex-demo-portals runs a server for, in table order.
inline constexpr auto kDemoServers = [] {
    constexpr std::size_t count = [] {
        std::size_t n = 0;
        for (const PortalRow& row : kPortalTable) n += demoServer(row.id) == row.id;
        return n;
    }();
    std::array<PortalId, count> servers{};
    std::size_t i = 0;
    for (const PortalRow& row : kPortalTable)
        if (demoServer(row.id) == row.id) servers[i++] = row.id;
    return servers;
}();

}  // namespace korvex
