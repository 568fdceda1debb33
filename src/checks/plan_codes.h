#pragma once
// The plan codes: what the user types into the account table's "Спутник" column to say which
// operator's service an account belongs to. This table is the only place that spells them out; the
// provider profiles and their dispatch, the speed table, the personal pages, the speed menu and the
// help text all read it, so a new code for an existing service is one row here.
//
// A code is compared with the whole cell, byte for byte: case and blanks count. No code is listed
// twice, so a cell selects at most one service.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvex {

// One service per portal, and one per gate where a portal has two logins (STV) or two services share
// a portal (SpaceGate 15 and 21).
enum class PlanService {
    SpectrumSat,
    Raduga,
    SpaceGate75,
    SpaceGate39,
    SpaceGate95,
    SpaceGate15,
    SpaceGate21,
    PlanetSky,
    Globax,
    SatGate,
    SkyFi,
    Stv,
    Stv2,
};

// Which items of the balance table's speed submenu a code enables (speedMenuItems says which items
// each of these is). The menu limits three codes only; every other code gets all nine.
enum class SpeedMenu { AllItems, SatGateItems, SkyFiItems, NoItems };

struct PlanCode {
    std::string_view code;
    PlanService service;
    bool checked;       // selects the service's balance check (and its speed change, where it has one)
    bool personalPage;  // opens the service's personal page
    bool named;         // named in the help text, in table order
    SpeedMenu speedMenu;
};

// clang-format off
inline constexpr PlanCode kPlanCodes[] = {
    // code     service                     checked personal named  speed menu
    {"39",      PlanService::SpectrumSat,   true,   true,    true,  SpeedMenu::AllItems},
    {"SPS",     PlanService::SpectrumSat,   true,   true,    true,  SpeedMenu::AllItems},
    {"R",       PlanService::Raduga,        true,   false,   true,  SpeedMenu::NoItems},
    {"75R",     PlanService::Raduga,        false,  true,    false, SpeedMenu::AllItems},
    {"75",      PlanService::SpaceGate75,   true,   true,    true,  SpeedMenu::AllItems},
    {"SG75",    PlanService::SpaceGate75,   true,   true,    true,  SpeedMenu::AllItems},
    {"39S",     PlanService::SpaceGate39,   true,   true,    true,  SpeedMenu::AllItems},
    {"SG39",    PlanService::SpaceGate39,   true,   true,    true,  SpeedMenu::AllItems},
    {"95S",     PlanService::SpaceGate95,   true,   true,    true,  SpeedMenu::AllItems},
    {"SG95",    PlanService::SpaceGate95,   true,   true,    true,  SpeedMenu::AllItems},
    {"15",      PlanService::SpaceGate15,   true,   true,    true,  SpeedMenu::AllItems},
    {"SG15",    PlanService::SpaceGate15,   true,   true,    true,  SpeedMenu::AllItems},
    {"21",      PlanService::SpaceGate21,   true,   true,    true,  SpeedMenu::AllItems},
    {"SG21",    PlanService::SpaceGate21,   true,   true,    true,  SpeedMenu::AllItems},
    {"53",      PlanService::PlanetSky,     true,   true,    true,  SpeedMenu::AllItems},
    {"PS",      PlanService::PlanetSky,     true,   true,    true,  SpeedMenu::AllItems},
    {"GL",      PlanService::Globax,        true,   true,    true,  SpeedMenu::AllItems},
    {"42",      PlanService::SatGate,       true,   true,    true,  SpeedMenu::AllItems},
    {"SG",      PlanService::SatGate,       true,   true,    true,  SpeedMenu::SatGateItems},
    {"31",      PlanService::SatGate,       true,   false,   false, SpeedMenu::AllItems},
    {"5",       PlanService::SatGate,       true,   false,   false, SpeedMenu::AllItems},
    {"SKYFI",   PlanService::SkyFi,         true,   false,   true,  SpeedMenu::AllItems},
    {"SF",      PlanService::SkyFi,         true,   false,   true,  SpeedMenu::SkyFiItems},
    {"60",      PlanService::Stv,           true,   false,   false, SpeedMenu::AllItems},
    {"STV",     PlanService::Stv,           true,   false,   false, SpeedMenu::AllItems},
    {"602",     PlanService::Stv2,          true,   false,   false, SpeedMenu::AllItems},
    {"STV2",    PlanService::Stv2,          true,   false,   false, SpeedMenu::AllItems},
};
// clang-format on

// The row of a code, or nullptr for a cell that holds none.
constexpr const PlanCode* findPlanCode(std::string_view code) {
    for (const PlanCode& c : kPlanCodes)
        if (c.code == code) return &c;
    return nullptr;
}

// True when `code` selects the balance check of `service`.
constexpr bool selectsCheck(std::string_view code, PlanService service) {
    const PlanCode* c = findPlanCode(code);
    return c && c->checked && c->service == service;
}

// The check codes of the given services, service by service in the order given, each service's in
// table order. A constant of static storage, so that profiles and the dispatch table can hold spans
// of it.
template <PlanService... Services>
inline constexpr auto kCheckCodes = [] {
    constexpr std::size_t count = [] {
        std::size_t n = 0;
        for (const PlanCode& c : kPlanCodes)
            if (c.checked && ((c.service == Services) || ...)) ++n;
        return n;
    }();
    std::array<std::string_view, count> codes{};
    std::size_t i = 0;
    for (const PlanService service : {Services...})
        for (const PlanCode& c : kPlanCodes)
            if (c.checked && c.service == service) codes[i++] = c.code;
    return codes;
}();

// The services the help text names, in its order, with the names it gives them.
struct NamedService {
    std::string_view name;
    PlanService service;
};
inline constexpr NamedService kNamedServices[] = {
    {"SatGate", PlanService::SatGate},
    {"SpectrumSat", PlanService::SpectrumSat},
    {"PlanetSky", PlanService::PlanetSky},
    {"Globax", PlanService::Globax},
    {"SpaceGate 21", PlanService::SpaceGate21},
    {"SpaceGate 75", PlanService::SpaceGate75},
    {"SpaceGate 39", PlanService::SpaceGate39},
    {"SpaceGate 95", PlanService::SpaceGate95},
    {"SpaceGate 15", PlanService::SpaceGate15},
    {"Raduga", PlanService::Raduga},
    {"SKY-FI", PlanService::SkyFi},
};

// The help text's lines of codes, cp1251: one a named service, "SatGate - 42 или SG".
inline std::vector<std::string> planCodeHelpLines() {
    constexpr std::string_view kOr = " \xE8\xEB\xE8 ";  // " или "
    std::vector<std::string> lines;
    for (const NamedService& named : kNamedServices) {
        std::string line = std::string(named.name) + " -";
        std::string_view separator = " ";
        for (const PlanCode& c : kPlanCodes) {
            if (!c.named || c.service != named.service) continue;
            line.append(separator).append(c.code);
            separator = kOr;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace korvex
