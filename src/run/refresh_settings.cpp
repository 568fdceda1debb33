#include "run/refresh_settings.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <system_error>

#include "settings/ini_file.h"
#include "settings/settings_file.h"

namespace korvex {

namespace {

std::optional<int> wholeNumber(const IniFile& ini, const char* key, int low, int high) {
    const std::string text = ini.value(kRefreshSection, key);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high)
        return std::nullopt;
    return value;
}

}  // namespace

RefreshSettings readRefreshSettings(const std::string& path) {
    IniFile ini;
    ini.load(path);
    RefreshSettings settings;
    if (const auto jobs = wholeNumber(ini, "Jobs", 1, kMaxRefreshJobs)) {
        settings.jobs = *jobs;
        settings.jobsStored = true;
    }
    if (const auto perPortal = wholeNumber(ini, "PerPortal", 1, kMaxRefreshPerPortal)) {
        settings.perPortal = *perPortal;
        settings.perPortalStored = true;
    }
    settings.everyHours = wholeNumber(ini, "EveryHours", 0, kMaxRefreshHours).value_or(0);
    return settings;
}

std::string writeRefreshSettings(const std::string& path, const RefreshSettings& settings) {
    IniFile ini;
    std::error_code error;
    // Written whole from what was read: a file that could not be read must not be replaced by three keys.
    if (ini.load(path, &error) == IniFile::LoadStatus::Failed)
        return "Unable to read " + path + ": " + error.message();
    ini.setValue(kRefreshSection, "Jobs", std::to_string(std::clamp(settings.jobs, 1, kMaxRefreshJobs)));
    ini.setValue(kRefreshSection, "PerPortal",
                 std::to_string(std::clamp(settings.perPortal, 1, kMaxRefreshPerPortal)));
    ini.setValue(kRefreshSection, "EveryHours",
                 std::to_string(std::clamp(settings.everyHours, 0, kMaxRefreshHours)));
    if (const std::error_code saveError = ini.save(path, settingsModeBitsToDrop(ini)))
        return "Unable to write to " + path + ": " + saveError.message();
    return {};
}

}  // namespace korvex
