// The work limit of a search: a pattern that would retry every split of a page ends with its own
// error instead of holding a check for hours, and the built-in patterns never come near it.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/codepage.h"
#include "regex/pattern_matcher.h"
#include "tests/regex/portal_patterns.h"

namespace korvex {
namespace {

constexpr std::size_t k32MiB = 32u << 20;

// A portal page of 32 MiB: history rows that share words and tags with what the patterns look for.
std::string bigPage(bool utf8) {
    const std::string row =
        "<tr class=\"row\"><td>12.03.2009 10:15</td><td>Платёж, Deposit: 5</td><td width=\"60%\">150.00</td>"
        "<td>Баланс счёта</td><td>Traffic 256 Kb</td><td>Status</td></tr>\r\n";
    std::string page;
    page.reserve(k32MiB + 4096);
    const std::string line = utf8 ? row : utf8ToCp1251(row);
    while (page.size() + line.size() < k32MiB) page += line;
    return page;
}

// Fault caught: a limit so low (or a count so coarse) that a sound page of the largest size a check
// takes fails a built-in pattern.
TEST(WorkLimit, EveryBuiltInPatternOn32MiBStaysFarBelowTheLimit) {
    const std::string cp = bigPage(false);
    const std::string utf8 = bigPage(true);
    TPatternMatcher m;
    for (const auto& p : testing::portalPatterns()) {
        m.SetExpression(p.bytes());
        EXPECT_NO_THROW(m.Exec(p.utf8Page ? utf8 : cp)) << p.profile << " " << p.name;
        EXPECT_LT(m.LastSteps(), TPatternMatcher::kDefaultStepLimit / 20) << p.profile << " " << p.name;
    }
}

// Each row a pattern whose work grows faster than the page: it must end with kPmExecTooMuchWork
// (today's matcher ran them for minutes). Faults caught: steps counted only at backtracks (rows 2, 3
// go forward at every start position), a repeat's bytes not counted (row 2), the limit not checked.
TEST(WorkLimit, HostilePatternsEndAtTheLimit) {
    const struct {
        const char* pattern;
        std::string text;
        std::uint64_t limit;
    } rows[] = {
        {"(.*a){12}b", std::string(40, 'a') + "c", TPatternMatcher::kDefaultStepLimit},  // the attack as written
        {"a*[bc]", std::string(200000, 'a'), 5'000'000},           // every start runs to the end
        {"(a|b)*[bc]", std::string(200000, 'a'), 5'000'000},       // the same through a loop of a group
        {"(.*?,){11}P", std::string(60, ',') + "x", 5'000'000},    // lazy, counted
        {"^(\\w+\\s?)*$", std::string(5000, 'w') + "!", 5'000'000},  // with the memo
    };
    TPatternMatcher m;
    for (const auto& row : rows) {
        m.SetExpression(row.pattern);
        m.SetStepLimit(row.limit);
        try {
            m.Exec(row.text);
            ADD_FAILURE() << row.pattern << " ended without reaching the limit";
        } catch (const EPatternMatcher& e) {
            EXPECT_EQ(e.ErrorCode(), kPmExecTooMuchWork) << row.pattern;
            EXPECT_STREQ(e.what(), "the pattern needs too much work on this page");
        }
        EXPECT_GE(m.LastSteps(), row.limit) << row.pattern;
        EXPECT_EQ(m.GroupText(0), "") << row.pattern;
    }
}

// Fault caught: the stop flag never read, or read only at the end. Raised before the search, it ends
// the search at the first look, long before the limit.
TEST(WorkLimit, ARaisedStopFlagEndsTheSearchAtTheNextLook) {
    std::atomic<bool> stop{true};
    TPatternMatcher m;
    m.SetStopFlag(&stop);
    m.SetExpression("(.*a){12}b");
    try {
        m.Exec(std::string(40, 'a') + "c");
        ADD_FAILURE() << "not stopped";
    } catch (const EPatternMatcher& e) {
        EXPECT_EQ(e.ErrorCode(), kPmExecStopped);
    }
    EXPECT_LE(m.LastSteps(), 2 * (std::uint64_t{1} << 16));
    // The flag down again: a search that ends by itself is not disturbed.
    stop = false;
    m.SetExpression("Deposit: (.*?)\\,");
    ASSERT_TRUE(m.Exec("Deposit: 12.50, Chosen"));
    EXPECT_EQ(m.GroupText(1), "12.50");
}

}  // namespace
}  // namespace korvex
