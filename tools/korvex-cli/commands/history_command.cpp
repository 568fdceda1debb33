#include "korvex-cli/command_table.h"
#include "korvex-cli/commands/history_command.h"

#include <charconv>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <vector>

#include "history/balance_history.h"
#include "korvex-cli/balance_table.h"
#include "korvex-cli/csv_text.h"

namespace korvex {

namespace {

constexpr const char* kPrefix = "korvex-cli: ";

// The number as a script reads it back: the shortest text that gives the same double.
std::string numberText(const std::optional<double>& value) {
    if (!value) return {};
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, *value);
    return std::string(text, result.ptr);
}

std::string outcomeText(const HistoryEntry& e) {
    std::string text(outcomeWords(e.outcome));
    if (!e.detail.empty()) text += " (" + e.detail + ")";
    return text;
}

void printTable(std::ostream& out, const std::vector<HistoryEntry>& entries) {
    std::vector<std::vector<std::string>> lines;
    lines.push_back({"time (UTC)", "login", "plan", "balance", "speed", "status", "outcome"});
    for (const HistoryEntry& e : entries)
        lines.push_back({terminalText(e.time), terminalText(e.login), terminalText(e.plan),
                         terminalText(e.balanceText), terminalText(e.speed), terminalText(e.status),
                         terminalText(outcomeText(e))});
    printAlignedLines(out, lines);
}

void printCsv(std::ostream& out, const std::vector<HistoryEntry>& entries) {
    out << csvLine({"time", "login", "plan", "balance", "amount", "speed", "status", "outcome", "detail"});
    for (const HistoryEntry& e : entries)
        out << csvLine({e.time, e.login, e.plan, e.balanceText, numberText(e.balance), e.speed, e.status,
                        std::string(outcomeWords(e.outcome)), e.detail});
}

}  // namespace

int historyCommand(const CliContext& context, const HistoryOptions& options) {
    const std::string path = historyPathFor(context.settingsPath);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        // Not made here: reading must not leave an empty history file behind.
        if (options.pruneBefore.empty() && options.csv) printCsv(context.out, {});
        context.err << kPrefix << "no checks are kept yet (" << path << " begins with the next refresh)\n";
        context.out.flush();
        return kExitOk;
    }
    try {
        // Only pruning writes; reading works on a file or a folder this user may not write.
        BalanceHistory history =
            options.pruneBefore.empty() ? BalanceHistory::openForReading(path) : BalanceHistory(path);
        if (!options.pruneBefore.empty()) {
            const long long removed = history.pruneBefore(options.pruneBefore);
            context.out << "removed " << removed << (removed == 1 ? " check" : " checks") << " before "
                        << options.pruneBefore << " from " << path << '\n';
            context.out.flush();
            return kExitOk;
        }
        const std::vector<HistoryEntry> entries = history.read({options.login, options.since, 0, options.plan});
        if (options.csv) {
            std::ostringstream text;
            printCsv(text, entries);
            writeCsv(context.out, text.str(), context.outIsTerminal);
        } else if (!entries.empty())
            printTable(context.out, entries);
        else
            context.err << kPrefix << "no checks"
                        << (options.login.empty() ? "" : " of " + terminalText(options.login))
                        << (options.plan.empty() ? "" : " on plan " + terminalText(options.plan))
                        << (options.since.empty() ? "" : " since " + options.since) << " in " << path << '\n';
        context.out.flush();
        return context.out ? kExitOk : kExitFailed;
    } catch (const HistoryError& e) {
        context.err << kPrefix << e.what() << '\n';
        return kExitFailed;
    }
}

namespace {

constexpr CliOption kHistoryOptions[] = {
    {.name = "--login",
     .argument = "L",
     .kind = ArgKind::Text,
     .help = "the checks of one login (every account it has)",
     .set = [](CliInvocation& call, const std::string& value, int) { call.login = value; }},
    {.name = "--plan",
     .argument = "P",
     .kind = ArgKind::Text,
     .help = "with --login, the checks of that login on plan code P\nonly: one account",
     .set = [](CliInvocation& call, const std::string& value, int) { call.plan = value; },
     .what = "a plan code"},
    {.name = "--since",
     .argument = "DATE",
     .kind = ArgKind::Date,
     .help = "the checks from DATE on",
     .set = [](CliInvocation& call, const std::string& value, int) { call.since = value; }},
    {.name = "--csv",
     .help = "CSV (UTF-8) with the header line\ntime,login,plan,balance,amount,speed,status,outcome,detail\n"
             "(amount: the balance as a number when it reads as one)",
     .set = [](CliInvocation& call, const std::string&, int) { call.csv = true; }},
    {.name = "--prune-before",
     .argument = "DATE",
     .kind = ArgKind::Date,
     .help = "remove every check before DATE (without --login, --since\nand --csv)",
     .set = [](CliInvocation& call, const std::string& value, int) { call.pruneBefore = value; }},
};

void historyFinish(CliInvocation& call, const std::vector<std::string>& operands) {
    // An account is a login and a plan code: a plan alone names no account.
    if (!call.plan.empty() && call.login.empty())
        throw CliUsageError("--plan goes with --login: together they name one account", call.command);
    if (!call.pruneBefore.empty() && (call.csv || !call.login.empty() || !call.since.empty()))
        throw CliUsageError("--prune-before removes old checks of every account; it goes without --login, "
                            "--since and --csv",
                            call.command);
    takesNoOperand(call, operands);
}

int runHistory(CliContext& context, const CliInvocation& call) {
    return historyCommand(context, {call.login, call.plan, call.since, call.csv, call.pruneBefore});
}

}  // namespace

const CliCommandRow kHistoryRow{
    .command = CliCommand::History,
    .name = "history",
    .summary = "print the checks kept in the balance history",
    .description = "Prints the checks kept in History.sqlite beside the settings file, oldest first:\n"
                   "time (UTC), login, plan code, balance, speed, status and outcome (read, values not\n"
                   "found, check failed, no answer: as the run summary says). Every refresh of the\n"
                   "window or of korvex-cli adds its checks; deleting an account keeps its history.\n",
    .epilogue = "DATE is YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], in UTC.\n",
    .options = kHistoryOptions,
    .onlyReads = [](const CliInvocation& call) { return call.pruneBefore.empty(); },
    .readsPortals = false,
    .finish = historyFinish,
    .run = runHistory,
};

}  // namespace korvex
