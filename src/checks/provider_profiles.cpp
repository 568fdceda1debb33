#include "checks/provider_profiles.h"

#include <algorithm>

#include "checks/plan_codes.h"

namespace korvex {

// The tables below are laid out for reading against the portals' pages.
// clang-format off

namespace {

constexpr MissRule kMarker = MissRule::Marker;
constexpr MissRule kNothing = MissRule::Nothing;

// Steps shared by the five SpaceGate profiles.
constexpr CheckStep kSpaceGateSteps[] = {
    // pattern                                              column    on no match
    patternStep("Deposit rest: (.*?)\\ USD",               kBalance, kMarker),
    patternStep("Chosen speed: (.*?)\\ Kbps",              kSpeed,   kMarker),
    timestampStep(),
    patternStep("Service type: (.*?)\\; Chosen speed:",     kStatus,  kNothing),
    planCodeStep(),
};

// Post body of both STV gates.
constexpr PostPart kStvBody[] = {
    bodyText("mod=login&p1="), kBodyLogin, bodyText("&p2="), kBodyPassword, bodyText("&transponder=2"),
};

// Steps of both STV gates; the page is in UTF-8 and goes to cp1251 before each search.
constexpr CheckStep kStvSteps[] = {
    // Актуальный Баланс, руб.:</td><td>(.*?)</td></tr>\s+
    patternStep("\xC0\xEA\xF2\xF3\xE0\xEB\xFC\xED\xFB\xE9 \xC1\xE0\xEB\xE0\xED\xF1, \xF0\xF3\xE1."
                ":</td><td>(.*?)</td></tr>\\s+",
                kBalance, kMarker),
    // Тарифный план:</td><td>(.*?)</td></tr>
    patternStep("\xD2\xE0\xF0\xE8\xF4\xED\xFB\xE9 \xEF\xEB\xE0\xED:</td><td>(.*?)</td></tr>",
                kSpeed, kMarker),
    timestampStep(),
    emptyTextStep(kStatus),
    planCodeStep(),
};

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Portals with HTTP basic login: UserPwd = login ":" password, one GET, proxy applied, no logout.
// ---------------------------------------------------------------------------------------------------

// SpectrumSat, check39_95, HTTPS.
constexpr auto& kSpectrumSatCodes = kCheckCodes<PlanService::SpectrumSat>;
constexpr CheckStep kSpectrumSatSteps[] = {
    // pattern                                              column    on no match
    patternStep("Deposit: (.*?)\\,",                       kBalance, kMarker),
    patternStep("Chosen speed: (.*?)\\ Kbps",              kSpeed,   kMarker),
    timestampStep(),
    patternStep("Status: (.*?)\\<BR>Deposit:",             kStatus,  kNothing),
    planCodeStep(),
};
constexpr ProviderProfile kSpectrumSatProfile{
    .name = "SpectrumSat",
    .operatorName = "SpectrumSat",
    .routine = "check39_95",
    .planCodes = kSpectrumSatCodes,
    .login = LoginMethod::Basic,
    .baseAddress = &PortalAddresses::spectrumSat,
    .path = "/",
    .postBody = {},
    .appliesProxy = true,
    .conversion = TextConversion::None,
    .steps = kSpectrumSatSteps,
    .logoutPath = "",
};

// Raduga, checkR, HTTPS.
constexpr auto& kRadugaCodes = kCheckCodes<PlanService::Raduga>;
constexpr CheckStep kRadugaSteps[] = {
    // подписки :</font>  <b>(.*?)\</b>
    patternStep("\xEF\xEE\xE4\xEF\xE8\xF1\xEA\xE8 :</font>  <b>(.*?)\\</b>", kBalance, kMarker),
    // скорость</td>+\s+<td>(.*?)\</td>
    patternStep("\xF1\xEA\xEE\xF0\xEE\xF1\xF2\xFC</td>+\\s+<td>(.*?)\\</td>", kSpeed, kMarker),
    timestampStep(),
    // Сменить</a>\)</td>+\s+<td>(.*?)\</td>  (the ")" of the page is a literal, so it is escaped)
    patternStep("\xD1\xEC\xE5\xED\xE8\xF2\xFC</a>\\)</td>+\\s+<td>(.*?)\\</td>", kStatus, kNothing),
    planCodeStep(),
};
constexpr ProviderProfile kRadugaProfile{
    .name = "Raduga",
    .operatorName = "Raduga",
    .routine = "checkR",
    .planCodes = kRadugaCodes,
    .login = LoginMethod::Basic,
    .baseAddress = &PortalAddresses::raduga,
    .path = "/",
    .postBody = {},
    .appliesProxy = true,
    .conversion = TextConversion::None,
    .steps = kRadugaSteps,
    .logoutPath = "",
};

// SpaceGate, check15_75_21_39_95, HTTPS, one portal each but 15 and 21, which share one.
constexpr auto& kSpaceGate75Codes = kCheckCodes<PlanService::SpaceGate75>;
constexpr auto& kSpaceGate39Codes = kCheckCodes<PlanService::SpaceGate39>;
constexpr auto& kSpaceGate95Codes = kCheckCodes<PlanService::SpaceGate95>;
constexpr auto& kSpaceGate15Codes = kCheckCodes<PlanService::SpaceGate15>;
constexpr auto& kSpaceGate21Codes = kCheckCodes<PlanService::SpaceGate21>;
constexpr ProviderProfile kSpaceGate75Profile{
    .name = "SpaceGate 75",
    .operatorName = "SpaceGate",
    .routine = "check15_75_21_39_95",
    .planCodes = kSpaceGate75Codes,
    .login = LoginMethod::Basic,
    .baseAddress = &PortalAddresses::spaceGate75,
    .path = "/stats/",
    .postBody = {},
    .appliesProxy = true,
    .conversion = TextConversion::None,
    .steps = kSpaceGateSteps,
    .logoutPath = "",
};
constexpr ProviderProfile kSpaceGate39Profile{
    .name = "SpaceGate 39",
    .operatorName = "SpaceGate",
    .routine = "check15_75_21_39_95",
    .planCodes = kSpaceGate39Codes,
    .login = LoginMethod::Basic,
    .baseAddress = &PortalAddresses::spaceGate39,
    .path = "/stats/",
    .postBody = {},
    .appliesProxy = true,
    .conversion = TextConversion::None,
    .steps = kSpaceGateSteps,
    .logoutPath = "",
};
constexpr ProviderProfile kSpaceGate95Profile{
    .name = "SpaceGate 95",
    .operatorName = "SpaceGate",
    .routine = "check15_75_21_39_95",
    .planCodes = kSpaceGate95Codes,
    .login = LoginMethod::Basic,
    .baseAddress = &PortalAddresses::spaceGate95,
    .path = "/stats/",
    .postBody = {},
    .appliesProxy = true,
    .conversion = TextConversion::None,
    .steps = kSpaceGateSteps,
    .logoutPath = "",
};
constexpr ProviderProfile kSpaceGate15Profile{
    .name = "SpaceGate 15",
    .operatorName = "SpaceGate",
    .routine = "check15_75_21_39_95",
    .planCodes = kSpaceGate15Codes,
    .login = LoginMethod::Basic,
    .baseAddress = &PortalAddresses::spaceGate15_21,
    .path = "/stats/",
    .postBody = {},
    .appliesProxy = true,
    .conversion = TextConversion::None,
    .steps = kSpaceGateSteps,
    .logoutPath = "",
};
constexpr ProviderProfile kSpaceGate21Profile{
    .name = "SpaceGate 21",
    .operatorName = "SpaceGate",
    .routine = "check15_75_21_39_95",
    .planCodes = kSpaceGate21Codes,
    .login = LoginMethod::Basic,
    .baseAddress = &PortalAddresses::spaceGate15_21,
    .path = "/stats/",
    .postBody = {},
    .appliesProxy = true,
    .conversion = TextConversion::None,
    .steps = kSpaceGateSteps,
    .logoutPath = "",
};

// PlanetSky, check40_53, plain HTTP. Its pages are UTF-8: patterns go to UTF-8 before use, and the
// captured text comes back to cp1251 before it is written, like every other cell.
constexpr auto& kPlanetSkyCodes = kCheckCodes<PlanService::PlanetSky>;
constexpr CheckStep kPlanetSkySteps[] = {
    // Ваш баланс: (.*?)\ USD<br>
    patternStep("\xC2\xE0\xF8 \xE1\xE0\xEB\xE0\xED\xF1: (.*?)\\ USD<br>", kBalance, kMarker),
    // Выбранная скорость, Kbps: ([\d\.]*?)\<br><div id=
    patternStep("\xC2\xFB\xE1\xF0\xE0\xED\xED\xE0\xFF \xF1\xEA\xEE\xF0\xEE\xF1\xF2\xFC, Kbps: ([\\d\\.]*?)"
                "\\<br><div id=",
                kSpeed, kMarker),
    timestampStep(),
    // Ваш тариф: (.*?)\<br>\s+Ваш баланс:   (with a space after the colon)
    patternStep("\xC2\xE0\xF8 \xF2\xE0\xF0\xE8\xF4: (.*?)\\<br>\\s+\xC2\xE0\xF8 \xE1\xE0\xEB\xE0\xED\xF1: ",
                kStatus, kNothing),
    planCodeStep(),
};
constexpr ProviderProfile kPlanetSkyProfile{
    .name = "PlanetSky",
    .operatorName = "PlanetSky",
    .routine = "check40_53",
    .planCodes = kPlanetSkyCodes,
    .login = LoginMethod::Basic,
    .baseAddress = &PortalAddresses::planetSky,
    .path = "/",
    .postBody = {},
    .appliesProxy = true,
    .conversion = TextConversion::PatternsToUtf8,
    .steps = kPlanetSkySteps,
    .logoutPath = "",
};

// ---------------------------------------------------------------------------------------------------
// Portals with form login: PostFields = the body, one POST whose answer is the page searched; the
// post fields are cleared once the page is in Memo1.
// ---------------------------------------------------------------------------------------------------

// Globax, checkGL, plain HTTP. The date range is fixed; it does not follow the calendar.
constexpr auto& kGlobaxCodes = kCheckCodes<PlanService::Globax>;
constexpr PostPart kGlobaxBody[] = {
    bodyText("login="), kBodyLogin, bodyText("&"), bodyText("password="), kBodyPassword, bodyText("&"),
    bodyText("D1=01&M1=01&Y1=2007&D2=01&M2=01&Y2=2007&Detail=day"),
};
constexpr CheckStep kGlobaxSteps[] = {
    // pattern                                                     column    on no match
    patternStep(" Kb  Money Rest: (.*?)\\ </b></center>",          kBalance, kMarker),
    timestampStep(),
    patternStep("<center><b> Traffic Rest: (.*?)\\ Kb  Money Rest:", kStatus,  kNothing),
    planCodeStep(),
    emptyTextStep(kSpeed),
};
constexpr ProviderProfile kGlobaxProfile{
    .name = "Globax",
    .operatorName = "Globax",
    .routine = "checkGL",
    .planCodes = kGlobaxCodes,
    .login = LoginMethod::Form,
    .baseAddress = &PortalAddresses::globax,
    .path = "/index.php?action=go",
    .postBody = kGlobaxBody,
    .appliesProxy = true,
    .conversion = TextConversion::None,
    .steps = kGlobaxSteps,
    .logoutPath = "",
};

// SatGate, check42_5, HTTPS on a numeric address.
constexpr auto& kSatGateCodes = kCheckCodes<PlanService::SatGate>;
constexpr PostPart kSatGateBody[] = {
    bodyText("login="), kBodyLogin, bodyText("&"), bodyText("password="), kBodyPassword,
};
constexpr CheckStep kSatGateSteps[] = {
    patternStep("Current ballance:\\s+\\s+\\</td>\\s+\\s+<td>\\s+\\s+([\\d\\d\\d\\d.\\d\\d\\d\\d].*?)"
                "\\s+\\s+\\</td>\\s+\\s+<td>\\s+\\s",
                kBalance, kMarker),
    patternStep("Plan:</td><td>(.*?)\\ Kbps ", kSpeed, kMarker),
    timestampStep(),
    emptyTextStep(kStatus),
    planCodeStep(),
};
constexpr ProviderProfile kSatGateProfile{
    .name = "SatGate",
    .operatorName = "SatGate",
    .routine = "check42_5",
    .planCodes = kSatGateCodes,
    .login = LoginMethod::Form,
    .baseAddress = &PortalAddresses::satGate,
    .path = "/index.php?logout=1&locale=en_US",
    .postBody = kSatGateBody,
    .appliesProxy = true,
    .conversion = TextConversion::None,
    .steps = kSatGateSteps,
    .logoutPath = "",
};

// SKY-FI, checkSKYFI, HTTPS. Unlike the others, a missing tariff writes the marker.
constexpr auto& kSkyFiCodes = kCheckCodes<PlanService::SkyFi>;
constexpr PostPart kSkyFiBody[] = {
    bodyText("user_name="), kBodyLogin, bodyText("&user_pass="), kBodyPassword,
    bodyText("&submit=1&x=24&y=13"),
};
constexpr CheckStep kSkyFiSteps[] = {
    // Баланс:</td>\s+<td width="60%">(.*?) р.
    patternStep("\xC1\xE0\xEB\xE0\xED\xF1:</td>\\s+<td width=\"60%\">(.*?) \xF0.", kBalance, kMarker),
    // Тариф:</td>\s+<td width="60%">(.*?)</td>
    patternStep("\xD2\xE0\xF0\xE8\xF4:</td>\\s+<td width=\"60%\">(.*?)</td>", kStatus, kMarker),
    timestampStep(),
    emptyTextStep(kSpeed),
    planCodeStep(),
};
constexpr ProviderProfile kSkyFiProfile{
    .name = "SKY-FI",
    .operatorName = "SKY-FI",
    .routine = "checkSKYFI",
    .planCodes = kSkyFiCodes,
    .login = LoginMethod::Form,
    .baseAddress = &PortalAddresses::skyFi,
    .path = "/authorize.php",
    .postBody = kSkyFiBody,
    .appliesProxy = true,
    .conversion = TextConversion::None,
    .steps = kSkyFiSteps,
    .logoutPath = "",
};

// STV, check60 and check602, HTTPS, one portal with two gates. The proxy setting is not applied:
// these requests go through whatever proxy Curl1 holds from its last application. After the login
// (sent, failed or broken) each gate gets a logout post with an empty body.
constexpr auto& kStvCodes = kCheckCodes<PlanService::Stv>;
constexpr auto& kStv2Codes = kCheckCodes<PlanService::Stv2>;
constexpr ProviderProfile kStvProfile{
    .name = "STV",
    .operatorName = "STV",
    .routine = "check60",
    .planCodes = kStvCodes,
    .login = LoginMethod::Form,
    .baseAddress = &PortalAddresses::stv,
    .path = "/insat/gate.php",
    .postBody = kStvBody,
    .appliesProxy = false,
    .conversion = TextConversion::PageFromUtf8,
    .steps = kStvSteps,
    .logoutPath = "/insat/gate.php?mod=login&mode=off",
};
constexpr ProviderProfile kStv2Profile{
    .name = "STV 2",
    .operatorName = "STV",
    .routine = "check602",
    .planCodes = kStv2Codes,
    .login = LoginMethod::Form,
    .baseAddress = &PortalAddresses::stv,
    .path = "/insat2/gate.php",
    .postBody = kStvBody,
    .appliesProxy = false,
    .conversion = TextConversion::PageFromUtf8,
    .steps = kStvSteps,
    .logoutPath = "/insat2/gate.php?mod=login&mode=off",
};

// ---------------------------------------------------------------------------------------------------
// Dispatch: the routines in the order of a refresh run.
// ---------------------------------------------------------------------------------------------------

namespace {

// The five SpaceGate services' codes, in the order of the routine's profiles.
constexpr auto& kSpaceGateCodes = kCheckCodes<PlanService::SpaceGate75, PlanService::SpaceGate39,
                                              PlanService::SpaceGate95, PlanService::SpaceGate15,
                                              PlanService::SpaceGate21>;

constexpr const ProviderProfile* kCheck39_95[] = {&kSpectrumSatProfile};
constexpr const ProviderProfile* kCheck40_53[] = {&kPlanetSkyProfile};
constexpr const ProviderProfile* kCheck42_5[] = {&kSatGateProfile};
constexpr const ProviderProfile* kCheckR[] = {&kRadugaProfile};
// In this order; a cell holds one code, so at most one of them runs for a row.
constexpr const ProviderProfile* kCheck15_75_21_39_95[] = {&kSpaceGate75Profile, &kSpaceGate39Profile,
                                                           &kSpaceGate95Profile, &kSpaceGate15Profile,
                                                           &kSpaceGate21Profile};
constexpr const ProviderProfile* kCheckGL[] = {&kGlobaxProfile};
constexpr const ProviderProfile* kCheckSKYFI[] = {&kSkyFiProfile};
constexpr const ProviderProfile* kCheck60[] = {&kStvProfile};
constexpr const ProviderProfile* kCheck602[] = {&kStv2Profile};

constexpr CheckRoutine kRoutines[] = {
    // routine                 plan codes          profiles
    {"check39_95",             kSpectrumSatCodes,  kCheck39_95},
    {"check40_53",             kPlanetSkyCodes,    kCheck40_53},
    {"check42_5",              kSatGateCodes,      kCheck42_5},
    {"checkR",                 kRadugaCodes,       kCheckR},
    {"check15_75_21_39_95",    kSpaceGateCodes,    kCheck15_75_21_39_95},
    {"checkGL",                kGlobaxCodes,       kCheckGL},
    {"checkSKYFI",             kSkyFiCodes,        kCheckSKYFI},
    {"check60",                kStvCodes,          kCheck60},
    {"check602",               kStv2Codes,         kCheck602},
};

// clang-format on

}  // namespace

constexpr std::span<const CheckRoutine> kDispatchTable = kRoutines;
constexpr int kCheckRoutineCount = static_cast<int>(std::size(kRoutines));

bool planCodeSelects(const ProviderProfile& profile, std::string_view planCode) {
    return std::ranges::find(profile.planCodes, planCode) != profile.planCodes.end();
}

const CheckRoutine* routineForPlanCode(std::string_view planCode) {
    for (const auto& routine : kDispatchTable)
        if (std::ranges::find(routine.planCodes, planCode) != routine.planCodes.end()) return &routine;
    return nullptr;
}

const ProviderProfile* profileForPlanCode(std::string_view planCode) {
    const CheckRoutine* routine = routineForPlanCode(planCode);
    if (!routine) return nullptr;
    for (const ProviderProfile* profile : routine->profiles)
        if (planCodeSelects(*profile, planCode)) return profile;
    return nullptr;
}

}  // namespace korvex
