#include "personal_page.h"

#include <array>

namespace korvex {

namespace {

struct PersonalPage {
    std::array<std::string_view, 2> planCodes;
    std::string PortalAddresses::*base;
    std::string_view path;
};

// Tested in this order; no code is listed twice, so at most one page matches.
constexpr std::array<PersonalPage, 10> kPersonalPages = {{
    {{"39", "SPS"}, &PortalAddresses::spectrumSat, "/"},
    {{"42", "SG"}, &PortalAddresses::satGate, "/index.php?logout=1&locale=en_US"},
    {{"53", "PS"}, &PortalAddresses::planetSky, "/"},
    {{"95S", "SG95"}, &PortalAddresses::spaceGate95, "/stats/"},
    {{"21", "SG21"}, &PortalAddresses::spaceGate15_21, "/stats/"},
    {{"15", "SG15"}, &PortalAddresses::spaceGate15_21, "/stats/"},
    {{"75", "SG75"}, &PortalAddresses::spaceGate75, "/stats/"},
    {{"39S", "SG39"}, &PortalAddresses::spaceGate39, "/stats/"},
    {{"GL", ""}, &PortalAddresses::globax, "/index.php?action=go"},
    {{"75R", ""}, &PortalAddresses::raduga, "/"},
}};

}  // namespace

std::optional<std::string> personalPageUrl(std::string_view planCode, const PortalAddresses& addresses) {
    if (planCode.empty()) return std::nullopt;  // the blank second slots of single-code rows
    for (const PersonalPage& page : kPersonalPages) {
        for (std::string_view code : page.planCodes) {
            if (code == planCode) return addresses.*page.base + std::string(page.path);
        }
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
