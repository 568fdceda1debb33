#include "history/history_entry.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <utility>

#include "book/balance_text.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads `count` digits at text[pos]; false when they are not all there.
bool readNumber(std::string_view text, std::size_t& pos, std::size_t count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!isDigit(text[pos + i])) return false;
        value = value * 10 + (text[pos + i] - '0');
    }
    pos += count;
    return true;
}

}  // namespace

std::string_view outcomeWords(HistoryOutcome outcome) {
    switch (outcome) {
        case HistoryOutcome::Page:
            return "read";
        case HistoryOutcome::NotFound:
            return "values not found";
        case HistoryOutcome::ErrorMarker:
            return "check failed";
        case HistoryOutcome::TransferFailed:
            return "no answer";
    }
    return "check failed";
}

std::string_view outcomeName(HistoryOutcome outcome) {
    switch (outcome) {
        case HistoryOutcome::Page:
            return "page";
        case HistoryOutcome::NotFound:
            return "not found";
        case HistoryOutcome::ErrorMarker:
            return "error marker";
        case HistoryOutcome::TransferFailed:
            return "transfer failed";
    }
    return "page";
}

std::optional<HistoryOutcome> outcomeFromName(std::string_view name) {
    for (HistoryOutcome o : {HistoryOutcome::Page, HistoryOutcome::NotFound, HistoryOutcome::ErrorMarker,
                             HistoryOutcome::TransferFailed})
        if (outcomeName(o) == name) return o;
    return std::nullopt;
}

bool historyCheckFailed(HistoryOutcome outcome) {
    return outcome != HistoryOutcome::Page;
}

std::string utcTimestamp(std::chrono::system_clock::time_point moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::optional<std::string> utcTimestampFromDate(std::string_view text) {
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readNumber(text, pos, 4, year) || pos >= text.size() || text[pos++] != '-' ||
        !readNumber(text, pos, 2, month) || pos >= text.size() || text[pos++] != '-' ||
        !readNumber(text, pos, 2, day))
        return std::nullopt;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
        ++pos;
        if (!readNumber(text, pos, 2, hour) || pos >= text.size() || text[pos++] != ':' ||
            !readNumber(text, pos, 2, minute))
            return std::nullopt;
        if (pos < text.size() && text[pos] == ':') {
            ++pos;
            if (!readNumber(text, pos, 2, second)) return std::nullopt;
        }
        if (pos < text.size() && text[pos] == 'Z') ++pos;
    } else if (pos < text.size() && text[pos] == 'Z') {
        ++pos;
    }
    if (pos != text.size()) return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(year),
                                           std::chrono::month(static_cast<unsigned>(month)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    char out[64];
    std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, hour, minute, second);
    return std::string(out);
}

std::optional<std::chrono::system_clock::time_point> momentFromUtcTimestamp(std::string_view timestamp) {
    if (timestamp.size() != 20 || timestamp.back() != 'Z' || timestamp[10] != 'T') return std::nullopt;
    const std::optional<std::string> normal = utcTimestampFromDate(timestamp);
    if (!normal) return std::nullopt;
    const auto number = [&](std::size_t at, std::size_t count) {
        int value = 0;
        readNumber(timestamp, at, count, value);
        return value;
    };
    using namespace std::chrono;
    const sys_days day = year_month_day{year(number(0, 4)), month(static_cast<unsigned>(number(5, 2))),
                                        std::chrono::day(static_cast<unsigned>(number(8, 2)))};
    // Whole seconds hold every year of the form; the clock's finer count does not (nanoseconds end
    // in 1677 and 2262), so a moment it cannot hold is no moment rather than a wrapped-around one.
    const sys_seconds moment = day + hours(number(11, 2)) + minutes(number(14, 2)) + seconds(number(17, 2));
    constexpr auto kEarliest = floor<seconds>(system_clock::time_point::min()) + seconds(1);
    constexpr auto kLatest = floor<seconds>(system_clock::time_point::max());
    if (moment < kEarliest || moment > kLatest) return std::nullopt;
    return time_point_cast<system_clock::duration>(moment);
}

}  // namespace korvex
