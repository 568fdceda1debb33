// The work limit of a search: a pattern whose work grows faster than the page ends with its own error,
// and the built-in patterns never come near it.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "regex/pattern_matcher.h"
#include "tests/regex/portal_patterns.h"

namespace korvex {
namespace {

// Fault caught: a limit so low, or a count so coarse, that a page of the largest size a check takes
// fails a built-in pattern.
TEST(WorkLimit, EveryBuiltInPatternOn32MiBStaysFarBelowTheLimit) {
    const std::string row = "<tr><td>12.03.2009 10:15</td><td>Платёж, Deposit: 5</td><td width=\"60%\">150.00</td>"
                            "<td>Баланс</td><td>Traffic 256 Kb</td><td>Status</td></tr>\r\n";
    std::string utf8, cp;
    while (utf8.size() < (32u << 20)) utf8 += row, cp += utf8ToCp1251(row);
    TPatternMatcher m;
    for (const auto& p : testing::portalPatterns()) {
        m.SetExpression(p.bytes());
        EXPECT_NO_THROW(m.Exec(p.utf8Page ? utf8 : cp)) << p.profile << " " << p.name;
        EXPECT_LT(m.LastSteps(), TPatternMatcher::kDefaultStepLimit / 20) << p.profile << " " << p.name;
    }
}

// Work that grows faster than the page ends at the limit (today's matcher took minutes). Faults caught:
// steps counted at backtracks only (rows 1, 2), a repeat's bytes not counted (row 1), no limit.
TEST(WorkLimit, HostilePatternsEndAtTheLimit) {
    const std::pair<const char*, std::string> rows[] = {
        {"a*[bc]", std::string(200000, 'a')},
        {"(a|b)*[bc]", std::string(200000, 'a')},
        {"(.*?,){11}P", std::string(60, ',') + "x"},
    };
    TPatternMatcher m;
    m.SetStepLimit(5'000'000);
    for (const auto& [pattern, text] : rows) {
        m.SetExpression(pattern);
        try {
            m.Exec(text);
            ADD_FAILURE() << pattern << " ended below the limit";
        } catch (const EPatternMatcher& e) {
            EXPECT_EQ(e.ErrorCode(), kPmExecTooMuchWork) << pattern;
        }
        EXPECT_GE(m.LastSteps(), 5'000'000u) << pattern;
    }
}

}  // namespace
}  // namespace korvex
