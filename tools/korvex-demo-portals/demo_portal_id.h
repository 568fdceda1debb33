#pragma once
// The substitute portals that korvex-demo-portals serves on 127.0.0.1: one per operator portal the
// program talks to, plus the publisher site. Each has a fixed demo port (the "demo" build preset
// points the program at these) and a scheme of its own.
#include <array>
#include <optional>
#include <string_view>

namespace korvex {

enum class PortalId {
    SpectrumSat,
    Raduga,
    SpaceGate75,
    SpaceGate39,
    SpaceGate95,
    SpaceGate15_21,  // serves both the SpaceGate 15 and the SpaceGate 21 accounts
    PlanetSky,
    Globax,
    SatGate,
    SkyFi,
    Stv,  // serves both gates, /insat/ and /insat2/
    Publisher,
};

inline constexpr std::array<PortalId, 12> kAllPortals = {
    PortalId::SpectrumSat, PortalId::Raduga,         PortalId::SpaceGate75, PortalId::SpaceGate39,
    PortalId::SpaceGate95, PortalId::SpaceGate15_21, PortalId::PlanetSky,   PortalId::Globax,
    PortalId::SatGate,     PortalId::SkyFi,          PortalId::Stv,         PortalId::Publisher,
};

// Short lower-case name, as printed at start and in the request log: "spectrumsat", "spacegate15_21"...
std::string_view portalName(PortalId id);
std::optional<PortalId> portalFromName(std::string_view name);

// The port of the demo set-up (18441 for SpectrumSat ... 18080 for the publisher).
int fixedPort(PortalId id);

bool isHttps(PortalId id);

// PlanetSky and STV write their pages in UTF-8; every other portal in cp1251.
bool speaksUtf8(PortalId id);

// The portal whose balance page an account with this plan code is read from (exact, case-sensitive
// code as typed in the account table); nullopt for a code no portal knows.
std::optional<PortalId> portalForPlanCode(std::string_view planCode);

}  // namespace korvex
