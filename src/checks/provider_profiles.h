#pragma once
// The provider profiles: everything that differs between the operators' portals, held as data and
// run by the one balance check procedure (BalanceChecks::runProfile). One constant per profile,
// and the dispatch table that decides which check routine owns which plan codes.
//
// Patterns are byte strings in cp1251, exactly as the matcher takes them (a backslash in a pattern
// is one character of the pattern). Plan codes are compared with the whole cell, byte for byte; each
// profile's come from the plan-code table (plan_codes.h).
#include <array>
#include <span>
#include <string>
#include <string_view>

#include "book/account_book.h"
#include "checks/portal_addresses.h"

namespace korvex {

// Not-found marker: a pattern step whose pattern misses writes it (with the marker miss rule).
inline constexpr std::string_view kNotFoundMarker = "--------";
// Error marker: written into the speed column when a check fails with an error.
inline constexpr std::string_view kErrorMarker = "\xCE\xD8\xC8\xC1\xCA\xC0";  // ОШИБКА

enum class LoginMethod {
    Basic,  // UserPwd = login ":" password, one GET
    Form,   // PostFields = the post body, one POST
};

enum class TextConversion {
    None,
    PatternsToUtf8,  // the portal speaks UTF-8: patterns go to UTF-8, captured text back to cp1251
    PageFromUtf8,    // the portal speaks UTF-8: the page goes to cp1251 before it is searched
};

enum class MissRule {
    Marker,   // write kNotFoundMarker
    Nothing,  // leave the cell as it is
};

enum class StepKind {
    Pattern,    // write group 1 of `pattern` into `column`, or apply `miss`
    Timestamp,  // write the check timestamp into kDate
    EmptyText,  // write "" into `column`
    PlanCode,   // copy the plan code (account column 2) into kStatPlanCode
};

struct CheckStep {
    StepKind kind;
    std::string_view pattern;
    int column;
    MissRule miss;
};

constexpr CheckStep patternStep(std::string_view pattern, StatCol column, MissRule miss) {
    return {StepKind::Pattern, pattern, column, miss};
}
constexpr CheckStep timestampStep() {
    return {StepKind::Timestamp, {}, kDate, MissRule::Nothing};
}
constexpr CheckStep emptyTextStep(StatCol column) {
    return {StepKind::EmptyText, {}, column, MissRule::Nothing};
}
constexpr CheckStep planCodeStep() {
    return {StepKind::PlanCode, {}, kStatPlanCode, MissRule::Nothing};
}

// One part of a form post body: a fixed text, or the account's login or password inserted as typed.
struct PostPart {
    enum Kind { Text, Login, Password } kind;
    std::string_view text;
};
constexpr PostPart bodyText(std::string_view text) {
    return {PostPart::Text, text};
}
inline constexpr PostPart kBodyLogin{PostPart::Login, {}};
inline constexpr PostPart kBodyPassword{PostPart::Password, {}};

struct ProviderProfile {
    std::string_view name;                        // the operator and service, for messages and tests
    std::string_view operatorName;                // who runs the portal: one name for all its services
    std::string_view routine;                     // the check routine that carries the profile
    std::span<const std::string_view> planCodes;  // in test order
    LoginMethod login;
    std::string PortalAddresses::*baseAddress;  // scheme and host, from the build's configuration
    std::string_view path;                      // path and query of the request
    std::span<const PostPart> postBody;         // form login only
    bool appliesProxy;
    TextConversion conversion;
    std::span<const CheckStep> steps;  // in order
    std::string_view logoutPath;       // "" but for STV: a post with an empty body
};

// The portals with HTTP basic login.
extern const ProviderProfile kSpectrumSatProfile;
extern const ProviderProfile kRadugaProfile;
extern const ProviderProfile kSpaceGate75Profile;
extern const ProviderProfile kSpaceGate39Profile;
extern const ProviderProfile kSpaceGate95Profile;
extern const ProviderProfile kSpaceGate15Profile;
extern const ProviderProfile kSpaceGate21Profile;
extern const ProviderProfile kPlanetSkyProfile;
// The portals with form login.
extern const ProviderProfile kGlobaxProfile;
extern const ProviderProfile kSatGateProfile;
extern const ProviderProfile kSkyFiProfile;
extern const ProviderProfile kStvProfile;
extern const ProviderProfile kStv2Profile;

// True when `planCode` is exactly one of the profile's codes (case-sensitive, no trimming).
bool planCodeSelects(const ProviderProfile& profile, std::string_view planCode);

// One check routine: its name, the plan codes it owns and the profiles it runs, in order (one
// profile each, except the five SpaceGate profiles of check15_75_21_39_95).
struct CheckRoutine {
    std::string_view name;
    std::span<const std::string_view> planCodes;
    std::span<const ProviderProfile* const> profiles;
};

// The check routines in the order in which a refresh run calls them for every row. No two routines
// share a plan code; a code on no list selects nothing. A new routine is a row there alone.
extern const std::span<const CheckRoutine> kDispatchTable;
extern const int kCheckRoutineCount;
// Index in kDispatchTable of checkR, after which the refresh run does not repaint.
inline constexpr int kCheckRIndex = 3;

// The routine that owns `planCode`, or nullptr.
const CheckRoutine* routineForPlanCode(std::string_view planCode);

// The profile that owns the plan code, or nullptr when none does.
const ProviderProfile* profileForPlanCode(std::string_view planCode);

}  // namespace korvex
