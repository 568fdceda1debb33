// demo-accounts.csv is what a user imports to try the program on the demo portals: every row must
// reach an account the portals know (but for the one with a wrong password), and every plan code
// must be there.
#include "korvex-demo-portals/demo_portals.h"

#include "platform/codepage.h"
#include "tests/demo_portals/demo_portal_requests.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace korvex {
namespace {

// RFC 4180: fields split on ",", a quoted field may hold commas, line breaks and doubled quotes.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        auto& row = rows.back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                row.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                row.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.emplace_back();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            rows.emplace_back(1);
        } else {
            row.back() += c;
        }
    }
    if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
    return rows;
}

TEST(DemoAccountsCsvTest, EveryRowReachesItsPortal) {
    std::ifstream file(KORVEX_DEMO_ACCOUNTS_CSV, std::ios::binary);
    ASSERT_TRUE(file) << KORVEX_DEMO_ACCOUNTS_CSV;
    std::stringstream text;
    text << file.rdbuf();
    const auto rows = parseCsv(text.str());
    ASSERT_GT(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"login", "password", "plan", "holder"}));

    DemoPortals portals;
    std::set<std::string> plans;
    int refused = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto& row = rows[i];
        ASSERT_EQ(row.size(), 4u) << "row " << i;
        SCOPED_TRACE(row[0] + "," + row[2]);
        EXPECT_TRUE(utf8FitsCp1251(row[3])) << "the holder must fit a cp1251 cell";
        plans.insert(row[2]);
        const auto request = test::balanceRequest(row[2], row[0], row[1]);
        ASSERT_TRUE(request) << "unknown plan code";
        const auto answer =
            test::send(portals, request->portal, request->target, request->credentials, request->body);
        const auto balance =
            test::capture(request->portal, test::patternSteps(request->portal)[0].pattern, answer.body);
        if (!balance) {
            ++refused;
            EXPECT_TRUE(portals.account(request->portal, row[0])) << "the refused row names a known login";
        }
    }
    EXPECT_EQ(refused, 1) << "exactly one row has a wrong password";
    const std::set<std::string> allPlans = {
        "39",  "SPS",  "53", "PS",   "42", "SG",   "31", "5",  "R",     "75", "SG75", "39S", "SG39",
        "95S", "SG95", "15", "SG15", "21", "SG21", "GL", "SF", "SKYFI", "60", "STV",  "602", "STV2"};
    EXPECT_EQ(plans, allPlans);
}

}  // namespace
}  // namespace korvex
