// libFuzzer target: Portals.ini as anyone may write it.
//
// Whatever the file holds, what comes out of it is safe to run: every address keeps the build's
// rule, every path begins with "/", every pattern of every profile compiles, and every problem is
// one line without control characters.
#include <string>
#include <vector>

#include "checks/portals_ini.h"
#include "checks/profile_edits.h"
#include "fuzz_support.h"
#include "platform/codepage.h"
#include "regex/pattern_matcher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvex;
    using korvex::fuzz::expect;
    static const std::string kPath = fuzz::scratchPath(kPortalsIniName);
    static const PortalAddresses kBuiltIn{"https://a.invalid", "https://b.invalid", "https://c.invalid",
                                          "https://d.invalid", "https://e.invalid", "https://f.invalid",
                                          "http://g.invalid",  "http://h.invalid",  "https://i.invalid",
                                          "https://j.invalid", "https://k.invalid", "http://l.invalid",
                                          "http://m.invalid"};

    fuzz::writeFile(kPath, fuzz::textOf(data, size));
    const PortalsSetup setup = applyPortalsIni(kBuiltIn, {kPath});
    for (const std::string& problem : setup.problems)
        for (const char c : problem)
            expect(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "a problem is one line of text");
    expect(setup.addresses.updateInfo == kBuiltIn.updateInfo, "the update server is the build's");
    expect(validBaseAddress(setup.addresses.publisher), "the publisher's address keeps the rule");
    for (const ProviderProfile* builtIn : allProfiles()) {
        expect(validBaseAddress(setup.addresses.*builtIn->baseAddress), "an address keeps the rule");
        const ProviderProfile& profile = effectiveProfile(setup.addresses, *builtIn);
        expect(profile.path.starts_with("/"), "a path stays on its host");
        expect(profile.logoutPath.empty() == builtIn->logoutPath.empty(), "a logout only where there is one");
        for (const CheckStep& step : profile.steps) {
            if (step.kind != StepKind::Pattern) continue;
            TPatternMatcher matcher;
            // As the check compiles it: PlanetSky's in UTF-8.
            matcher.SetExpression(profile.conversion == TextConversion::PatternsToUtf8
                                      ? cp1251ToUtf8(step.pattern)
                                      : std::string(step.pattern));
            try {
                matcher.Dump();
            } catch (const EPatternMatcher&) {
                fuzz::broken("every pattern in use compiles");
            }
        }
    }
    return 0;
}
