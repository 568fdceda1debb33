#include "commands/personal_page.h"

#include <array>

#include "checks/plan_codes.h"

namespace korvex {

namespace {

struct PersonalPage {
    PlanService service;  // opened by the service's codes marked for a personal page
    std::string PortalAddresses::*base;
    std::string_view path;
};

constexpr std::array<PersonalPage, 10> kPersonalPages = {{
    {PlanService::SpectrumSat, &PortalAddresses::spectrumSat, "/"},
    {PlanService::SatGate, &PortalAddresses::satGate, "/index.php?logout=1&locale=en_US"},
    {PlanService::PlanetSky, &PortalAddresses::planetSky, "/"},
    {PlanService::SpaceGate95, &PortalAddresses::spaceGate95, "/stats/"},
    {PlanService::SpaceGate21, &PortalAddresses::spaceGate15_21, "/stats/"},
    {PlanService::SpaceGate15, &PortalAddresses::spaceGate15_21, "/stats/"},
    {PlanService::SpaceGate75, &PortalAddresses::spaceGate75, "/stats/"},
    {PlanService::SpaceGate39, &PortalAddresses::spaceGate39, "/stats/"},
    {PlanService::Globax, &PortalAddresses::globax, "/index.php?action=go"},
    {PlanService::Raduga, &PortalAddresses::raduga, "/"},
}};

}  // namespace

std::optional<std::string> personalPageUrl(std::string_view planCode, const PortalAddresses& addresses) {
    const PlanCode* code = findPlanCode(planCode);
    if (!code || !code->personalPage) return std::nullopt;
    for (const PersonalPage& page : kPersonalPages) {
        if (page.service == code->service) return addresses.*page.base + std::string(page.path);
    }
    return std::nullopt;
}

bool openPersonalPage(std::string_view planCode, const PortalAddresses& addresses, UrlOpener& opener) {
    const std::optional<std::string> url = personalPageUrl(planCode, addresses);
    if (!url) return false;
    opener.open(*url);
    return true;
}

}  // namespace korvex
