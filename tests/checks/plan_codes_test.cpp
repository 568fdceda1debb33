#include "checks/plan_codes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "checks/provider_profiles.h"
#include "platform/codepage.h"

namespace korvex {
namespace {

TEST(PlanCodes, NoCodeIsListedTwiceOrEmpty) {
    std::set<std::string_view> seen;
    for (const PlanCode& c : kPlanCodes) {
        EXPECT_FALSE(c.code.empty());
        EXPECT_TRUE(seen.insert(c.code).second) << c.code << " would select two services";
    }
}

// A code the table marks as checked must reach exactly one profile through the dispatch, and a code
// that checks nothing (a personal-page code) none: a row added to the table is then checked, or not,
// without touching the profiles.
TEST(PlanCodes, TheDispatchSelectsExactlyTheCheckedCodes) {
    for (const PlanCode& c : kPlanCodes) {
        const CheckRoutine* routine = routineForPlanCode(c.code);
        ASSERT_EQ(routine != nullptr, c.checked) << c.code;
        if (!routine) continue;
        int profiles = 0;
        for (const ProviderProfile* p : routine->profiles) profiles += planCodeSelects(*p, c.code);
        EXPECT_EQ(profiles, 1) << c.code << " in " << routine->name;
    }
    std::size_t dispatched = 0;
    for (const CheckRoutine& routine : kDispatchTable) dispatched += routine.planCodes.size();
    std::size_t checked = 0;
    for (const PlanCode& c : kPlanCodes) checked += c.checked;
    EXPECT_EQ(dispatched, checked) << "a routine owns a code the table does not know";
}

TEST(PlanCodes, CodesOfOneServiceGoToOneProfile) {
    for (const PlanCode& a : kPlanCodes) {
        for (const PlanCode& b : kPlanCodes) {
            if (!a.checked || !b.checked) continue;
            const CheckRoutine* ra = routineForPlanCode(a.code);
            const ProviderProfile* pa = nullptr;
            for (const ProviderProfile* p : ra->profiles)
                if (planCodeSelects(*p, a.code)) pa = p;
            ASSERT_NE(pa, nullptr);
            EXPECT_EQ(planCodeSelects(*pa, b.code), a.service == b.service) << a.code << " and " << b.code;
        }
    }
}

TEST(PlanCodes, HelpLinesNameTheServicesAndTheirCodes) {
    const char* const want[] = {
        "SatGate - 42 или SG",         "SpectrumSat - 39 или SPS",
        "PlanetSky - 53 или PS",       "Globax - GL",
        "SpaceGate 21 - 21 или SG21",  "SpaceGate 75 - 75 или SG75",
        "SpaceGate 39 - 39S или SG39", "SpaceGate 95 - 95S или SG95",
        "SpaceGate 15 - 15 или SG15",  "Raduga - R",
        "SKY-FI - SKYFI или SF",
    };
    const std::vector<std::string> lines = planCodeHelpLines();
    ASSERT_EQ(lines.size(), std::size(want));
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(cp1251ToUtf8(lines[i]), want[i]);
}

}  // namespace
}  // namespace korvex
