#include "run/refresh_settings.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <system_error>

#include "platform/codepage.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"

namespace korvex {

namespace {

// What a problem shows of the value: enough to recognise it, nothing that acts on a terminal.
constexpr std::size_t kShownValueBytes = 16;

std::string shownValue(const std::string& text) {
    std::string shown = cp1251ToUtf8(text.substr(0, kShownValueBytes));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    if (text.size() > kShownValueBytes) shown += "…";
    return shown;
}

// A whole number low..high; a missing or empty value reads as none, anything else unusable as a problem.
std::optional<int> wholeNumber(const IniFile& ini, const char* key, int low, int high, int fallback,
                               std::vector<RefreshSettingProblem>& problems) {
    const std::string text = ini.value(kRefreshSection, key);
    if (text.empty()) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size() && value >= low && value <= high)
        return value;
    problems.push_back({key, shownValue(text), low, high, fallback});
    return std::nullopt;
}

}  // namespace

RefreshSettings readRefreshSettings(const std::string& path) {
    IniFile ini;
    ini.load(path);
    return readRefreshSettings(ini);
}

RefreshSettings readRefreshSettings(const IniFile& ini) {
    RefreshSettings settings;
    if (const auto jobs = wholeNumber(ini, "Jobs", 1, kMaxRefreshJobs, settings.jobs, settings.problems)) {
        settings.jobs = *jobs;
        settings.jobsStored = true;
    }
    if (const auto perPortal =
            wholeNumber(ini, "PerPortal", 1, kMaxRefreshPerPortal, settings.perPortal, settings.problems)) {
        settings.perPortal = *perPortal;
        settings.perPortalStored = true;
    }
    settings.everyHours =
        wholeNumber(ini, "EveryHours", 0, kMaxRefreshHours, settings.everyHours, settings.problems)
            .value_or(0);
    return settings;
}

std::string refreshSettingsNotice(const RefreshSettings& settings, const std::string& path,
                                  NoticeLanguage language) {
    if (settings.problems.empty()) return {};
    const bool russian = language == NoticeLanguage::Russian;
    std::string values, defaults;
    for (const RefreshSettingProblem& p : settings.problems) {
        const std::string separator = values.empty() ? "" : ", ";
        const std::string range =
            std::to_string(p.low) + (russian ? " до " : " to ") + std::to_string(p.high);
        values +=
            separator + p.key + "=" + p.value +
            (russian ? " (нужно целое число от " + range + ")" : " (not a whole number from " + range + ")");
        defaults += separator + p.key + "=" + std::to_string(p.used);
    }
    if (russian)
        return "Настройки обновления в файле настроек (раздел [REFRESH]) не годятся: " + values +
               ". Вместо них действуют значения по умолчанию: " + defaults +
               ". Задайте нужные на вкладке «Настройки», и они запишутся в файл.";
    return "section [REFRESH] of " + path + ": " + values + "; the defaults are used instead (" + defaults +
           "); set them in the window's settings tab, or correct the file";
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
