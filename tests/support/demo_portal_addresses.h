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
    PortalAddresses addresses;
    for (const PortalRow& row : kPortalTable) addresses[row.id] = portals.baseUrl(row.id);
    return addresses;
}

}  // namespace korvex::test
