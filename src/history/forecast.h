#pragma once
// Who runs out first: an account's spend per day and the days its balance lasts, from its history.
// An account is a login and a plan code: the same login under another plan is another account.
//
// The method. Of the account's checks of the last 60 days only those with a balance read as a
// number count; failed checks and values not found are passed over, as if the check had not been
// made. Between one such reading and the next the balance fell or stayed (a spending interval), or
// rose (a top-up: the interval is left out, its rise never counts and neither does its time, so a
// top-up starts a new period of spending). Spend per day is what fell over all spending intervals
// divided by their length in days; days left is the latest balance divided by it, rounded down.
// It cannot be told ("—") when the spending intervals cover less than a week (fewer than two
// readings a week apart) or nothing was spent; it is 0 whenever the latest balance is at or below 0.
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "book/account_book.h"
#include "history/history_entry.h"

namespace korvex {

class BalanceHistory;

inline constexpr int kForecastWindowDays = 60;  // the readings an estimate takes, back from now
inline constexpr int kForecastMinimumDays = 7;  // the spending time below which nothing is told

enum class ForecastState {
    NoReading,     // no balance read in the window
    TooShort,      // the readings, or the spending intervals, cover less than kForecastMinimumDays
    NothingSpent,  // a week of readings or more, and the balance never fell
    Estimated,     // daysLeft and perDay hold the estimate
    RunOut,        // the latest balance is at or below 0: daysLeft is 0
};

struct Spending {
    ForecastState state = ForecastState::NoReading;
    std::optional<double> balance;  // the latest balance read in the window
    std::string asOf;               // the time of that reading (a history timestamp), "" without one
    std::optional<double> perDay;   // what the account spends a day, when it can be told
    std::optional<int> daysLeft;    // Estimated and RunOut only

    bool operator==(const Spending&) const = default;
};

// The spending of one account from its checks (in any order; every one of them is taken as the
// account's), as of `now`: checks before now - kForecastWindowDays are passed over.
Spending estimateSpending(std::span<const HistoryEntry> checks, std::chrono::system_clock::time_point now);

// The first moment whose checks an estimate as of `now` takes, as a history timestamp.
std::string forecastWindowStart(std::chrono::system_clock::time_point now);

struct AccountForecast {
    int row = -1;       // the account's row, from 0
    std::string login;  // cp1251, the account table's cells
    std::string plan;
    std::string holder;
    Spending spending;
};

// Every account row of `book` that has a login, fewest days left first, then those whose days
// cannot be told; rows of equal days in row order. `checks`: the history's checks of any accounts
// (those of the last kForecastWindowDays are enough), UTF-8 as the history holds them.
std::vector<AccountForecast> forecastAccounts(const AccountBook& book, std::span<const HistoryEntry> checks,
                                              std::chrono::system_clock::time_point now);
// The same, reading the checks of the window from `history`. Throws HistoryError.
std::vector<AccountForecast> forecastAccounts(const AccountBook& book, const BalanceHistory& history,
                                              std::chrono::system_clock::time_point now);

// Whether `spending` has fewer days left than `threshold` (0 turns it off; none told: never).
bool fewDaysLeft(const Spending& spending, int threshold);

}  // namespace korvex
