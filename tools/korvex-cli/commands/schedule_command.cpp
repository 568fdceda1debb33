#include "korvex-cli/commands/schedule_command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <ostream>
#include <vector>

#include "korvex-cli/command_table.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "run/timer_schedule.h"

extern char** environ;

namespace korvex {

namespace {

constexpr const char* kPrefix = "korvex-cli: ";
constexpr int kDefaultEvery = 6 * 60;  // as the package's timer

// `systemctl --user ARGS`, its input from /dev/null and, when `quiet`, its output as well; its exit
// status, or -1 when it could not be started (no systemctl).
int systemctl(const std::vector<std::string>& args, bool quiet = false) {
    std::cout.flush();
    std::cerr.flush();
    std::vector<std::string> words{"systemctl", "--user"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "systemctl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs each `systemctl --user` line in turn; false, with the one that failed said, at the first failure.
bool systemctlSteps(const CliContext& context, const std::vector<std::vector<std::string>>& steps) {
    for (const std::vector<std::string>& step : steps) {
        const int status = systemctl(step);
        if (status == 0) continue;
        std::string line = "systemctl --user";
        for (const std::string& word : step) line += " " + word;
        context.err << kPrefix << line << " ended with status " << status << '\n';
        return false;
    }
    return true;
}

std::string bookPath(const CliContext& context) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(context.settingsPath, ec);
    return ec ? context.settingsPath : absolute.lexically_normal().string();
}

// No systemd to ask: what cron does instead, on `out`, and why on `err`.
void sayCrontabLine(const CliContext& context, int minutes, const std::string& why) {
    const CrontabLine cron = crontabLine(executablePath(), bookPath(context), minutes);
    context.err << kPrefix << why << "; to run the checks from cron instead, add this line with crontab -e";
    if (cron.minutes != minutes)
        context.err << " (cron repeats every " << scheduleIntervalText(cron.minutes) << ", the nearest to "
                    << scheduleIntervalText(minutes) << " it can)";
    context.err << ":\n";
    context.out << cron.line << '\n';
}

// Whether a systemd user manager answers; when none does, the reason.
std::string noUserManager() {
    const int status = systemctl({"show-environment"}, true);
    if (status < 0) return "there is no systemctl (no systemd)";
    if (status != 0) return "no systemd user manager answers (systemctl --user show-environment failed)";
    return {};
}

bool writeDropIn(const CliContext& context, const std::string& path, const Expected<std::string>& text) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    Expected<void> written =
        text ? writeFileAtomically(path, *text, {.mode = 0644}) : Unexpected(text.error());
    if (written) return true;
    context.err << kPrefix << written.error().message << '\n';
    return false;
}

int enableSchedule(const CliContext& context, int minutes) {
    if (const std::string why = noUserManager(); !why.empty()) {
        sayCrontabLine(context, minutes, why + ": nothing was scheduled");
        return kExitFailed;
    }
    const std::string config = userConfigHome();
    if (!writeDropIn(context, serviceDropInPath(config),
                     serviceDropIn(executablePath(), bookPath(context))) ||
        !writeDropIn(context, timerDropInPath(config), timerDropIn(minutes)))
        return kExitFailed;
    if (!systemctlSteps(context,
                        {{"daemon-reload"}, {"enable", kScheduleTimer}, {"restart", kScheduleTimer}})) {
        sayCrontabLine(context, minutes,
                       std::string(kScheduleTimer) + " comes with the Korvex package and is not enabled");
        return kExitFailed;
    }
    context.out << kScheduleTimer << " enabled: korvex-cli refresh every " << scheduleIntervalText(minutes)
                << " on " << bookPath(context) << ", the first in 5 min.\n"
                << "Its summaries: journalctl --user -u " << kScheduleService << '\n';
    return kExitOk;
}

int disableSchedule(const CliContext& context) {
    const std::string why = noUserManager();
    if (why.empty() && !systemctlSteps(context, {{"disable", "--now", kScheduleTimer}})) return kExitFailed;
    const std::string config = userConfigHome();
    for (const std::string& path : {timerDropInPath(config), serviceDropInPath(config)}) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        std::filesystem::remove(std::filesystem::path(path).parent_path(), ec);  // when empty
    }
    if (!why.empty()) {
        context.err << kPrefix << why
                    << "; a schedule by cron is removed with crontab -e (the korvex-cli line)\n";
        return kExitOk;
    }
    systemctl({"daemon-reload"});
    context.out << kScheduleTimer << " disabled\n";
    return kExitOk;
}

int scheduleStatus(const CliContext& context) {
    if (const std::string why = noUserManager(); !why.empty()) {
        context.err << kPrefix << why << "; a schedule by cron shows in crontab -l\n";
        return kExitFailed;
    }
    if (systemctl({"is-enabled", "--quiet", kScheduleTimer}) != 0) {
        context.out << kScheduleTimer << ": disabled\n";
        return kExitOk;
    }
    std::string dropIn;
    if (std::ifstream file(timerDropInPath(userConfigHome())); file) std::getline(file, dropIn, '\0');
    const std::optional<int> minutes = timerDropInInterval(dropIn);
    context.out << kScheduleTimer << ": enabled"
                << (systemctl({"is-active", "--quiet", kScheduleTimer}) == 0 ? "" : " but not running")
                << ", korvex-cli refresh every "
                << (minutes ? scheduleIntervalText(*minutes) : std::string("6h"))
                << "\nIts summaries: journalctl --user -u " << kScheduleService << '\n';
    return kExitOk;
}

void scheduleFinish(CliInvocation& call, const std::vector<std::string>& operands) {
    if (operands.size() != 1 ||
        (operands[0] != "enable" && operands[0] != "disable" && operands[0] != "status"))
        throw CliUsageError("schedule takes enable, disable or status", call.command);
    call.scheduleAction = operands[0];
    if (call.scheduleEvery && call.scheduleAction != "enable")
        throw CliUsageError("--every goes with schedule enable", call.command);
}

int runSchedule(CliContext& context, const CliInvocation& call) {
    return scheduleCommand(context, call);
}

constexpr CliOption kScheduleOptions[] = {
    {.name = "--every",
     .argument = "TIME",
     .kind = ArgKind::Text,
     .help = "enable: how often, from 15min to 7d, as 30min, 6h or 1d (6h)",
     .set =
         [](CliInvocation& call, const std::string& value, int) {
             const std::optional<int> minutes = parseScheduleInterval(value);
             if (!minutes)
                 throw CliUsageError(
                     "--every takes a time from 15min to 7d, as 30min, 6h or 1d, not \"" + value + "\"",
                     CliCommand::Schedule);
             call.scheduleEvery = *minutes;
         }},
};

}  // namespace

int scheduleCommand(const CliContext& context, const CliInvocation& call) {
    if (userConfigHome().empty()) {
        context.err << kPrefix
                    << "no home folder is known (HOME), so there is no place for the timer's drop-ins\n";
        return kExitFailed;
    }
    if (call.scheduleAction == "enable")
        return enableSchedule(context, call.scheduleEvery.value_or(kDefaultEvery));
    if (call.scheduleAction == "disable") return disableSchedule(context);
    return scheduleStatus(context);
}

const CliCommandRow kScheduleRow{
    .command = CliCommand::Schedule,
    .name = "schedule",
    .operands = "enable | disable | status",
    .summary = "check every account regularly without the window (systemd timer)",
    .description =
        "schedule enable runs korvex-cli refresh on this book every TIME from the systemd\n"
        "user timer korvex-refresh.timer, which the package installs disabled: it writes\n"
        "the interval and the book into drop-ins under ~/.config/systemd/user and enables\n"
        "the timer with systemctl --user. Each run's summary goes to the journal as JSON\n"
        "(journalctl --user -u korvex-refresh.service). A run finds the book open in the\n"
        "window or another korvex-cli as any refresh does: it changes nothing and fails.\n"
        "schedule disable stops and disables the timer and removes the drop-ins; schedule\n"
        "status says whether it is enabled and how often it runs.\n"
        "Without systemd (no systemctl, or no user manager) enable prints the crontab line\n"
        "that does the same, and schedules nothing.\n",
    .epilogue =
        "Exit status 0 done; 1 nothing was scheduled or changed (the reason on standard\n"
        "error; without systemd, the crontab line on standard output), or status found no\n"
        "systemd; 2 a bad command line.\n",
    .options = kScheduleOptions,
    .onlyReads = alwaysReads,  // the book is only named, never opened: it runs beside the window
    .readsPortals = false,
    .finish = scheduleFinish,
    .run = runSchedule,
};

}  // namespace korvex
