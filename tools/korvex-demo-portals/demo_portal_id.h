#pragma once
// The substitute portals that korvex-demo-portals serves on 127.0.0.1: one per server of the program's
// portal table (checks/portal_table.h), each on the row's demo port (the "demo" build preset points
// the program at these) with the scheme of the row's address.
#include <optional>
#include <string_view>

#include "checks/portal_table.h"

namespace korvex {

// Every portal served, in table order.
inline constexpr auto& kAllPortals = kDemoServers;

// Short lower-case name, as printed at start and in the request log: "spectrumsat", "spacegate15_21"...
std::string_view portalName(PortalId id);
std::optional<PortalId> portalFromName(std::string_view name);

// The port of the demo set-up (18441 for SpectrumSat ... 18080 for the publisher).
int fixedPort(PortalId id);

bool isHttps(PortalId id);

// PlanetSky and STV write their pages in UTF-8 (their profiles convert); every other portal in cp1251.
bool speaksUtf8(PortalId id);

// The portal whose balance page an account with this plan code is read from (exact, case-sensitive
// code as typed in the account table); nullopt for a code no portal knows.
std::optional<PortalId> portalForPlanCode(std::string_view planCode);

}  // namespace korvex
