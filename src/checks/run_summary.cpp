#include "checks/run_summary.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>

#include <curl/curl.h>

#include "book/balance_text.h"
#include "checks/provider_profiles.h"
#include "checks/summary_texts.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

SummaryAccount accountOf(const AccountBook& book, int row) {
    return {row, book.client.cell(kLogin, row), book.Stat.cell(kBalance, row), book.Stat.cell(kPrevious, row),
            book.client.cell(kPlanCode, row)};
}

PortalTrouble& troubleFor(std::vector<PortalTrouble>& list, const RowCheck& check) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const PortalTrouble& t) { return t.portal == check.profile; });
    if (it != list.end()) return *it;
    list.push_back({check.profile, check.portal, {}, {}});
    return list.back();
}

bool missedBalance(const RowCheck& check) {
    return check.outcome == CheckOutcome::NotFound &&
           std::find(check.missedColumns.begin(), check.missedColumns.end(), kBalance) !=
               check.missedColumns.end();
}

void appendJsonString(std::string& out, const std::string& utf8) {
    out += '"';
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

// A cell as a JSON number with two decimals when it reads as an amount, else null.
std::string amountJson(const std::string& cell) {
    const std::optional<double> amount = balanceFromCell(cell);
    return amount ? amountText(*amount) : "null";
}

// The balances as numbers for scripts, and the cells as the table shows them (a marker, a text).
std::string accountJson(const SummaryAccount& a) {
    return "{\"row\":" + std::to_string(a.row + 1) + ",\"login\":" + jsonString(cp1251ToUtf8(a.login)) +
           ",\"balance\":" + amountJson(a.balance) + ",\"previous\":" + amountJson(a.previous) +
           ",\"balanceText\":" + jsonString(cp1251ToUtf8(a.balance)) +
           ",\"previousText\":" + jsonString(cp1251ToUtf8(a.previous)) +
           ",\"plan\":" + jsonString(cp1251ToUtf8(a.planCode)) + "}";
}

std::string accountsJson(const std::vector<SummaryAccount>& accounts) {
    std::string out = "[";
    for (std::size_t i = 0; i < accounts.size(); ++i) out += (i ? "," : "") + accountJson(accounts[i]);
    return out + "]";
}

std::string troublesJson(const std::vector<PortalTrouble>& troubles, bool withError) {
    std::string out = "[";
    for (std::size_t i = 0; i < troubles.size(); ++i) {
        const PortalTrouble& t = troubles[i];
        out += std::string(i ? "," : "") + "{\"portal\":" + jsonString(t.portal) +
               ",\"address\":" + jsonString(t.address);
        if (withError) out += ",\"error\":" + jsonString(t.errorText);
        out += ",\"accounts\":" + accountsJson(t.accounts) + "}";
    }
    return out + "]";
}

// An amount with two decimals and a point, whatever the locale.
// "4 days (10.50 a day)", for the text summary.
std::string daysLeftText(const DaysLeftAccount& a) {
    std::string text = std::to_string(a.daysLeft) + (a.daysLeft == 1 ? " day" : " days");
    if (a.perDay) text += " (" + amountText(*a.perDay) + " a day)";
    return text;
}

std::string daysLeftJson(const std::vector<DaysLeftAccount>& accounts) {
    std::string out = "[";
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const DaysLeftAccount& a = accounts[i];
        std::string item = accountJson(a.account);
        item.pop_back();  // the closing brace: two more members follow
        out += (i ? "," : "") + item + ",\"daysLeft\":" + std::to_string(a.daysLeft) +
               ",\"perDay\":" + (a.perDay ? amountText(*a.perDay) : "null") + "}";
    }
    return out + "]";
}

// ",\"changedPages\":" for the JSON's member of a category.
std::string jsonKey(SummaryCategory category) {
    return ",\"" + std::string(summaryCategory(category).jsonKey) + "\":";
}

std::string loginsOf(const std::vector<SummaryAccount>& accounts) {
    std::string out;
    for (const SummaryAccount& a : accounts) out += (out.empty() ? "" : ", ") + cp1251ToUtf8(a.login);
    return out;
}

bool holdsAccount(const AccountBook& book, int row) {
    for (int col = 0; col < kAccountCols; ++col)
        if (!book.client.cell(col, row).empty()) return true;
    return false;
}

}  // namespace

bool certificateRefused(const RowCheck& check) {
    return check.outcome == CheckOutcome::TransferFailed &&
           check.resultCode == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
}

RunSummary summarizeRun(const std::vector<RowCheck>& rows, const AccountBook& book, double lowBalance) {
    RunSummary summary;
    struct PageCount {
        std::vector<SummaryAccount> withPage;
        int missed = 0;
        bool foundBefore = false;
        std::string address;
    };
    std::map<std::string, PageCount> pages;
    std::vector<std::string> pageOrder;

    std::vector<SummaryAccount> notFound;
    std::vector<std::string> notFoundPortals;
    for (const RowCheck& check : rows) {
        if (check.row < 0 || check.row >= book.clients || check.outcome == CheckOutcome::Stopped) continue;
        if (check.outcome == CheckOutcome::PassedOver) {
            // An empty code is a row kept for notes (or an empty row); a code nobody owns is a mistake.
            if (!book.client.cell(kPlanCode, check.row).empty() && holdsAccount(book, check.row))
                summary.unknownPlanCodes.push_back(accountOf(book, check.row));
            continue;
        }
        ++summary.accountsChecked;
        const SummaryAccount account = accountOf(book, check.row);
        if (certificateRefused(check)) {
            troubleFor(summary.refusedCertificates, check).accounts.push_back(account);
            continue;
        }
        if (check.outcome == CheckOutcome::AddressNotSet) {
            troubleFor(summary.addressesNotSet, check).accounts.push_back(account);
            continue;
        }
        if (check.outcome == CheckOutcome::NotFound) {
            notFound.push_back(account);
            notFoundPortals.push_back(check.profile);
        }
        if (check.outcome == CheckOutcome::TransferFailed) {
            PortalTrouble& trouble = troubleFor(summary.failedTransfers, check);
            if (trouble.errorText.empty()) trouble.errorText = check.errorText;
            trouble.accounts.push_back(account);
            continue;
        }
        if (check.outcome == CheckOutcome::PageRead || check.outcome == CheckOutcome::NotFound) {
            if (!pages.count(check.profile)) pageOrder.push_back(check.profile);
            PageCount& count = pages[check.profile];
            count.address = check.portal;
            count.withPage.push_back(account);
            if (missedBalance(check)) {
                ++count.missed;
                if (balanceFromCell(account.previous)) count.foundBefore = true;
            }
        }
        const bool balanceRead = check.outcome == CheckOutcome::PageRead ||
                                 (check.outcome == CheckOutcome::NotFound && !missedBalance(check));
        const std::optional<double> balance = balanceRead ? balanceFromCell(account.balance) : std::nullopt;
        if (!balance) continue;
        if (*balance < lowBalance) summary.lowBalances.push_back(account);
        if (const std::optional<double> previous = balanceFromCell(account.previous);
            previous && *balance < *previous)
            summary.fallenBalances.push_back(account);
    }
    for (const std::string& portal : pageOrder) {
        const PageCount& count = pages[portal];
        if (count.missed == static_cast<int>(count.withPage.size()) && count.foundBefore)
            summary.changedPages.push_back({portal, count.address, count.withPage, {}});
    }
    for (std::size_t i = 0; i < notFound.size(); ++i) {
        const bool changedPage =
            std::any_of(summary.changedPages.begin(), summary.changedPages.end(),
                        [&](const PortalTrouble& t) { return t.portal == notFoundPortals[i]; });
        if (!changedPage) summary.valuesNotFound.push_back(notFound[i]);
    }
    return summary;
}

TextFields summaryFields(const SummaryAccount& a) {
    return {{"row", std::to_string(a.row + 1)},
            {"login", cp1251ToUtf8(a.login)},
            {"balance", cp1251ToUtf8(a.balance)},
            {"previous", cp1251ToUtf8(a.previous)},
            {"plan", cp1251ToUtf8(a.planCode)}};
}

TextFields summaryFields(const PortalTrouble& t) {
    return {{"portal", t.portal},
            {"address", t.address},
            {"count", std::to_string(t.accounts.size())},
            {"accounts", accountsText(t.accounts.size())},
            {"logins", loginsOf(t.accounts)},
            {"error", t.errorText}};
}

TextFields summaryFields(const DaysLeftAccount& a) {
    TextFields fields = summaryFields(a.account);
    fields.emplace_back("days", std::to_string(a.daysLeft));
    fields.emplace_back("daysText", daysLeftText(a));
    return fields;
}

std::string summaryText(const RunSummary& s) {
    if (s.empty()) return {};
    std::string out = fillText(kSummaryHeadingEnglish, {{"accounts", accountsText(s.accountsChecked)}}) + "\n";
    const auto line = [&](SummaryCategory category, const TextFields& fields) {
        out += englishText(summaryCategory(category), fields) + "\n";
    };
    for (const PortalTrouble& t : s.changedPages) line(SummaryCategory::ChangedPage, summaryFields(t));
    for (const PortalTrouble& t : s.refusedCertificates) line(SummaryCategory::RefusedCertificate, summaryFields(t));
    for (const PortalTrouble& t : s.addressesNotSet) line(SummaryCategory::AddressNotSet, summaryFields(t));
    for (const SummaryAccount& a : s.valuesNotFound) line(SummaryCategory::ValuesNotFound, summaryFields(a));
    for (const SummaryAccount& a : s.unknownPlanCodes) line(SummaryCategory::UnknownPlanCode, summaryFields(a));
    for (const SummaryAccount& a : s.lowBalances) line(SummaryCategory::LowBalance, summaryFields(a));
    for (const DaysLeftAccount& a : s.fewDaysLeft) line(SummaryCategory::FewDaysLeft, summaryFields(a));
    for (const PortalTrouble& t : s.failedTransfers) line(SummaryCategory::FailedTransfer, summaryFields(t));
    for (const SummaryAccount& a : s.fallenBalances) line(SummaryCategory::FallenBalance, summaryFields(a));
    return out;
}

std::string summaryJson(const RunSummary& s, double lowBalance) {
    return std::string("{\"accountsChecked\":") + std::to_string(s.accountsChecked) +
           ",\"lowBalanceThreshold\":" + amountText(lowBalance) +
           ",\"needsAttention\":" + (s.needsAttention() ? "true" : "false") +
           jsonKey(SummaryCategory::ChangedPage) + troublesJson(s.changedPages, false) +
           jsonKey(SummaryCategory::LowBalance) + accountsJson(s.lowBalances) +
           jsonKey(SummaryCategory::FailedTransfer) + troublesJson(s.failedTransfers, true) +
           jsonKey(SummaryCategory::FallenBalance) + accountsJson(s.fallenBalances) +
           jsonKey(SummaryCategory::RefusedCertificate) + troublesJson(s.refusedCertificates, false) +
           jsonKey(SummaryCategory::ValuesNotFound) + accountsJson(s.valuesNotFound) +
           jsonKey(SummaryCategory::UnknownPlanCode) + accountsJson(s.unknownPlanCodes) +
           jsonKey(SummaryCategory::AddressNotSet) + troublesJson(s.addressesNotSet, false) +
           ",\"daysLeftThreshold\":" + std::to_string(s.daysLeftThreshold) +
           jsonKey(SummaryCategory::FewDaysLeft) + daysLeftJson(s.fewDaysLeft) + "}\n";
}

std::string jsonString(const std::string& utf8) {
    std::string out;
    appendJsonString(out, utf8);
    return out;
}

std::string amountText(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
    if (result.ec == std::errc()) return std::string(text, result.ptr);
    // Too large for two decimals in the buffer: the shortest text that reads back as the same number.
    const auto shortest = std::to_chars(text, text + sizeof text, value);
    return std::string(text, shortest.ptr);
}

}  // namespace korvex
