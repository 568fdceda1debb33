#pragma once
// Substitute portals running in the test process, and their addresses for the program's core.
#include "checks/portal_addresses.h"
#include "korvex-demo-portals/demo_portals.h"

namespace korvex::test {

// The substitute portals with their stock accounts, started on first use and stopped when the test
// program ends; a suite resets what its tests change (stalls, page switches) itself.
inline DemoPortals& stockDemoPortals() {
    static DemoPortals portals;
    return portals;
}

inline PortalAddresses demoPortalAddresses(const DemoPortals& portals) {
    const auto url = [&](PortalId id) { return portals.baseUrl(id); };
    using P = PortalId;
    return {url(P::SpectrumSat), url(P::Raduga),    url(P::SpaceGate75),    url(P::SpaceGate39), url(P::SpaceGate95),
            url(P::SpaceGate15_21), url(P::PlanetSky), url(P::Globax), url(P::SatGate), url(P::SkyFi), url(P::Stv),
            url(P::Publisher), url(P::Publisher)};
}

}  // namespace korvex::test
