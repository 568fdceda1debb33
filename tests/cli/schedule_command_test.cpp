// korvex-cli schedule with a stand-in systemctl on PATH that records what it is asked, and the units
// with the drop-ins it writes as systemd-analyze reads them.
#include "korvex-cli/commands/schedule_command.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "korvex-cli/command_line.h"
#include "platform/paths.h"
#include "run/timer_schedule.h"
#include "tests/cli/cli_test_support.h"
#include "tests/support/scoped_env.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using Args = std::vector<std::string>;

// A settings folder, a configuration folder and a PATH holding only the stand-in systemctl, which
// appends its arguments to a log and fails for the subcommand named in the file "fails".
class ScheduleTest : public ::testing::Test {
protected:
    ScheduleTest() {
        fs::create_directory(bin);
        const std::string script = "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + log +
                                   "'\n"
                                   "fails=; [ -f '" +
                                   fails + "' ] && read -r fails < '" + fails +
                                   "'\n"
                                   "[ \"$2\" = \"$fails\" ] && exit 1\nexit 0\n";
        std::ofstream(bin / "systemctl") << script;
        fs::permissions(bin / "systemctl", fs::perms::owner_all);
    }
    int run(const Args& args) {
        const CliInvocation call = parseCommandLine(args);
        return scheduleCommand(folder.context(), call);
    }
    std::string calls() { return test::readFile(log); }
    void failing(const std::string& subcommand) { std::ofstream(fails) << subcommand << '\n'; }

    test::CliFolder folder;
    test::TempDir config;
    fs::path bin = folder.dir.path() / "bin";
    std::string log = folder.dir.file("systemctl.log");
    std::string fails = folder.dir.file("fails");
    ScopedEnv configHome{"XDG_CONFIG_HOME", config.path().string()};
    ScopedEnv path{"PATH", bin.string()};
    std::string timerDropIn = timerDropInPath(config.path().string());
    std::string serviceDropIn = serviceDropInPath(config.path().string());
};

// enable writes both drop-ins and enables the timer anew; status reads it back; disable undoes both.
TEST_F(ScheduleTest, EnableStatusDisableThroughSystemctl) {
    ASSERT_EQ(run({"schedule", "enable", "--every", "90min"}), kExitOk) << folder.err.str();
    EXPECT_EQ(calls(),
              "--user show-environment\n--user daemon-reload\n--user enable korvex-refresh.timer\n"
              "--user restart korvex-refresh.timer\n");
    EXPECT_NE(test::readFile(timerDropIn).find("\nOnUnitActiveSec=90min\n"), std::string::npos);
    EXPECT_NE(test::readFile(serviceDropIn)
                  .find(" --settings \"" + folder.settings + "\" refresh --summary json\n"),
              std::string::npos)
        << test::readFile(serviceDropIn);

    fs::remove(log);
    ASSERT_EQ(run({"schedule", "status"}), kExitOk);
    EXPECT_NE(folder.out.str().find("enabled, korvex-cli refresh every 90min"), std::string::npos)
        << folder.out.str();
    EXPECT_EQ(calls(),
              "--user show-environment\n--user is-enabled --quiet korvex-refresh.timer\n"
              "--user is-active --quiet korvex-refresh.timer\n");

    fs::remove(log);
    ASSERT_EQ(run({"schedule", "disable"}), kExitOk);
    EXPECT_EQ(calls(),
              "--user show-environment\n--user disable --now korvex-refresh.timer\n--user daemon-reload\n");
    EXPECT_FALSE(fs::exists(timerDropIn));
    EXPECT_FALSE(fs::exists(serviceDropIn));
    failing("is-enabled");
    ASSERT_EQ(run({"schedule", "status"}), kExitOk);
    EXPECT_EQ(folder.out.str(), "korvex-refresh.timer: disabled\n");
}

// Without systemd (no systemctl at all, or no user manager) and without the package's timer, enable
// schedules nothing, says so (exit 1) and prints the crontab line for cron's nearest interval.
TEST_F(ScheduleTest, WithoutATimerEnablePrintsTheCrontabLine) {
    struct Case {
        const char* name;
        const char* fails;  // the systemctl subcommand that fails; "-": no systemctl on PATH
        bool dropInsWritten;
    } cases[] = {
        {"no systemctl", "-", false},
        {"no user manager", "show-environment", false},
        {"no korvex-refresh.timer installed", "enable", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        failing(c.fails);
        ScopedEnv noPath("PATH", std::string(c.fails) == "-" ? folder.dir.file("nowhere") : bin.string());
        EXPECT_EQ(run({"schedule", "enable", "--every", "5h"}), kExitFailed);
        EXPECT_EQ(folder.out.str(), "0 */4 * * * '" + executablePath() + "' --settings '" + folder.settings +
                                        "' refresh >/dev/null\n");
        EXPECT_NE(folder.err.str().find("crontab -e (cron repeats every 4h"), std::string::npos)
            << folder.err.str();
        EXPECT_EQ(fs::exists(timerDropIn), c.dropInsWritten);
        fs::remove(timerDropIn);
    }
}

// --every is a whole number of min, h or d from 15 minutes to 7 days, and goes with enable alone:
// anything else is a usage error (exit 2 and the command's help), before anything is written.
TEST(ScheduleInterval, OnlyWholeTimesInRangeAreTaken) {
    const std::pair<const char*, int> good[] = {{"15min", 15}, {"90min", 90}, {"6h", 360},
                                                {"1d", 1440},  {"7d", 10080}, {"168h", 10080}};
    for (const auto& [text, minutes] : good) EXPECT_EQ(parseScheduleInterval(text), minutes) << text;
    for (const char* bad : {"14min", "8d", "169h", "0h", "-6h", "+6h", "6", "h", "6 h", "6H", "6hours",
                            "1.5h", "4294967302min", "", "6h "})
        EXPECT_FALSE(parseScheduleInterval(bad)) << bad;
    for (const Args& line :
         {Args{"schedule"}, Args{"schedule", "start"}, Args{"schedule", "disable", "--every", "6h"}})
        EXPECT_THROW(parseCommandLine(line), CliUsageError) << line.back();
}

// cron's line runs in sh: a path with a quote and a '%' (cron's line break) reaches korvex-cli whole.
TEST(ScheduleCrontab, PathsReachTheProgramWhole) {
    const CrontabLine cron = crontabLine("/home/o'brien/100%/korvex-cli", "/home/o'brien/S.ini", 45);
    EXPECT_EQ(cron.minutes, 30);
    ASSERT_TRUE(cron.line.starts_with("*/30 * * * * ")) << cron.line;
    // What cron hands to sh: the schedule taken off, "\%" made "%".
    const std::string command = std::regex_replace(cron.line.substr(13), std::regex(R"(\\%)"), "%");
    const std::string echo =
        "f() { printf '%s|' \"$@\"; }; f " + command.substr(0, command.find(" >/dev/null"));
    test::TempDir dir;
    const std::string out = dir.file("out");
    ASSERT_EQ(std::system(("sh -c \"$(cat '" + dir.write("cmd", echo) + "')\" > '" + out + "'").c_str()), 0);
    EXPECT_EQ(test::readFile(out), "/home/o'brien/100%/korvex-cli|--settings|/home/o'brien/S.ini|refresh|");
    EXPECT_EQ(crontabLine("k", "s", 7 * 1440).line.substr(0, 10), "0 0 * * 0 ");
    EXPECT_EQ(crontabLine("k", "s", 6 * 1440).line.substr(0, 10), "0 0 * * * ");
}

// The package's units as systemd reads them: alone (their program put where the test has one), and
// with the drop-ins of schedule enable for a copy whose path and book hold a space, '%' and '$'.
TEST(ScheduleUnits, SystemdAnalyzeVerifiesThemWithTheDropIns) {
    if (std::system("command -v systemd-analyze >/dev/null") != 0) GTEST_SKIP() << "no systemd-analyze";
    test::TempDir units;
    const fs::path odd = units.path() / "a b%$c";
    fs::create_directory(odd);
    fs::copy_file("/bin/true", odd / "korvex-cli");
    std::string service = test::readFile(KORVEX_UNITS_SOURCE "/korvex-refresh.service");
    service.replace(service.find("ExecStart=korvex-cli"), 20, "ExecStart=/bin/true");
    units.write("korvex-refresh.service", service);
    units.write("korvex-refresh.timer", test::readFile(KORVEX_UNITS_SOURCE "/korvex-refresh.timer"));
    const auto verify = [&] {
        const std::string out = units.file("verify.log");
        const int status = std::system(("cd '" + units.path().string() +
                                        "' && systemd-analyze verify --man=no ./korvex-refresh.service "
                                        "./korvex-refresh.timer > verify.log 2>&1")
                                           .c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << test::readFile(out);
        EXPECT_EQ(test::readFile(out), "");
    };
    verify();
    const Expected<std::string> dropIn =
        serviceDropIn((odd / "korvex-cli").string(), (odd / "S.ini").string());
    ASSERT_TRUE(dropIn);
    fs::create_directory(units.path() / "korvex-refresh.service.d");
    fs::create_directory(units.path() / "korvex-refresh.timer.d");
    // systemd-analyze reads a unit's drop-ins from beside the unit's file.
    units.write("korvex-refresh.service.d/korvex-book.conf", *dropIn);
    units.write("korvex-refresh.timer.d/korvex-interval.conf", timerDropIn(45));
    verify();
    EXPECT_FALSE(serviceDropIn("/a\nb/korvex-cli", "/S.ini"));
}

}  // namespace
}  // namespace korvex
