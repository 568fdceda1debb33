// Every portal's balance as its page writes it, taken by the program's own pattern into the cell it
// fills, and read as an amount by the one balance reader (book/balance_text.h): what the run summary
// names as low and the history charts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "book/balance_text.h"
#include "korvex-demo-portals/demo_portals.h"
#include "platform/codepage.h"
#include "tests/demo_portals/demo_portal_requests.h"

namespace korvex {
namespace {

struct Portal {
    PortalId id;
    const char* planCode;
};
constexpr Portal kPortals[] = {
    {PortalId::SpectrumSat, "39"},  {PortalId::Raduga, "R"},        {PortalId::SpaceGate75, "SG75"},
    {PortalId::SpaceGate39, "39S"}, {PortalId::SpaceGate95, "95S"}, {PortalId::SpaceGate15_21, "21"},
    {PortalId::PlanetSky, "PS"},    {PortalId::Globax, "GL"},       {PortalId::SatGate, "42"},
    {PortalId::SkyFi, "SF"},        {PortalId::Stv, "STV"},
};

const char* planCodeOf(PortalId portal) {
    for (const Portal& p : kPortals)
        if (p.id == portal) return p.planCode;
    return "";
}

// The balance cell the program's pattern leaves for the account's page; none when it does not match.
std::optional<std::string> balanceCell(const DemoPortals& portals, PortalId portal,
                                       const DemoAccount& account) {
    const auto request = test::balanceRequest(planCodeOf(portal), account.login, account.password);
    if (!request) return std::nullopt;
    const test::Answer answer =
        test::send(portals, request->portal, request->target, request->credentials, request->body);
    if (answer.status != 200) return std::nullopt;
    return test::capture(portal, test::patternSteps(portal)[0].pattern, answer.body);
}

TEST(DemoBalanceTexts, EveryStockAccountsBalanceReadsAsItsAmount) {
    const DemoPortals portals;
    for (const auto& [portal, account] : stockDemoAccounts()) {
        if (portal == PortalId::Stv && account.stvGate == "insat2") continue;  // the second gate's code
        SCOPED_TRACE(std::string(portalName(portal)) + " " + account.login);
        const std::optional<std::string> cell = balanceCell(portals, portal, account);
        ASSERT_TRUE(cell);
        EXPECT_EQ(balanceFromCell(*cell), std::strtod(account.balance.c_str(), nullptr)) << *cell;
    }
}

// Balances as a portal may write them where its pattern looks: with groups of thousands, a decimal
// comma, a currency word inside the captured text. Each portal's cell holds what the pattern cuts.
TEST(DemoBalanceTexts, BalancesWrittenWithTheirCurrencyReadAsTheirAmount) {
    const struct {
        PortalId portal;
        const char* balance;  // UTF-8, as the page's account holds it
        std::optional<double> amount;
    } cases[] = {
        {PortalId::SpectrumSat, "-3.80", -3.8},
        {PortalId::SpectrumSat, "1 234,56", 1234},  // the comma ends SpectrumSat's balance
        {PortalId::Raduga, "1 000,50", 1000.5},
        {PortalId::Raduga, "-12,40 руб.", -12.4},
        {PortalId::SpaceGate75, "5.25", 5.25},
        {PortalId::SpaceGate15_21, "1 200.00", 1200},
        {PortalId::PlanetSky, "-1.20", -1.2},
        {PortalId::Globax, "315.40 USD", 315.4},
        {PortalId::Globax, "12,00 $", 12},
        {PortalId::SatGate, ".90", 0.9},  // the pattern takes a balance beginning with its point
        {PortalId::SatGate, "104.75 USD", 104.75},
        {PortalId::SkyFi, "1 200,00", 1200},
        {PortalId::SkyFi, "-35,50", -35.5},
        {PortalId::Stv, "1 234,56 руб.", 1234.56},
        {PortalId::Stv, "3 100", 3100},
        {PortalId::Stv, "нет данных", std::nullopt},
        {PortalId::Raduga, "-", std::nullopt},
    };
    DemoPortals portals;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(portalName(c.portal)) + " \"" + c.balance + "\"");
        DemoAccount account = portals.accounts(c.portal).front();
        account.login = "balance_test";
        account.password = "secret";
        account.balance = c.balance;
        portals.putAccount(c.portal, account);
        const std::optional<std::string> cell = balanceCell(portals, c.portal, account);
        ASSERT_TRUE(cell);
        EXPECT_EQ(balanceFromCell(*cell), c.amount) << *cell;
        // The history keeps the cell as UTF-8 and reads it back by the same rule. PlanetSky's
        // page and cells are UTF-8 already.
        const std::string kept = c.portal == PortalId::PlanetSky ? *cell : cp1251ToUtf8(*cell);
        EXPECT_EQ(balanceFromUtf8(kept), c.amount) << kept;
    }
}

}  // namespace
}  // namespace korvex
