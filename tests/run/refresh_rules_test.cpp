// The three rules of a run that the fronts once each had their own way: how many checks at once on
// one portal, how a one-row refresh runs, and what a keyring that did not give the passwords holds
// back. Each row is a plan as one front asks for it; the session's rules make the same of both.
#include <gtest/gtest.h>

#include <vector>

#include "run/refresh_session.h"

namespace korvex {
namespace {

struct Case {
    const char* name;
    RefreshPlan asked;
    int jobs;
    int perPortal;
    std::vector<int> held;
};

const Case kCases[] = {
    {"window: the whole table, the settings tab's 16 at once and 2 a portal",
     {.first = 0, .last = 9, .jobs = 16, .perPortal = 2},
     16,
     2,
     {}},
    {"window: one row from the balance menu, with 16 at once in the settings tab",
     {.first = 3, .last = 3, .jobs = 16, .perPortal = 4},
     1,
     1,
     {}},
    {"korvex-cli: refresh --row 4 --jobs 16 --per-portal 4",
     {.first = 3, .last = 3, .jobs = 16, .perPortal = 4},
     1,
     1,
     {}},
    {"korvex-cli: refresh --jobs 64 --per-portal 8, the most there is",
     {.first = 0, .last = 499, .jobs = 64, .perPortal = 8},
     64,
     8,
     {}},
    {"any front: more on one portal than the limit is the limit",
     {.first = 0, .last = 9, .jobs = 16, .perPortal = 64},
     16,
     kMaxRefreshPerPortal,
     {}},
    {"any front: more at once than the limit, or none, is brought into range",
     {.first = 0, .last = 9, .jobs = 500, .perPortal = 0},
     kMaxRefreshJobs,
     1,
     {}},
    {"window and korvex-cli: a locked keyring holds back only the rows whose password it keeps",
     {.first = 0, .last = 9, .jobs = 1, .passwordsWaiting = {7, 2, 7}},
     1,
     1,
     {2, 7}},
    {"window and korvex-cli: a one-row refresh of a row whose password was read runs",
     {.first = 3, .last = 3, .passwordsWaiting = {2, 7}},
     1,
     1,
     {}},
    {"window and korvex-cli: a one-row refresh of a row waiting for the keyring holds it back",
     {.first = 2, .last = 2, .jobs = 8, .passwordsWaiting = {2, 7}},
     1,
     1,
     {2}},
};

TEST(RefreshRules, BothFrontsPlansComeOutOfTheRulesTheSame) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const RefreshPlan plan = ruledPlan(c.asked);
        EXPECT_EQ(plan.jobs, c.jobs);
        EXPECT_EQ(plan.perPortal, c.perPortal);
        EXPECT_EQ(plan.heldRows, c.held);
        EXPECT_EQ(plan.first, c.asked.first);
        EXPECT_EQ(plan.last, c.asked.last);
    }
}

}  // namespace
}  // namespace korvex
