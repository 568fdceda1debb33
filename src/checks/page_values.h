#pragma once
// What a profile's pattern steps find on a page: the part of the balance check that reads the page,
// shared by the check itself (BalanceChecks) and by `korvex-cli profiles test`, which runs it on a
// saved page, so that a pattern mended on a saved page behaves the same in the next run.
#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks/provider_profiles.h"
#include "regex/pattern_matcher.h"

namespace korvex {

// The most bytes of a value found on a portal's page that the tables, Settings.ini and the
// history keep: far more than a balance, a speed or a plan's name takes.
inline constexpr std::size_t kMaxPortalValueBytes = 256;

// A value found on a portal's page as the tables keep it: every control byte (C0 and DEL) a blank,
// and cut to kMaxPortalValueBytes; a UTF-8 value (`utf8`) is cut before the character that would
// not fit whole. A page is the portal's to write: an escape sequence in a status must not reach a
// terminal, and a status of a megabyte must not reach every file.
std::string portalValue(std::string_view text, bool utf8);

// The page as the profile's patterns search it: STV's goes from UTF-8 to cp1251 first; every other
// page is searched as received (nullopt: use `page` itself).
std::optional<std::string> convertedPage(const ProviderProfile& profile, std::string_view page);

// One pattern step on `page` (already converted): the value as the balance cell gets it, or nullopt
// when the pattern misses. Raises EPatternMatcher when the pattern does not compile.
std::optional<std::string> patternStepValue(TPatternMatcher& matcher, const ProviderProfile& profile,
                                            const CheckStep& step, std::string_view page);

struct StepFinding {
    const CheckStep* step = nullptr;   // a pattern step of the profile
    std::optional<std::string> value;  // cp1251; nullopt: not found
};

// What the pattern steps of a profile find on a page, in order, up to the first that fails.
struct PageValues {
    std::vector<StepFinding> findings;
    // "" when every pattern step was searched; otherwise why the one after `findings` failed, with
    // the profile's name and the step's key: "SpectrumSat Balance: the pattern needs too much work
    // on this page", or the matcher's text for a pattern that does not compile.
    std::string problem;
};

// Every pattern step of the profile on a page as received. A search ended by `stop` raises
// EPatternMatcher kPmExecStopped; every other failure of a pattern ends the list with its problem.
PageValues findPageValues(const ProviderProfile& profile, std::string_view page,
                          const std::atomic<bool>* stop = nullptr);

}  // namespace korvex
