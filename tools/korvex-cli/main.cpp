// korvex-cli: Korvex from the command line, for cron jobs and scripts, on the Settings.ini of the
// window. See command_line.h for the commands and cli_commands.h for what they do.
#include <unistd.h>

#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "checks/check_clock.h"
#include "checks/portal_addresses.h"
#include "korvex-cli/check_update_command.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/command_line.h"
#include "korvex-cli/forecast_command.h"
#include "korvex-cli/history_command.h"
#include "korvex-cli/stop_signals.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/single_instance.h"
#include "settings/save_leftovers.h"

int main(int argc, char** argv) {
    using namespace korvex;

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

    // One copy of Korvex at a time, window or command line, as the window itself guards it. The
    // commands that only read need no lock: every save replaces the file whole, and they read the
    // one they opened.
    const bool onlyReads = call.command == CliCommand::Show || call.command == CliCommand::Export ||
                           call.command == CliCommand::Forecast ||
                           (call.command == CliCommand::History && call.pruneBefore.empty());
    std::optional<SingleInstance> instance;
    if (!onlyReads) {
        instance.emplace(lockFolderOfThisCopy());
        if (!instance->acquired()) {
            std::cerr << (instance->anotherCopyRuns() ? cp1251ToUtf8(kSecondCopyMessage)
                                                      : "korvex-cli: " + instance->error())
                      << '\n';
            return kExitFailed;
        }
    }

    try {
        const SystemCheckClock clock;
        CliContext context{call.settingsPath.empty() ? defaultSettingsPath() : call.settingsPath,
                           std::cout,
                           std::cerr,
                           std::cin,
                           PortalAddresses::fromBuild(),
                           clock};
        // With the lock ours no other copy is saving, so what a crashed save left goes now.
        if (instance) removeSaveLeftovers(context.settingsPath);
        switch (call.command) {
            case CliCommand::Show:
                return showCommand(context, call.csv);
            case CliCommand::Refresh: {
                const StopSignals signals;
                context.stop = &StopSignals::flag();
                context.progress = ::isatty(STDERR_FILENO) == 1;
                return refreshCommand(
                    context, call.row,
                    {call.jobs, call.perPortal, call.timeoutSeconds, call.summaryJson, call.notifyCommand});
            }
            case CliCommand::Import:
                return importCommand(context, call.file, call.replace);
            case CliCommand::Export:
                return exportCommand(context, call.file);
            case CliCommand::History:
                return historyCommand(context, {call.login, call.since, call.csv, call.pruneBefore});
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
            case CliCommand::Help:
                break;
        }
    } catch (const std::exception& e) {
        std::cerr << "korvex-cli: " << e.what() << '\n';
        return kExitFailed;
    }
    return kExitOk;
}
