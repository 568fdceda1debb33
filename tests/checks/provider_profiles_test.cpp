#include "checks/provider_profiles.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/codepage.h"
#include "regex/pattern_matcher.h"

namespace korvex {
namespace {

// Every pattern as the operators' pages are read, in UTF-8 here; the profiles must hold exactly
// these texts in cp1251.
TEST(ProviderProfilesTest, PatternsAreTheCp1251BytesOfTheirTexts) {
    struct Case {
        const ProviderProfile* profile;
        std::vector<std::string> patterns;  // in step order
    } cases[] = {
        {&kSpectrumSatProfile,
         {R"(Deposit: (.*?)\,)", R"(Chosen speed: (.*?)\ Kbps)", R"(Status: (.*?)\<BR>Deposit:)"}},
        {&kRadugaProfile,
         {R"(подписки :</font>  <b>(.*?)\</b>)", R"(скорость</td>+\s+<td>(.*?)\</td>)",
          R"(Сменить</a>\)</td>+\s+<td>(.*?)\</td>)"}},
        {&kSpaceGate75Profile,
         {R"(Deposit rest: (.*?)\ USD)", R"(Chosen speed: (.*?)\ Kbps)",
          R"(Service type: (.*?)\; Chosen speed:)"}},
        {&kPlanetSkyProfile,
         {R"(Ваш баланс: (.*?)\ USD<br>)", R"(Выбранная скорость, Kbps: ([\d\.]*?)\<br><div id=)",
          R"(Ваш тариф: (.*?)\<br>\s+Ваш баланс: )"}},
        {&kGlobaxProfile,
         {R"( Kb  Money Rest: (.*?)\ </b></center>)", R"(<center><b> Traffic Rest: (.*?)\ Kb  Money Rest:)"}},
        {&kSatGateProfile,
         {R"(Current ballance:\s+\s+\</td>\s+\s+<td>\s+\s+([\d\d\d\d.\d\d\d\d].*?))"
          R"(\s+\s+\</td>\s+\s+<td>\s+\s)",
          R"(Plan:</td><td>(.*?)\ Kbps )"}},
        {&kSkyFiProfile,
         {R"(Баланс:</td>\s+<td width="60%">(.*?) р.)", R"(Тариф:</td>\s+<td width="60%">(.*?)</td>)"}},
        {&kStvProfile,
         {R"(Актуальный Баланс, руб.:</td><td>(.*?)</td></tr>\s+)",
          R"(Тарифный план:</td><td>(.*?)</td></tr>)"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> held;
        for (const CheckStep& step : c.profile->steps)
            if (step.kind == StepKind::Pattern) held.emplace_back(step.pattern);
        ASSERT_EQ(held.size(), c.patterns.size()) << c.profile->name;
        for (std::size_t i = 0; i < held.size(); ++i) {
            EXPECT_EQ(held[i], utf8ToCp1251(c.patterns[i])) << c.profile->name << " pattern " << i;
            TPatternMatcher matcher;  // and every one of them compiles
            matcher.SetExpression(held[i]);
            EXPECT_NO_THROW(matcher.Exec("")) << c.profile->name << " pattern " << i;
        }
    }
    EXPECT_EQ(kErrorMarker, utf8ToCp1251("ОШИБКА"));
    // Profiles that share their steps with the ones above.
    for (const auto* p :
         {&kSpaceGate39Profile, &kSpaceGate95Profile, &kSpaceGate15Profile, &kSpaceGate21Profile})
        EXPECT_EQ(p->steps.data(), kSpaceGate75Profile.steps.data()) << p->name;
    EXPECT_EQ(kStv2Profile.steps.data(), kStvProfile.steps.data());
}

TEST(ProviderProfilesTest, DispatchTableOwnsEachCodeOnceInRunOrder) {
    const std::vector<std::string_view> order = {
        "check39_95", "check40_53", "check42_5", "checkR",  "check15_75_21_39_95",
        "checkGL",    "checkSKYFI", "check60",   "check602"};
    std::set<std::string_view> seen;
    for (int i = 0; i < kCheckRoutineCount; ++i) {
        const CheckRoutine& routine = kDispatchTable[i];
        EXPECT_EQ(routine.name, order[i]);
        // The routine's codes are exactly those of its profiles, and no other routine has them.
        std::set<std::string_view> ofProfiles;
        for (const ProviderProfile* p : routine.profiles) {
            EXPECT_EQ(p->routine, routine.name) << p->name;
            ofProfiles.insert(p->planCodes.begin(), p->planCodes.end());
        }
        EXPECT_EQ(ofProfiles, std::set<std::string_view>(routine.planCodes.begin(), routine.planCodes.end()));
        for (const auto code : routine.planCodes) {
            EXPECT_TRUE(seen.insert(code).second) << "shared code " << code;
            EXPECT_EQ(routineForPlanCode(code), &routine);
        }
    }
    EXPECT_EQ(kDispatchTable[kCheckRIndex].name, "checkR");
    EXPECT_EQ(seen.size(), 26u);
    for (const char* code : {"sps", " 39", "39 ", "39s", "sg21", "", "STV 2", "0"})
        EXPECT_EQ(routineForPlanCode(code), nullptr) << code;
}

}  // namespace
}  // namespace korvex
