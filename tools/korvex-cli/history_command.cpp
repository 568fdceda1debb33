#include "korvex-cli/history_command.h"

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
    std::string text(outcomeName(e.outcome));
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
                        std::string(outcomeName(e.outcome)), e.detail});
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
        if (options.csv && context.outIsTerminal) {
            std::ostringstream text;
            printCsv(text, entries);
            context.out << terminalCsv(text.str());
        } else if (options.csv) {
            printCsv(context.out, entries);
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

}  // namespace korvex
