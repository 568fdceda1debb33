#include "checks/check_clock.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdio>
#include <ctime>
#include <optional>

#include "platform/codepage.h"

namespace korvex {

namespace {

constexpr const char* kDefaultSeparator = ":";

// The literal text between the hour and the minute conversions of a strftime format, or nothing
// when the format has no hour directly followed, after some literal text, by minutes.
std::optional<std::string> hourMinuteGap(std::string_view format, std::string_view amPmFormat,
                                         int depth = 0) {
    bool afterHour = false;
    std::string gap;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            if (afterHour) gap += format[i];
            continue;
        }
        if (++i == format.size()) break;
        char conversion = format[i];
        // Flags, width and the E/O modifiers of glibc: %-H, %_H, %02H, %OH...
        while (i + 1 < format.size() && (conversion == '-' || conversion == '_' || conversion == '0' ||
                                         conversion == '^' || conversion == '#' || conversion == 'E' ||
                                         conversion == 'O' || (conversion >= '1' && conversion <= '9')))
            conversion = format[++i];
        switch (conversion) {
            case '%':
                if (afterHour) gap += '%';
                break;
            case 'H':
            case 'I':
            case 'k':
            case 'l':
                afterHour = true;
                gap.clear();
                break;
            case 'M':
                if (afterHour) return gap;
                break;
            case 'R':
            case 'T':
                return std::string(":");
            case 'r':
                if (depth == 0) return hourMinuteGap(amPmFormat, {}, depth + 1);
                return std::nullopt;
            default:
                afterHour = false;
                break;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string timeSeparatorFromFormat(std::string_view timeFormat, std::string_view amPmFormat,
                                    bool formatIsUtf8) {
    const auto gap = hourMinuteGap(timeFormat, amPmFormat);
    if (!gap || gap->empty()) return kDefaultSeparator;
    if (gap->size() == 1 && static_cast<unsigned char>((*gap)[0]) < 0x80) return *gap;
    // One non-ASCII character: usable only when the locale says how it is encoded and cp1251 has it.
    if (!formatIsUtf8 || !utf8FitsCp1251(*gap)) return kDefaultSeparator;
    std::string cp1251 = utf8ToCp1251(*gap);
    return cp1251.size() == 1 ? cp1251 : kDefaultSeparator;
}

SystemCheckClock::SystemCheckClock() : m_separator(kDefaultSeparator) {
    // The user's locale from the environment (LC_ALL, LC_TIME, LANG), without touching the
    // process's global locale.
    locale_t userLocale = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (userLocale == static_cast<locale_t>(0)) return;
    const std::string_view codeset = nl_langinfo_l(CODESET, userLocale);
    m_separator = timeSeparatorFromFormat(nl_langinfo_l(T_FMT, userLocale),
                                          nl_langinfo_l(T_FMT_AMPM, userLocale), codeset == "UTF-8");
    freelocale(userLocale);
}

LocalDateTime SystemCheckClock::now() const {
    const std::time_t seconds = std::time(nullptr);
    std::tm local{};
    localtime_r(&seconds, &local);
    return {local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min};
}

std::string formatCheckTimestamp(const LocalDateTime& moment, std::string_view separator) {
    char date[48];
    std::snprintf(date, sizeof date, "%d/%d/%04d %02d", moment.day, moment.month, moment.year, moment.hour);
    char minutes[8];
    std::snprintf(minutes, sizeof minutes, "%02d", moment.minute);
    std::string text(date);
    text += separator;
    text += minutes;
    return text;
}

std::string checkTimestamp(const CheckClock& clock) {
    return formatCheckTimestamp(clock.now(), clock.timeSeparator());
}

}  // namespace korvex
