// korvex-cli: Korvex from the command line, for cron jobs and scripts, on the Settings.ini of the
// window. See command_line.h for the commands and cli_commands.h for what they do.
#include <unistd.h>

#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "checks/check_clock.h"
#include "checks/portals_ini.h"
#include "korvex-cli/check_update_command.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/command_line.h"
#include "korvex-cli/forecast_command.h"
#include "korvex-cli/history_command.h"
#include "korvex-cli/profiles_command.h"
#include "korvex-cli/stop_signals.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/single_instance.h"
#include "settings/save_leftovers.h"
#include "update/install/handover.h"

int main(int argc, char** argv) {
    using namespace korvex;

    // An update that the helper left half-done is finished or undone before anything else reads
    // a file of this program; the user hears of it once.
    if (const std::string note = update::settleInterruptedInstall(); !note.empty())
        std::cerr << "korvex-cli: " << note << '\n';

    CliInvocation call;
    try {
        call = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const CliUsageError& e) {
        std::cerr << "korvex-cli: " << e.what() << '\n';
        if (e.topic() == CliCommand::Help)
            std::cerr << "Try 'korvex-cli --help'.\n";
        else
            std::cerr << "Try 'korvex-cli " << commandName(e.topic()) << " --help'.\n";
        return kExitUsage;
    }
    if (call.command == CliCommand::Help) {
        std::cout << helpText(call.helpTopic);
        return kExitOk;
    }

    // One writer of a book at a time, window or command line: the window holds the lock of its
    // book as long as it runs. Another book (another Settings.ini) is another lock, so korvex-cli
    // checks it beside the window. The commands that only read need no lock: every save replaces
    // the file whole, and they read the one they opened.
    const bool onlyReads = commandOnlyReads(call);
    // A command that only reads leaves the disk as it found it: no configuration folder made.
    const std::string settingsPath =
        call.settingsPath.empty() ? defaultSettingsPath(!onlyReads) : call.settingsPath;
    std::optional<SingleInstance> instance;
    if (!onlyReads) {
        instance.emplace(lockFolderOfThisCopy(), SingleInstance::bookLockName(settingsPath));
        if (!instance->acquired()) {
            std::cerr << (instance->anotherCopyRuns() ? cp1251ToUtf8(kSecondCopyMessage)
                                                      : "korvex-cli: " + instance->error())
                      << '\n';
            return kExitFailed;
        }
    }

    try {
        const SystemCheckClock clock;
        // Portals.ini, said once: by the commands that reach a portal or list them.
        PortalsSetup portals = loadPortals(settingsPath);
        if (call.command == CliCommand::Refresh || call.command == CliCommand::Trust ||
            call.command == CliCommand::CheckUpdate || call.command == CliCommand::Profiles)
        {
            for (const std::string& problem : portals.problems) std::cerr << "korvex-cli: " << problem << '\n';
            for (const ClearTextPortal& portal : portals.clearText)
                std::cerr << "korvex-cli: " << clearTextNotice(portal) << '\n';
        }
        CliContext context{settingsPath, std::cout, std::cerr, std::cin, std::move(portals.addresses), clock};
        context.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
        // With the lock ours no other copy is saving, so what a crashed save left goes now.
        if (instance) removeSaveLeftovers(context.settingsPath);
        switch (call.command) {
            case CliCommand::Show:
                return showCommand(context, call.csv);
            case CliCommand::Refresh: {
                const StopSignals signals;
                context.stop = &StopSignals::flag();
                context.progress = ::isatty(STDERR_FILENO) == 1;
                return refreshCommand(context, call.row,
                                      {call.jobs, call.perPortal, call.timeoutSeconds, call.summaryJson,
                                       call.notifyCommand, call.jobsGiven, call.perPortalGiven});
            }
            case CliCommand::Import:
                return importCommand(context, call.file, call.replace);
            case CliCommand::Export:
                return exportCommand(context, call.file);
            case CliCommand::History:
                return historyCommand(context, {call.login, call.plan, call.since, call.csv, call.pruneBefore});
            case CliCommand::Forecast:
                return forecastCommand(context, {call.within, call.json  ? ForecastFormat::Json
                                                              : call.csv ? ForecastFormat::Csv
                                                                         : ForecastFormat::Table});
            case CliCommand::Trust:
                return trustCommand(context, call.portals, call.all);
            case CliCommand::CheckUpdate: {
                const StopSignals signals;
                context.stop = &StopSignals::flag();
                return checkUpdateCommand(context);
            }
            case CliCommand::Profiles:
                return profilesCommand(context, call.profileArgs);
            case CliCommand::Help:
                break;
        }
    } catch (const std::exception& e) {
        std::cerr << "korvex-cli: " << e.what() << '\n';
        return kExitFailed;
    }
    return kExitOk;
}
