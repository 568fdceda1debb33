#include "run/timer_schedule.h"

#include <charconv>
#include <system_error>

namespace korvex {

namespace {

struct IntervalUnit {
    std::string_view name;
    int minutes;
};

// The units, largest first: scheduleIntervalText takes the first that divides the interval.
constexpr IntervalUnit kUnits[] = {{"d", 24 * 60}, {"h", 60}, {"min", 1}};

// What cron can repeat exactly, shortest first, with its schedule fields.
struct CronEvery {
    int minutes;
    std::string_view fields;
};
constexpr CronEvery kCronIntervals[] = {
    {15, "*/15 * * * *"}, {20, "*/20 * * * *"},  {30, "*/30 * * * *"}, {60, "0 * * * *"},
    {120, "0 */2 * * *"}, {180, "0 */3 * * *"},  {240, "0 */4 * * *"}, {360, "0 */6 * * *"},
    {480, "0 */8 * * *"}, {720, "0 */12 * * *"}, {1440, "0 0 * * *"},  {7 * 1440, "0 0 * * 0"},
};

constexpr std::string_view kDropInHeader =
    "# Written by korvex-cli schedule enable; korvex-cli schedule disable removes it.\n";

// A word of an ExecStart line: in double quotes, '\' and '"' escaped, '%' doubled so that systemd takes
// it for no specifier, and in an argument (not in the program's path, which systemd does not expand)
// '$' doubled so that it takes it for no variable.
std::string systemdWord(std::string_view text, bool argument) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        if (c == '%' || (c == '$' && argument)) quoted += c;
        quoted += c;
    }
    return quoted + "\"";
}

// A word for sh in single quotes; cron's '%' (a line break to cron) escaped.
std::string cronArgument(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else if (c == '%')
            quoted += "\\%";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool holdsControl(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
    return false;
}

}  // namespace

std::optional<int> parseScheduleInterval(std::string_view text) {
    int count = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, count);
    if (error != std::errc()) return std::nullopt;
    const std::string_view unit(rest, static_cast<std::size_t>(end - rest));
    for (const IntervalUnit& u : kUnits) {
        if (u.name != unit) continue;
        if (count < 1 || count > kScheduleMostMinutes / u.minutes) return std::nullopt;
        const int minutes = count * u.minutes;
        if (minutes < kScheduleLeastMinutes) return std::nullopt;
        return minutes;
    }
    return std::nullopt;
}

std::string scheduleIntervalText(int minutes) {
    for (const IntervalUnit& u : kUnits)
        if (minutes % u.minutes == 0) return std::to_string(minutes / u.minutes) + std::string(u.name);
    return std::to_string(minutes) + "min";
}

std::string timerDropInPath(const std::string& configHome) {
    return configHome + "/systemd/user/" + kScheduleTimer + ".d/korvex-interval.conf";
}

std::string serviceDropInPath(const std::string& configHome) {
    return configHome + "/systemd/user/" + kScheduleService + ".d/korvex-book.conf";
}

std::string timerDropIn(int minutes) {
    // An empty assignment clears the package's timers first; then both are given again.
    return std::string(kDropInHeader) +
           "[Timer]\nOnActiveSec=\nOnActiveSec=5min\nOnUnitActiveSec=" + scheduleIntervalText(minutes) + "\n";
}

Expected<std::string> serviceDropIn(const std::string& cliPath, const std::string& settingsPath) {
    if (holdsControl(cliPath) || holdsControl(settingsPath))
        return Unexpected(Failure{std::make_error_code(std::errc::invalid_argument),
                                  "a path with a line break or another control character cannot go into " +
                                      std::string(kScheduleService)});
    return std::string(kDropInHeader) + "[Service]\nExecStart=\nExecStart=" + systemdWord(cliPath, false) +
           " --settings " + systemdWord(settingsPath, true) + " refresh --summary json\n";
}

std::optional<int> timerDropInInterval(std::string_view text) {
    constexpr std::string_view kKey = "\nOnUnitActiveSec=";
    const std::size_t at = text.rfind(kKey);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view value = text.substr(at + kKey.size());
    value = value.substr(0, value.find('\n'));
    return parseScheduleInterval(value);
}

CrontabLine crontabLine(const std::string& cliPath, const std::string& settingsPath, int minutes) {
    const CronEvery* every = &kCronIntervals[0];
    for (const CronEvery& c : kCronIntervals)
        if (c.minutes <= minutes) every = &c;
    // The balance table goes nowhere; the summary and the failures (standard error) reach cron's mail.
    return {std::string(every->fields) + " " + cronArgument(cliPath) + " --settings " +
                cronArgument(settingsPath) + " refresh >/dev/null",
            every->minutes};
}

}  // namespace korvex
