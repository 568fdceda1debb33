#pragma once
// The clock of the balance checks: the local date and time of day, and the user's time separator,
// from which a check builds the timestamp it writes into the balance table. Tests hand in a fixed
// clock; the program uses SystemCheckClock.
#include <string>
#include <string_view>

namespace korvex {

struct LocalDateTime {
    int day = 1;    // 1..31
    int month = 1;  // 1..12
    int year = 2000;
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
};

class CheckClock {
public:
    virtual ~CheckClock() = default;
    virtual LocalDateTime now() const = 0;
    // The separator between hours and minutes, a cp1251 text (":" in most locales).
    virtual std::string timeSeparator() const = 0;
};

// The system's local time, and the separator of the user's LC_TIME locale, read once at construction.
class SystemCheckClock : public CheckClock {
public:
    SystemCheckClock();
    LocalDateTime now() const override;
    std::string timeSeparator() const override { return m_separator; }

private:
    std::string m_separator;
};

// Always the same moment; for tests and for reproducible runs.
class FixedCheckClock : public CheckClock {
public:
    explicit FixedCheckClock(LocalDateTime moment, std::string separator = ":")
        : m_moment(moment), m_separator(std::move(separator)) {}
    LocalDateTime now() const override { return m_moment; }
    std::string timeSeparator() const override { return m_separator; }
    void set(LocalDateTime moment) { m_moment = moment; }

private:
    LocalDateTime m_moment;
    std::string m_separator;
};

// "d/m/yyyy hh:mm": day and month without leading zeros, a four-digit year, a 24-hour clock, and
// `separator` in place of ":". 5 March 2009 at 9:07 gives "5/3/2009 09:07".
std::string formatCheckTimestamp(const LocalDateTime& moment, std::string_view separator);
// The same for the clock's present moment and separator.
std::string checkTimestamp(const CheckClock& clock);

// The separator between hours and minutes in a strftime time format (the locale's T_FMT; %r is read
// through `amPmFormat`, the locale's T_FMT_AMPM). `formatIsUtf8` says the locale's texts are UTF-8
// (otherwise they are taken as ASCII). Answers ":" when the format shows no hour followed by minutes,
// or when the separator is not exactly one character that cp1251 can hold.
std::string timeSeparatorFromFormat(std::string_view timeFormat, std::string_view amPmFormat = {},
                                    bool formatIsUtf8 = true);

}  // namespace korvex
