#pragma once
// The summary of a refresh run: what needs the user's attention among hundreds of rows. Built from
// what became of each row (RowCheck) and the balance cells the run left (balance and previous
// balance), so the window, korvex-cli and any later reader say the same.
//
// A changed portal page: a portal for which every account that received a page got the not-found
// marker in its balance, although at least one of them had its balance found by the check before
// (its previous balance is a real value). One account with a wrong password does not make it: its
// previous balance is the marker too, or other accounts of the portal still find theirs.
//
// Whatever the summary lists needs the user's attention; what it lists apart from a changed page
// (a refused certificate, values not found, a plan code of no portal) is also a failure of the run.
#include <optional>
#include <string>
#include <vector>

#include "book/account_book.h"
#include "checks/check_outcome.h"
#include "checks/summary_texts.h"

namespace korvex {

// The low-balance threshold when the settings file names none: a balance below 0 is low.
inline constexpr double kDefaultLowBalance = 0.0;

struct SummaryAccount {
    int row = -1;
    std::string login;     // cp1251, as in the table
    std::string balance;   // the balance cell
    std::string previous;  // the previous-balance cell
    std::string planCode;  // cp1251, with the login what makes the account
};

// An account whose balance, spent as its history shows, lasts fewer days than the DaysLeft threshold.
// The run's summary does not know the history: noteDaysLeft (run/days_left_summary.h) adds these.
struct DaysLeftAccount {
    SummaryAccount account;
    int daysLeft = 0;
    std::optional<double> perDay;  // none when the balance is already at or below 0 and no spend is told
};

struct PortalTrouble {
    std::string portal;                    // the profile's name ("SpectrumSat", "SpaceGate 75")
    std::string address;                   // the base address it asked
    std::vector<SummaryAccount> accounts;  // failed transfers: the accounts; changed pages: those with a page
    std::string errorText;                 // failed transfers: the first transfer error
};

struct RunSummary {
    int accountsChecked = 0;                     // rows a routine ran for (passed over and stopped ones not)
    std::vector<PortalTrouble> failedTransfers;  // by portal, in the order first met
    std::vector<SummaryAccount> lowBalances;     // balance reads as a number below the threshold
    std::vector<SummaryAccount> fallenBalances;  // balance and previous read as numbers, balance lower
    std::vector<PortalTrouble> changedPages;     // see above
    // The portal showed another certificate than the one pinned; no request went to it.
    std::vector<PortalTrouble> refusedCertificates;
    // A page came but the values were not: a wrong password, or the page changed for this account.
    // The accounts of a changed page are listed there, not here.
    std::vector<SummaryAccount> valuesNotFound;
    // The portal's address is the build's placeholder: nothing was asked, by portal.
    std::vector<PortalTrouble> addressesNotSet;
    // A row with an account whose plan code no portal owns: nothing was asked.
    std::vector<SummaryAccount> unknownPlanCodes;
    std::vector<DaysLeftAccount> fewDaysLeft;  // fewer days left than daysLeftThreshold, low balances not
    int daysLeftThreshold = 0;                 // 0: days left are not looked at

    bool empty() const {
        return failedTransfers.empty() && lowBalances.empty() && fallenBalances.empty() &&
               changedPages.empty() && refusedCertificates.empty() && valuesNotFound.empty() &&
               unknownPlanCodes.empty() && fewDaysLeft.empty() && addressesNotSet.empty();
    }
    // Anything listed needs attention.
    bool needsAttention() const { return !empty(); }
    // What korvex-cli's exit status 3 stands for when nothing failed: a low balance or a changed page.
    // Few days left count as a low balance.
    bool namesLowBalanceOrChangedPage() const {
        return !lowBalances.empty() || !fewDaysLeft.empty() || !changedPages.empty();
    }
};

// A check that got no page because the portal's key is not its pin (the transfer refused it).
bool certificateRefused(const RowCheck& check);

RunSummary summarizeRun(const std::vector<RowCheck>& rows, const AccountBook& book,
                        double lowBalance = kDefaultLowBalance);

// The fields of an item's line (summary_texts.h), UTF-8: {row} (from 1), {login}, {balance}, {previous},
// {plan}; a portal's {portal}, {address}, {count}, {accounts}, {logins}, {error}; days left add {days}
// and {daysText} ("4 days (10.50 a day)").
TextFields summaryFields(const SummaryAccount& account);
TextFields summaryFields(const PortalTrouble& trouble);
TextFields summaryFields(const DaysLeftAccount& account);

// The summary as lines of UTF-8 text ("" when empty): a heading line, then one line per item, in the
// order of kSummaryCategories.
std::string summaryText(const RunSummary& summary);
// The summary as a JSON object (UTF-8), always, also when empty.
std::string summaryJson(const RunSummary& summary, double lowBalance);

// What the summaries and korvex-cli's other JSON share: a UTF-8 text as a JSON string (quoted,
// control characters escaped), and an amount with two decimals and a point ("10.50"), whatever
// the locale (a number too large for that: its shortest text).
std::string jsonString(const std::string& utf8);
std::string amountText(double value);

}  // namespace korvex
