#include "korvex-demo-portals/demo_portal_id.h"

#include <utility>

#include "checks/plan_codes.h"

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

// The portal that serves each service; the plan codes of the services are the program's own table.
constexpr std::pair<PlanService, PortalId> kServicePortals[] = {
    {PlanService::SpectrumSat, PortalId::SpectrumSat}, {PlanService::Raduga, PortalId::Raduga},
    {PlanService::SpaceGate75, PortalId::SpaceGate75}, {PlanService::SpaceGate39, PortalId::SpaceGate39},
    {PlanService::SpaceGate95, PortalId::SpaceGate95}, {PlanService::SpaceGate15, PortalId::SpaceGate15_21},
    {PlanService::SpaceGate21, PortalId::SpaceGate15_21}, {PlanService::PlanetSky, PortalId::PlanetSky},
    {PlanService::Globax, PortalId::Globax},           {PlanService::SatGate, PortalId::SatGate},
    {PlanService::SkyFi, PortalId::SkyFi},             {PlanService::Stv, PortalId::Stv},
    {PlanService::Stv2, PortalId::Stv},
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
    const PlanCode* code = findPlanCode(planCode);
    if (!code || !code->checked) return std::nullopt;  // a code that checks nothing has no accounts here
    for (const auto& [service, id] : kServicePortals)
        if (service == code->service) return id;
    return std::nullopt;
}

}  // namespace korvex
