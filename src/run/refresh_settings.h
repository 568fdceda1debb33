#pragma once
// The window's own refresh settings, in section "REFRESH" of Settings.ini, as plain decimal text
// (newer versions only; a file without the section reads as the defaults, which are the window's run
// as it always was: one row after another, no schedule):
//   "Jobs"        checks at once, 1..kMaxRefreshJobs
//   "PerPortal"   checks at once on one portal, 1..kMaxRefreshPerPortal
//   "EveryHours"  a full refresh every so many hours while Korvex runs, 1..kMaxRefreshHours; 0: never
// A value that is missing or empty reads as its default, and says so in `stored`; one that is out of
// range or not a whole number reads as its default too, and is named in `problems`, for the front to
// say once (refreshSettingsNotice).
#include <string>
#include <vector>

#include "platform/notice_language.h"
#include "settings/ini_file.h"

namespace korvex {

inline constexpr const char* kRefreshSection = "REFRESH";
inline constexpr int kMaxRefreshJobs = 64;
inline constexpr int kMaxRefreshPerPortal = 8;
inline constexpr int kMaxRefreshHours = 24;

// A value of the section that was not used.
struct RefreshSettingProblem {
    std::string key;        // "Jobs", "PerPortal", "EveryHours"
    std::string value;      // as the file holds it, cut short
    int low = 0, high = 0;  // the range it must be in
    int used = 0;           // the default used instead

    bool operator==(const RefreshSettingProblem&) const = default;
};

struct RefreshSettings {
    int jobs = 1;
    int perPortal = 1;
    int everyHours = 0;
    // Which of them the file holds (korvex-cli falls back only to a value the window stored).
    bool jobsStored = false;
    bool perPortalStored = false;
    std::vector<RefreshSettingProblem> problems;

    bool operator==(const RefreshSettings&) const = default;
};

RefreshSettings readRefreshSettings(const std::string& path);
RefreshSettings readRefreshSettings(const IniFile& ini);

// One notice (UTF-8, no line end) naming every value of `settings.problems`, the range it must be in and
// the default used instead; "" when there are none. English names the file at `path`.
std::string refreshSettingsNotice(const RefreshSettings& settings, const std::string& path,
                                  NoticeLanguage language);

// Writes the three values, keeping every other line of the file. Answers "" or why the file was not
// written (it is then as it was); a file that exists but cannot be read is not written at all.
std::string writeRefreshSettings(const std::string& path, const RefreshSettings& settings);

}  // namespace korvex
