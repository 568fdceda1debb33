// The run summary from what became of each row and the balance cells the run left.
#include "checks/run_summary.h"

#include <gtest/gtest.h>

#include <iterator>

#include "platform/codepage.h"

namespace korvex {
namespace {

RowCheck check(int row, CheckOutcome outcome, std::string profile, std::vector<int> missed = {}) {
    RowCheck c;
    c.row = row;
    c.outcome = outcome;
    c.profile = std::move(profile);
    c.portal = "http://" + c.profile + ".invalid";
    c.missedColumns = std::move(missed);
    if (outcome == CheckOutcome::TransferFailed) c.errorText = "Connection refused";
    return c;
}

// A transfer that Korvex ended because the portal's key was not its pin.
RowCheck refused(int row, std::string profile) {
    RowCheck c = check(row, CheckOutcome::TransferFailed, std::move(profile));
    c.resultCode = 90;  // CURLE_SSL_PINNEDPUBKEYNOTMATCH
    c.errorText = "the certificate of " + c.portal + " has changed";
    return c;
}

std::vector<int> rowsOf(const std::vector<SummaryAccount>& accounts) {
    std::vector<int> rows;
    for (const SummaryAccount& a : accounts) rows.push_back(a.row);
    return rows;
}

// Rows (balance, previous) and what became of them; which rows each list names.
TEST(RunSummaryTest, NamesLowAndFallenBalancesFailedPortalsAndChangedPages) {
    struct Row {
        const char* balance;
        const char* previous;
        RowCheck check;
    };
    const std::vector<Row> rows = {
        {"42.15", "50.00", check(0, CheckOutcome::PageRead, "A")},                    // fell
        {"-3.80", "-3.80", check(1, CheckOutcome::PageRead, "A")},                    // low
        {"--------", "--------", check(2, CheckOutcome::NotFound, "A", {kBalance})},  // wrong password
        {"10", "10", check(3, CheckOutcome::TransferFailed, "B")},
        {"10", "10", check(4, CheckOutcome::TransferFailed, "B")},
        {"--------", "12.00", check(5, CheckOutcome::NotFound, "C", {kBalance, kSpeed})},  // changed page
        {"--------", "--------", check(6, CheckOutcome::NotFound, "C", {kBalance})},
        {"-1", "5", check(7, CheckOutcome::NotFound, "D", {kSpeed})},  // balance found, speed not
        {"--------", "--------", check(8, CheckOutcome::NotFound, "E", {kBalance})},  // never found
        {"-9", "0", check(9, CheckOutcome::Stopped, "A")},
        {"-9", "0", check(10, CheckOutcome::PassedOver, "")},  // no plan code: a row kept for notes
        {"-9", "0", check(11, CheckOutcome::PassedOver, "")},  // plan code "40": no portal owns it
        {"10", "10", refused(12, "F")},
        {"10", "10", refused(13, "F")},
        {"10", "10", check(14, CheckOutcome::AddressNotSet, "G")},  // the build's placeholder address
        {"10", "10", check(15, CheckOutcome::AddressNotSet, "G")},
    };
    AccountBook book;
    book.setCount(static_cast<int>(rows.size()));
    std::vector<RowCheck> checks;
    for (int r = 0; r < book.clients; ++r) {
        book.client.setCell(kLogin, r, "login" + std::to_string(r));
        if (r == 11) book.client.setCell(kPlanCode, r, "40");
        book.Stat.setCell(kBalance, r, rows[r].balance);
        book.Stat.setCell(kPrevious, r, rows[r].previous);
        checks.push_back(rows[r].check);
    }

    const RunSummary summary = summarizeRun(checks, book);
    EXPECT_EQ(summary.accountsChecked, 13);
    EXPECT_EQ(rowsOf(summary.lowBalances), (std::vector<int>{1, 7}));
    EXPECT_EQ(rowsOf(summary.fallenBalances), (std::vector<int>{0, 7}));
    ASSERT_EQ(summary.failedTransfers.size(), 1u);
    EXPECT_EQ(summary.failedTransfers[0].portal, "B");
    EXPECT_EQ(rowsOf(summary.failedTransfers[0].accounts), (std::vector<int>{3, 4}));
    ASSERT_EQ(summary.changedPages.size(), 1u);
    EXPECT_EQ(summary.changedPages[0].portal, "C");
    EXPECT_TRUE(summary.needsAttention());
    // Apart from the portals without an answer: those that Korvex refused, a row's own failure, and
    // a code of no portal. A value other than the balance missing counts too; the changed page's
    // accounts are not named twice.
    ASSERT_EQ(summary.refusedCertificates.size(), 1u);
    EXPECT_EQ(rowsOf(summary.refusedCertificates[0].accounts), (std::vector<int>{12, 13}));
    EXPECT_EQ(rowsOf(summary.valuesNotFound), (std::vector<int>{2, 7, 8}));
    EXPECT_EQ(rowsOf(summary.unknownPlanCodes), (std::vector<int>{11}));
    EXPECT_EQ(summary.unknownPlanCodes[0].planCode, "40");
    ASSERT_EQ(summary.addressesNotSet.size(), 1u);
    EXPECT_EQ(rowsOf(summary.addressesNotSet[0].accounts), (std::vector<int>{14, 15}));

    // A threshold of its own: 45 names the balances under it.
    EXPECT_EQ(rowsOf(summarizeRun(checks, book, 45).lowBalances), (std::vector<int>{0, 1, 7}));
    // A balance at the threshold is not below it.
    EXPECT_EQ(rowsOf(summarizeRun(checks, book, 42.15).lowBalances), (std::vector<int>{1, 7}));
    EXPECT_EQ(rowsOf(summarizeRun(checks, book, -3.8).lowBalances), (std::vector<int>{}));

    const std::string text = summaryText(summary);
    EXPECT_NE(text.find("changed page: C (http://C.invalid)"), std::string::npos) << text;
    // The line says how to mend it: the profile, and the command that tests a fix on a saved page.
    EXPECT_NE(text.find("test a fix in Portals.ini with korvex-cli profiles test \"C\" PAGE.html\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("low balance: row 2 (login1): -3.80"), std::string::npos) << text;
    EXPECT_NE(text.find("no answer: B (http://B.invalid), 2 accounts (login3, login4): Connection refused"),
              std::string::npos)
        << text;
    const std::string json = summaryJson(summary, 0);
    EXPECT_NE(json.find("\"needsAttention\":true"), std::string::npos) << json;
    EXPECT_NE(json.find("\"changedPages\":[{\"portal\":\"C\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"refusedCertificates\":[{\"portal\":\"F\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"valuesNotFound\":[{\"row\":3,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"unknownPlanCodes\":[{\"row\":12,\"login\":\"login11\",\"balance\":-9.00,\"previous\":0.00,"
                        "\"balanceText\":\"-9\",\"previousText\":\"0\","
                        "\"plan\":\"40\"}]"),
              std::string::npos)
        << json;
    EXPECT_NE(text.find("address not set: G (http://G.invalid), 2 accounts (login14, login15): not asked; set its "
                        "address in Portals.ini, or korvex-cli profiles set \"G\" Address URL\n"),
              std::string::npos)
        << text;
    EXPECT_NE(json.find("\"addressesNotSet\":[{\"portal\":\"G\""), std::string::npos) << json;
    EXPECT_NE(text.find("certificate changed: F (http://F.invalid), 2 accounts (login12, login13)"), std::string::npos)
        << text;
    EXPECT_NE(text.find("values not found: row 3 (login2): a wrong password"), std::string::npos) << text;
    EXPECT_NE(text.find("unknown plan code: row 12 (login11): \"40\" names no portal"), std::string::npos) << text;

    // Each of them alone is something to attend to; only a low balance or a changed page is what
    // korvex-cli's status 3 stands for.
    for (const RowCheck& alone : {checks[2], checks[11], checks[12], checks[14]}) {
        SCOPED_TRACE(alone.row);
        const RunSummary one = summarizeRun({alone}, book);
        EXPECT_TRUE(one.needsAttention());
        EXPECT_FALSE(one.namesLowBalanceOrChangedPage());
        EXPECT_NE(summaryJson(one, 0).find("\"needsAttention\":true"), std::string::npos);
    }
    EXPECT_TRUE(summarizeRun({checks[1]}, book).namesLowBalanceOrChangedPage());

    // Nothing to say: no text, and no attention.
    const RunSummary quiet = summarizeRun({checks[0]}, book, -100);
    EXPECT_FALSE(quiet.empty());  // the fallen balance
    const RunSummary none = summarizeRun({check(3, CheckOutcome::PageRead, "A")}, book);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(summaryText(none), "");
    EXPECT_FALSE(none.needsAttention());
}

// Balances written with their currency and groups of thousands, as the cells hold them (cp1251):
// named as low and fallen as the plain ones are, and charted by the history by the same rule. A
// summary that read them by a rule of its own passed them over in silence.
TEST(RunSummaryTest, BalancesWrittenWithTheirCurrencyAreNamedToo) {
    const struct {
        const char* balance;  // UTF-8 here
        const char* previous;
        bool low, fallen;
    } rows[] = {
        {"-12,50 руб.", "-12,50 руб.", true, false}, {"1 000,00 р.", "1 200,00 р.", false, true},
        {"-0.40 USD", "5 USD", true, true},          {"350.00 руб.", "300 руб.", false, false},
        {"нет данных", "12 руб.", false, false},
    };
    AccountBook book;
    book.setCount(static_cast<int>(std::size(rows)));
    std::vector<RowCheck> checks;
    std::vector<int> low, fallen;
    for (int r = 0; r < book.clients; ++r) {
        book.client.setCell(kLogin, r, "login" + std::to_string(r));
        book.Stat.setCell(kBalance, r, utf8ToCp1251(rows[r].balance));
        book.Stat.setCell(kPrevious, r, utf8ToCp1251(rows[r].previous));
        checks.push_back(check(r, CheckOutcome::PageRead, "A"));
        if (rows[r].low) low.push_back(r);
        if (rows[r].fallen) fallen.push_back(r);
    }
    const RunSummary summary = summarizeRun(checks, book);
    EXPECT_EQ(rowsOf(summary.lowBalances), low);
    EXPECT_EQ(rowsOf(summary.fallenBalances), fallen);
    EXPECT_TRUE(summary.namesLowBalanceOrChangedPage());
    // The threshold compares amounts, whatever the currency word after them.
    EXPECT_EQ(rowsOf(summarizeRun(checks, book, 400).lowBalances), (std::vector<int>{0, 2, 3}));
}

}  // namespace
}  // namespace korvex
