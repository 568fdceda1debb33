#include "checks/summary_texts.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace korvex {
namespace {

// The fields each category's callers give (summaryFields); a text naming another would show its
// "{name}" to the user.
const std::set<std::string_view> kAccountFields = {"row", "login", "balance", "previous", "plan"};
const std::set<std::string_view> kPortalFields = {"portal",   "address", "count",
                                                  "accounts", "logins",  "error"};

std::set<std::string_view> fieldsIn(std::string_view text) {
    std::set<std::string_view> names;
    for (std::size_t open; (open = text.find('{')) != std::string_view::npos;) {
        const std::size_t close = text.find('}', open);
        if (close == std::string_view::npos) break;
        names.insert(text.substr(open + 1, close - open - 1));
        text.remove_prefix(close + 1);
    }
    return names;
}

void expectOnly(std::string_view text, const std::set<std::string_view>& allowed) {
    for (std::string_view name : fieldsIn(text))
        EXPECT_TRUE(allowed.count(name)) << "{" << name << "} in " << text;
}

TEST(SummaryTexts, EveryCategoryOnceWithBothLanguagesAndItsOwnJsonKey) {
    std::set<SummaryCategory> categories;
    std::set<std::string_view> keys;
    for (const SummaryCategoryTexts& row : kSummaryCategories) {
        SCOPED_TRACE(std::string(row.jsonKey));
        EXPECT_TRUE(categories.insert(row.category).second) << "a category twice";
        EXPECT_TRUE(keys.insert(row.jsonKey).second) << "a JSON key twice";
        EXPECT_FALSE(row.jsonKey.empty());
        EXPECT_FALSE(row.english.empty());
        EXPECT_FALSE(row.russian.empty());
        const bool ofAPortal = fieldsIn(row.english).count("portal") > 0;
        std::set<std::string_view> allowed = ofAPortal ? kPortalFields : kAccountFields;
        if (row.category == SummaryCategory::FewDaysLeft) allowed.insert({"days", "daysText"});
        expectOnly(row.english, allowed);
        expectOnly(row.englishDetail, allowed);
        expectOnly(row.russian, allowed);
    }
    EXPECT_EQ(categories.size(), static_cast<std::size_t>(SummaryCategory::FallenBalance) + 1);
}

TEST(SummaryTexts, EveryRowOutcomeOnceAndNamingOnlyItsFields) {
    std::set<RowOutcome> outcomes;
    for (const RowOutcomeTexts& row : kRowOutcomes) {
        EXPECT_TRUE(outcomes.insert(row.outcome).second) << "an outcome twice";
        for (std::string_view text : {row.english, row.englishDetail, row.russian})
            expectOnly(text, {"error", "marker", "plan"});
        // What the window counts in its caption it also notes on the row.
        if (!row.russianCount.empty()) {
            EXPECT_FALSE(row.russian.empty()) << row.russianCount;
        }
    }
    EXPECT_EQ(outcomes.size(), static_cast<std::size_t>(RowOutcome::Stopped) + 1);
}

TEST(SummaryTexts, FillingPutsValuesInAsTheyAre) {
    struct Case {
        std::string_view pattern;
        std::string expected;
    };
    const TextFields fields = {{"login", "{row}"}, {"row", "3"}, {"error", ""}};
    const Case cases[] = {
        {"row {row} ({login})", "row 3 ({row})"},  // a login that looks like a field stays a login
        {"{unknown}: {row}", "{unknown}: 3"},      // a field nobody gave shows, so a test sees it
        {"{row} {", "3 {"},                        // an unclosed brace is text
        {"{error}.", "."},
    };
    for (const Case& c : cases) EXPECT_EQ(fillText(c.pattern, fields), c.expected) << c.pattern;
    const RowOutcomeTexts& failed = rowOutcomeTexts(RowOutcome::TransferFailed);
    EXPECT_EQ(englishText(failed, {{"error", ""}}), ": no page from the portal");
    EXPECT_EQ(englishText(failed, {{"error", "timeout"}}), ": no page from the portal (timeout)");
}

}  // namespace
}  // namespace korvex
