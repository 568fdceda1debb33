#include "demo_portal_id.h"

#include <utility>

namespace korvex {

namespace {

struct PortalFacts {
    PortalId id;
    std::string_view name;
    int port;
    bool https;
    bool utf8;
};

constexpr std::array<PortalFacts, 12> kFacts = {{
    {PortalId::SpectrumSat, "spectrumsat", 18441, true, false},
    {PortalId::Raduga, "raduga", 18442, true, false},
    {PortalId::SpaceGate75, "spacegate75", 18443, true, false},
    {PortalId::SpaceGate39, "spacegate39", 18444, true, false},
    {PortalId::SpaceGate95, "spacegate95", 18445, true, false},
    {PortalId::SpaceGate15_21, "spacegate15_21", 18446, true, false},
    {PortalId::PlanetSky, "planetsky", 18081, false, true},
    {PortalId::Globax, "globax", 18082, false, false},
    {PortalId::SatGate, "satgate", 18447, true, false},
    {PortalId::SkyFi, "skyfi", 18448, true, false},
    {PortalId::Stv, "stv", 18449, true, true},
    {PortalId::Publisher, "publisher", 18080, false, false},
}};

const PortalFacts& facts(PortalId id) {
    return kFacts[static_cast<size_t>(id)];
}

constexpr std::pair<std::string_view, PortalId> kPlanCodes[] = {
    {"39", PortalId::SpectrumSat},
    {"SPS", PortalId::SpectrumSat},
    {"R", PortalId::Raduga},
    {"75", PortalId::SpaceGate75},
    {"SG75", PortalId::SpaceGate75},
    {"39S", PortalId::SpaceGate39},
    {"SG39", PortalId::SpaceGate39},
    {"95S", PortalId::SpaceGate95},
    {"SG95", PortalId::SpaceGate95},
    {"15", PortalId::SpaceGate15_21},
    {"SG15", PortalId::SpaceGate15_21},
    {"21", PortalId::SpaceGate15_21},
    {"SG21", PortalId::SpaceGate15_21},
    {"53", PortalId::PlanetSky},
    {"PS", PortalId::PlanetSky},
    {"GL", PortalId::Globax},
    {"42", PortalId::SatGate},
    {"SG", PortalId::SatGate},
    {"31", PortalId::SatGate},
    {"5", PortalId::SatGate},
    {"SF", PortalId::SkyFi},
    {"SKYFI", PortalId::SkyFi},
    {"60", PortalId::Stv},
    {"STV", PortalId::Stv},
    {"602", PortalId::Stv},
    {"STV2", PortalId::Stv},
};

}  // namespace

std::string_view portalName(PortalId id) {
    return facts(id).name;
}

std::optional<PortalId> portalFromName(std::string_view name) {
    for (const auto& f : kFacts)
        if (f.name == name) return f.id;
    return std::nullopt;
}

int fixedPort(PortalId id) {
    return facts(id).port;
}
bool isHttps(PortalId id) {
    return facts(id).https;
}
bool speaksUtf8(PortalId id) {
    return facts(id).utf8;
}

std::optional<PortalId> portalForPlanCode(std::string_view planCode) {
    for (const auto& [code, id] : kPlanCodes)
        if (code == planCode) return id;
    return std::nullopt;
}

}  // namespace korvex
