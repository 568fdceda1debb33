// The window's refresh settings as Settings.ini holds them, and when its schedule is due.
#include "run/refresh_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run/refresh_schedule.h"
#include "settings/ini_file.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;

// The keys of the values that were not used, in the order read.
std::string problemKeys(const RefreshSettings& settings) {
    std::string keys;
    for (const RefreshSettingProblem& p : settings.problems) keys += (keys.empty() ? "" : ",") + p.key;
    return keys;
}

TEST(RefreshSettingsTest, ValuesOutOfRangeOrNotNumbersReadAsTheDefaultsAndAreNamed) {
    struct Case {
        const char* jobs;
        const char* perPortal;
        const char* hours;
        RefreshSettings expected;  // without its problems
        const char* problems;
    };
    const Case cases[] = {
        {"16", "2", "5", {16, 2, 5, true, true}, ""},
        {"64", "8", "24", {64, 8, 24, true, true}, ""},
        {"65", "9", "25", {1, 1, 0, false, false}, "Jobs,PerPortal,EveryHours"},
        {"0", "0", "-1", {1, 1, 0, false, false}, "Jobs,PerPortal,EveryHours"},
        {"4x", " ", "1.5", {1, 1, 0, false, false}, "Jobs,EveryHours"},
        {"", "3", "0", {1, 3, 0, false, true}, ""},
        {"100", "abc", "", {1, 1, 0, false, false}, "Jobs,PerPortal"},
    };
    test::TempDir dir;
    const std::string path = dir.file("Settings.ini");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.jobs) + "/" + c.perPortal + "/" + c.hours);
        IniFile ini;
        ini.setValue(kRefreshSection, "Jobs", c.jobs);
        ini.setValue(kRefreshSection, "PerPortal", c.perPortal);
        ini.setValue(kRefreshSection, "EveryHours", c.hours);
        ASSERT_FALSE(static_cast<bool>(ini.save(path)));
        RefreshSettings read = readRefreshSettings(path);
        EXPECT_EQ(problemKeys(read), c.problems);
        read.problems.clear();
        EXPECT_EQ(read, c.expected);
    }
    std::filesystem::remove(path);
    EXPECT_EQ(readRefreshSettings(path), RefreshSettings{}) << "no file: the window's run as it always was";
}

// The notice names each value with its range and the default used, in the front's language, on one
// line; what the file holds is cut short and cannot act on a terminal.
TEST(RefreshSettingsTest, TheNoticeNamesEachUnusedValueItsRangeAndTheDefaultInEitherLanguage) {
    test::TempDir dir;
    const std::string path = dir.file("Settings.ini");
    std::ofstream(path, std::ios::binary)
        << "[REFRESH]\r\nJobs=100\r\nPerPortal=\x1b[2Jabcdefghijklmnopqrstuvwxyz\r\n"
           "EveryHours=5\r\n";
    const RefreshSettings settings = readRefreshSettings(path);
    EXPECT_EQ(settings.everyHours, 5);
    struct Case {
        NoticeLanguage language;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {NoticeLanguage::English,
         {path, "Jobs=100 (not a whole number from 1 to 64)",
          "PerPortal=?[2Jabcdefghijkl… (not a whole number from 1 to 8)",
          "defaults are used instead (Jobs=1, PerPortal=1)"}},
        {NoticeLanguage::Russian,
         {"Jobs=100 (нужно целое число от 1 до 64)",
          "PerPortal=?[2Jabcdefghijkl… (нужно целое число от 1 до 8)",
          "значения по умолчанию: Jobs=1, PerPortal=1"}},
    };
    for (const Case& c : cases) {
        const std::string notice = refreshSettingsNotice(settings, path, c.language);
        for (const std::string& words : c.words) EXPECT_NE(notice.find(words), std::string::npos) << notice;
        EXPECT_EQ(notice.find('\n'), std::string::npos) << notice;
        EXPECT_EQ(notice.find('\x1b'), std::string::npos) << notice;
        EXPECT_EQ(refreshSettingsNotice(RefreshSettings{}, path, c.language), "");
    }
}

TEST(RefreshSettingsTest, WritingKeepsTheRestOfTheFileAndRefusesAFileItCannotRead) {
    test::TempDir dir;
    const std::string path = dir.file("Settings.ini");
    std::ofstream(path, std::ios::binary) << "[AUTHENTICATION]\r\nCount=abc\r\n";
    ASSERT_EQ(writeRefreshSettings(path, {.jobs = 16, .perPortal = 2, .everyHours = 3}), "");
    IniFile ini;
    ini.load(path);
    EXPECT_EQ(ini.value("AUTHENTICATION", "Count"), "abc");
    EXPECT_EQ(readRefreshSettings(path).jobs, 16);

    // A folder where the file should be: nothing is written over it.
    const std::string folder = dir.file("Folder.ini");
    std::filesystem::create_directory(folder);
    EXPECT_NE(writeRefreshSettings(folder, {}), "");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST(RefreshScheduleTest, DueAPeriodAfterTheLastRunEndedOnceAfterSleepAndNeverWhenOff) {
    auto now = std::chrono::system_clock::time_point(std::chrono::sys_days{std::chrono::December / 7 / 2026});
    RefreshSchedule schedule([&] { return now; });
    now += 100h;
    EXPECT_FALSE(schedule.due()) << "off";
    schedule.setPeriod(3);
    EXPECT_TRUE(schedule.due()) << "counted from the start";
    schedule.runEnded();
    now += 2h + 59min;
    EXPECT_FALSE(schedule.due());
    now += 1min;
    EXPECT_TRUE(schedule.due());
    now += 48h;  // asleep
    EXPECT_TRUE(schedule.due());
    schedule.runEnded();
    EXPECT_FALSE(schedule.due()) << "one run for the time missed";
    // A clock set back a day counts from there instead of waiting the day out.
    now -= 24h;
    EXPECT_FALSE(schedule.due());
    now += 3h;
    EXPECT_TRUE(schedule.due());
    schedule.setPeriod(0);
    EXPECT_FALSE(schedule.due());
}

}  // namespace
}  // namespace korvex
