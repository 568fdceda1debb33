#include "history/forecast.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "history/balance_history.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

constexpr double kSecondsPerDay = 86400.0;

struct Reading {
    std::chrono::system_clock::time_point time;
    double balance = 0;
    const std::string* timestamp = nullptr;  // the check's own text
};

// The reading `check` gives to an estimate of the window from `windowStart` on, if any. Only a
// balance read as a number counts: a failed check has none, and a page on which the balance was
// not found has the marker where it would be.
std::optional<Reading> readingOf(const HistoryEntry& check, const std::string& windowStart) {
    if (check.outcome != HistoryOutcome::Page && check.outcome != HistoryOutcome::NotFound)
        return std::nullopt;
    // The history's timestamps sort as text in time order.
    if (!check.balance || !std::isfinite(*check.balance) || check.time < windowStart) return std::nullopt;
    const auto moment = momentFromUtcTimestamp(check.time);
    if (!moment) return std::nullopt;
    return Reading{*moment, *check.balance, &check.time};
}

// The latest balance over `perDay`, rounded down; a hair of slack so that 100 / (300 / 30) is 10,
// not 9. Far beyond any account's life it stops at the largest int.
int daysLeftAt(double balance, double perDay) {
    const double days = std::floor(balance / perDay + 1e-9);
    return days >= static_cast<double>(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                        : static_cast<int>(days);
}

// The method of the header over one account's readings, in any order (those of one moment are
// taken in the order given).
Spending spendingOf(std::vector<Reading> readings) {
    Spending result;
    if (readings.empty()) return result;
    std::stable_sort(readings.begin(), readings.end(),
                     [](const Reading& a, const Reading& b) { return a.time < b.time; });
    result.balance = readings.back().balance;
    result.asOf = *readings.back().timestamp;

    double spent = 0;
    double seconds = 0;
    for (std::size_t i = 1; i < readings.size(); ++i) {
        const double change = readings[i].balance - readings[i - 1].balance;
        if (change > 0) continue;  // a top-up
        spent -= change;
        seconds += std::chrono::duration<double>(readings[i].time - readings[i - 1].time).count();
    }
    const double span = std::chrono::duration<double>(readings.back().time - readings.front().time).count();
    const double days = seconds / kSecondsPerDay;
    if (days >= kForecastMinimumDays && spent > 0) result.perDay = spent / days;

    if (*result.balance <= 0) {
        result.state = ForecastState::RunOut;
        result.daysLeft = 0;
    } else if (span / kSecondsPerDay < kForecastMinimumDays) {
        result.state = ForecastState::TooShort;
    } else if (spent <= 0) {
        result.state = ForecastState::NothingSpent;
    } else if (!result.perDay) {
        result.state = ForecastState::TooShort;  // a week of readings, but mostly top-ups
    } else {
        result.state = ForecastState::Estimated;
        result.daysLeft = daysLeftAt(*result.balance, *result.perDay);
    }
    return result;
}

int sortKey(const Spending& s) {
    return s.daysLeft ? *s.daysLeft : std::numeric_limits<int>::max();
}

// An account's key: login and plan code as the history writes them (UTF-8), apart by a NUL that
// neither holds.
std::string accountKey(std::string_view login, std::string_view plan) {
    std::string key;
    key.reserve(login.size() + plan.size() + 1);
    key.append(login).append(1, '\0').append(plan);
    return key;
}

}  // namespace

std::string forecastWindowStart(std::chrono::system_clock::time_point now) {
    return utcTimestamp(now - std::chrono::days(kForecastWindowDays));
}

Spending estimateSpending(std::span<const HistoryEntry> checks, std::chrono::system_clock::time_point now) {
    const std::string windowStart = forecastWindowStart(now);
    std::vector<Reading> readings;
    for (const HistoryEntry& check : checks)
        if (const auto reading = readingOf(check, windowStart)) readings.push_back(*reading);
    return spendingOf(std::move(readings));
}

std::vector<AccountForecast> forecastAccounts(const AccountBook& book, std::span<const HistoryEntry> checks,
                                              std::chrono::system_clock::time_point now) {
    // The readings of each account (rows of the same account share them).
    std::unordered_map<std::string, std::size_t> accountIndex;
    std::vector<std::vector<Reading>> readings;
    std::vector<std::size_t> accountOfForecast;
    std::vector<AccountForecast> forecasts;
    for (int row = 0; row < book.clients; ++row) {
        const std::string& login = book.client.cell(kLogin, row);
        if (login.empty()) continue;
        AccountForecast f{row, login, book.client.cell(kPlanCode, row), book.client.cell(kHolder, row), {}};
        const auto [it, added] = accountIndex.try_emplace(
            accountKey(cp1251ToUtf8(f.login), cp1251ToUtf8(f.plan)), readings.size());
        if (added) readings.emplace_back();
        accountOfForecast.push_back(it->second);
        forecasts.push_back(std::move(f));
    }
    const std::string windowStart = forecastWindowStart(now);
    for (const HistoryEntry& check : checks) {
        const auto it = accountIndex.find(accountKey(check.login, check.plan));
        if (it == accountIndex.end()) continue;
        if (const auto reading = readingOf(check, windowStart)) readings[it->second].push_back(*reading);
    }
    std::vector<Spending> spendings;
    spendings.reserve(readings.size());
    for (std::vector<Reading>& r : readings) spendings.push_back(spendingOf(std::move(r)));
    for (std::size_t i = 0; i < forecasts.size(); ++i)
        forecasts[i].spending = spendings[accountOfForecast[i]];
    std::stable_sort(forecasts.begin(), forecasts.end(),
                     [](const AccountForecast& a, const AccountForecast& b) {
                         return sortKey(a.spending) < sortKey(b.spending);
                     });
    return forecasts;
}

std::vector<AccountForecast> forecastAccounts(const AccountBook& book, const BalanceHistory& history,
                                              std::chrono::system_clock::time_point now) {
    // Login by login: each one's checks lie together in the file (it is kept in order of login and
    // time), where the checks of all accounts since a moment are spread over every page of it.
    const std::string since = forecastWindowStart(now);
    std::set<std::string> logins;
    for (int row = 0; row < book.clients; ++row)
        if (const std::string& login = book.client.cell(kLogin, row); !login.empty())
            logins.insert(cp1251ToUtf8(login));
    std::vector<HistoryEntry> checks;
    for (const std::string& login : logins) {
        std::vector<HistoryEntry> own = history.read({login, since, 0});
        checks.insert(checks.end(), std::make_move_iterator(own.begin()), std::make_move_iterator(own.end()));
    }
    return forecastAccounts(book, checks, now);
}

bool fewDaysLeft(const Spending& spending, int threshold) {
    return threshold > 0 && spending.daysLeft && *spending.daysLeft < threshold;
}

}  // namespace korvex
