#pragma once
// Checks without the window: korvex-cli refresh run by the systemd user timer korvex-refresh.timer
// (the package's units; its interval and the book it checks in drop-ins of the user's), or by cron
// where there is no systemd. This file makes their texts; korvex-cli schedule writes and enables them.
#include <optional>
#include <string>
#include <string_view>

#include "platform/expected.h"

namespace korvex {

inline constexpr int kScheduleLeastMinutes = 15;
inline constexpr int kScheduleMostMinutes = 7 * 24 * 60;
inline constexpr const char* kScheduleTimer = "korvex-refresh.timer";
inline constexpr const char* kScheduleService = "korvex-refresh.service";

// "15min", "6h", "2d": a whole number and its unit, from kScheduleLeastMinutes to kScheduleMostMinutes;
// nothing for anything else (a sign, a space, a fraction, another unit, out of range).
std::optional<int> parseScheduleInterval(std::string_view text);
// The interval as parseScheduleInterval reads it and systemd too: the largest unit that divides it.
std::string scheduleIntervalText(int minutes);

// The drop-ins, at these places under the user's configuration folder.
std::string timerDropInPath(const std::string& configHome);
std::string serviceDropInPath(const std::string& configHome);
// korvex-refresh.timer every `minutes`, the first run five minutes after the timer starts.
std::string timerDropIn(int minutes);
// korvex-refresh.service running the korvex-cli at `cliPath` on the book at `settingsPath`, the summary
// as JSON on its standard output (the journal). Fails for a path with a control character.
Expected<std::string> serviceDropIn(const std::string& cliPath, const std::string& settingsPath);
// The interval a timer drop-in written by timerDropIn sets; nothing for any other text.
std::optional<int> timerDropInInterval(std::string_view text);

// A crontab line for the same: cron's nearest interval not longer than `minutes` (cron counts within
// the hour, the day and the week), with the interval it runs at.
struct CrontabLine {
    std::string line;
    int minutes = 0;
};
CrontabLine crontabLine(const std::string& cliPath, const std::string& settingsPath, int minutes);

}  // namespace korvex
