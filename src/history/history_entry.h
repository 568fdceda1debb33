#pragma once
// One kept check of the balance history, and what turns a checked row into one. The history holds
// UTF-8: the portal's own texts, converted once from the cp1251 cells when the check is kept.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "book/account_book.h"

namespace korvex {

// What became of a kept check. Rows passed over and transfers stopped on request are not kept:
// nothing was learnt about the account.
enum class HistoryOutcome {
    Page,            // the page arrived and every value was found
    NotFound,        // the page arrived, a value was not on it (the not-found marker)
    ErrorMarker,     // the check failed after its request was set up
    TransferFailed,  // no page
};

struct HistoryEntry {
    std::string time{};   // UTC, "YYYY-MM-DDTHH:MM:SSZ", so that text order is time order
    std::string login{};  // the account table's login
    std::string plan{};   // the plan code
    std::string balanceText{};
    std::optional<double> balance{};  // balanceText read as a number (book/balance_text.h), for charts
    std::string speed{};
    std::string status{};
    HistoryOutcome outcome = HistoryOutcome::Page;
    std::string detail{};  // why a transfer failed or a check ended with the error marker

    bool operator==(const HistoryEntry&) const = default;
};

// The outcome's name as the history file and korvex-cli write it ("page", "not found",
// "error marker", "transfer failed"), and back.
std::string_view outcomeName(HistoryOutcome outcome);
std::optional<HistoryOutcome> outcomeFromName(std::string_view name);
// The outcome in the words of the run summary, for people and scripts that read both: "read",
// "values not found", "check failed", "no answer".
std::string_view outcomeWords(HistoryOutcome outcome);
bool historyCheckFailed(HistoryOutcome outcome);

// "YYYY-MM-DDTHH:MM:SSZ" for a moment.
std::string utcTimestamp(std::chrono::system_clock::time_point moment);
// A date of the command line or the dialog as a timestamp of the same form: "YYYY-MM-DD" (midnight
// UTC), "YYYY-MM-DDTHH:MM", "YYYY-MM-DDTHH:MM:SS", each with an optional "Z" (also with a blank
// in place of "T"). None when the text is not such a date or names a day that does not exist.
std::optional<std::string> utcTimestampFromDate(std::string_view text);
// A timestamp of the history as a moment; none when it is not of the form or lies beyond what the
// system clock can hold (before 1677 or after 2262).
std::optional<std::chrono::system_clock::time_point> momentFromUtcTimestamp(std::string_view timestamp);

}  // namespace korvex
