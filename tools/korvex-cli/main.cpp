// korvex-cli: Korvex from the command line, for cron jobs and scripts, on the Settings.ini of the
// window. Its commands are the rows of command_table.h, each in its file under commands/.
#include <unistd.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "checks/check_clock.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/command_line.h"
#include "korvex-cli/command_table.h"
#include "platform/paths.h"
#include "platform/single_instance.h"
#include "run/program_start.h"

int main(int argc, char** argv) {
    using namespace korvex;

    // An update that the helper left half-done is finished or undone before anything else reads
    // a file of this program; the user hears of it once.
    ProgramStart start;
    if (!start.installNote.empty()) std::cerr << "korvex-cli: " << start.installNote << '\n';

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
        std::cout << (call.version ? versionText() : helpText(call.helpTopic));
        return kExitOk;
    }
    const CliCommandRow& row = commandRow(call.command);

    // One writer of a book at a time, window or command line: the window holds the lock of its
    // book as long as it runs. Another book (another Settings.ini) is another lock, so korvex-cli
    // checks it beside the window. The commands that only read need no lock: every save replaces
    // the file whole, and they read the one they opened.
    const bool onlyReads = row.onlyReads(call);
    // A command that only reads leaves the disk as it found it: no configuration folder made.
    const std::string settingsPath =
        call.settingsPath.empty() ? defaultSettingsPath(!onlyReads) : call.settingsPath;
    if (!start.open(settingsPath, onlyReads ? StartLocks::None : StartLocks::Book, lockFolderOfThisCopy())) {
        std::cerr << "korvex-cli: "
                  << (start.refused->anotherCopyRuns() ? bookHeldText(settingsPath) : start.refused->error()) << '\n';
        return kExitFailed;
    }

    try {
        const SystemCheckClock clock;
        // Portals.ini, said once: by the commands that reach a portal or list them.
        PortalsSetup& portals = start.portals;
        if (row.readsPortals) {
            for (const std::string& problem : portals.problems) std::cerr << "korvex-cli: " << problem << '\n';
            for (const ClearTextPortal& portal : portals.clearText)
                std::cerr << "korvex-cli: " << clearTextNotice(portal) << '\n';
        }
        CliContext context{settingsPath, std::cout, std::cerr, std::cin, std::move(portals.addresses), clock};
        context.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
        return row.run(context, call);
    } catch (const std::exception& e) {
        std::cerr << "korvex-cli: " << e.what() << '\n';
        return kExitFailed;
    }
}
