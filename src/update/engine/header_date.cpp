#include "update/engine/header_date.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

namespace korvex {

namespace {

constexpr long long kSecondsPerDay = 86400;

// Days since 1 January 1970 of a civil date (proleptic Gregorian).
long long daysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

const long long kEpochOffsetDays = -daysFromCivil(1899, 12, 30);  // TDateTime day of 1 January 1970

int monthOf(std::string_view word) {
    static constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                              "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (word.size() < 3) return 0;
    for (int i = 0; i < 12; ++i) {
        bool same = true;
        for (int k = 0; k < 3; ++k)
            same = same && std::toupper(static_cast<unsigned char>(word[k])) == kMonths[i][k];
        if (same) return i + 1;
    }
    return 0;
}

bool isWeekday(std::string_view word) {
    static constexpr const char* kDays[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    if (word.size() < 3) return false;
    for (const char* day : kDays) {
        bool same = true;
        for (int k = 0; k < 3; ++k) same = same && std::toupper(static_cast<unsigned char>(word[k])) == day[k];
        if (same) return true;
    }
    return false;
}

// A left-to-right reader of the header text.
class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}
    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }
    void skip(std::string_view separators) {
        while (!atEnd() && separators.find(m_text[m_pos]) != std::string_view::npos) ++m_pos;
    }
    std::string_view word() {
        const std::size_t start = m_pos;
        while (!atEnd() && std::isalpha(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
        return m_text.substr(start, m_pos - start);
    }
    // Digits as a number; -1 when none come. `length` receives how many digits were read.
    int number(std::size_t* length = nullptr, std::size_t maxDigits = 9) {
        const std::size_t start = m_pos;
        int value = 0;
        while (!atEnd() && m_pos - start < maxDigits && std::isdigit(static_cast<unsigned char>(m_text[m_pos])))
            value = value * 10 + (m_text[m_pos++] - '0');
        if (length != nullptr) *length = m_pos - start;
        return m_pos == start ? -1 : value;
    }
    bool isTimeNext() const {
        std::size_t p = m_pos;
        while (p < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[p]))) ++p;
        return p > m_pos && p < m_text.size() && m_text[p] == ':';
    }
    bool accept(char c) {
        if (peek() != c) return false;
        ++m_pos;
        return true;
    }
    std::size_t position() const { return m_pos; }
    void setPosition(std::size_t pos) { m_pos = pos; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

struct Clock {
    int hour = 0, minute = 0, second = 0;
};

bool readTime(Reader& reader, Clock& clock) {
    if (!reader.isTimeNext()) return false;
    clock.hour = reader.number();
    reader.accept(':');
    clock.minute = std::max(0, reader.number());
    if (reader.accept(':')) clock.second = std::max(0, reader.number());
    return true;
}

}  // namespace

TDateTime encodeDateTime(int year, int month, int day, int hour, int minute, int second) {
    const long long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                           kEpochOffsetDays;
    return static_cast<double>(days) + (hour * 3600.0 + minute * 60.0 + second) / kSecondsPerDay;
}

TDateTime dateTimeFromUnix(std::time_t seconds) {
    return static_cast<double>(kEpochOffsetDays) + static_cast<double>(seconds) / kSecondsPerDay;
}

std::time_t unixFromDateTime(TDateTime value) {
    return static_cast<std::time_t>(std::llround((value - static_cast<double>(kEpochOffsetDays)) * kSecondsPerDay));
}

TDateTime parseHeaderDateUtc(std::string_view text) {
    constexpr std::string_view kBlanks = " \t";
    constexpr std::string_view kSeparators = " \t-";
    Reader reader(text);
    reader.skip(kBlanks);

    // An optional weekday ("Sun", "Sunday") and its separator.
    const std::size_t start = reader.position();
    const std::string_view first = reader.word();
    if (!first.empty() && isWeekday(first) && monthOf(first) == 0) {
        reader.accept(',');
        reader.skip(kBlanks);
    } else {
        reader.setPosition(start);
    }

    int day = -1;
    int month = 0;
    for (int part = 0; part < 2; ++part) {
        reader.skip(kSeparators);
        if (std::isdigit(static_cast<unsigned char>(reader.peek()))) {
            if (day >= 0) return 0;
            day = reader.number(nullptr, 2);
        } else {
            if (month != 0) return 0;
            month = monthOf(reader.word());
            if (month == 0) return 0;
        }
    }
    if (day < 1 || day > 31 || month == 0) return 0;

    Clock clock;
    reader.skip(kSeparators);
    const bool timeFirst = readTime(reader, clock);  // asctime: "Nov  6 08:49:37 1994"
    reader.skip(kSeparators);
    std::size_t digits = 0;
    int year = reader.number(&digits, 4);
    if (year < 0) {
        year = 1900;
    } else if (digits <= 2) {
        year += year < 80 ? 2000 : 1900;
    }
    reader.skip(kBlanks);
    if (!timeFirst) readTime(reader, clock);
    if (clock.hour > 23 || clock.minute > 59 || clock.second > 60) return 0;

    long long zoneSeconds = 0;
    reader.skip(kBlanks);
    const char sign = reader.peek();
    if (sign == '+' || sign == '-') {
        reader.accept(sign);
        std::size_t zoneDigits = 0;
        const int zone = reader.number(&zoneDigits, 4);
        if (zone > 0 && zoneDigits == 4) {
            zoneSeconds = (zone / 100) * 3600LL + (zone % 100) * 60LL;
            if (sign == '-') zoneSeconds = -zoneSeconds;
        }
    }
    const TDateTime local = encodeDateTime(year, month, day, clock.hour, clock.minute, clock.second);
    return local - static_cast<double>(zoneSeconds) / kSecondsPerDay;
}

TDateTime parseHeaderDate(std::string_view text) {
    const TDateTime utc = parseHeaderDateUtc(text);
    if (utc == 0) return 0;
    const std::time_t seconds = unixFromDateTime(utc);
    std::tm parts{};
    if (localtime_r(&seconds, &parts) == nullptr) return utc;
    return encodeDateTime(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                          parts.tm_sec);
}

}  // namespace korvex
