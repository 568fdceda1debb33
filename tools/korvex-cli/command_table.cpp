#include "korvex-cli/command_table.h"

#include <algorithm>

namespace korvex {

namespace {

constexpr const CliCommandRow* kTable[] = {&kShowRow,    &kRefreshRow, &kImportRow, &kExportRow,
                                           &kHistoryRow, &kForecastRow, &kTrustRow, &kCheckUpdateRow,
                                           &kUpdateRow, &kProfilesRow, &kScheduleRow, &kHelpRow};

constexpr CliOption kGlobalOptions[] = {
    {.name = "--settings",
     .argument = "FILE",
     .kind = ArgKind::Text,
     .help = "another settings file than the window's Settings.ini",
     .set = [](CliInvocation& call, const std::string& value, int) { call.settingsPath = value; },
     .what = "a file name",
     .everyCommand = true},
    {.name = "--help",
     .help = "the help of the program, or of the command before it",
     .set = [](CliInvocation&, const std::string&, int) {},
     .letter = 'h'},
    {.name = "--version",
     .help = "the version of korvex-cli",
     .set = [](CliInvocation&, const std::string&, int) {}},
};

constexpr std::size_t kHelpColumn = 19;  // where an option's help starts
constexpr std::size_t kUsageWidth = 100;

std::string optionLabel(const CliOption& option) {
    return "  " + std::string(option.name) + (option.argument.empty() ? "" : " " + std::string(option.argument));
}

// "  --jobs N         check up to N ...", the help's further lines under its first.
void appendOptionHelp(std::string& out, const CliOption& option) {
    std::string label = optionLabel(option);
    if (label.size() + 2 > kHelpColumn) {
        out += label + '\n';
        label.clear();
    }
    label.resize(kHelpColumn, ' ');
    std::string_view help = option.help;
    for (bool first = true; first || !help.empty(); first = false) {
        const std::size_t end = help.find('\n');
        out += (first ? label : std::string(kHelpColumn, ' ')) + std::string(help.substr(0, end)) + '\n';
        help = end == std::string_view::npos ? std::string_view() : help.substr(end + 1);
    }
}

// "usage: korvex-cli refresh [--row N] ... [--settings FILE]", broken before it grows too wide.
std::string usageLine(const CliCommandRow& row) {
    std::string out = "usage: korvex-cli " + std::string(row.name);
    const std::size_t indent = out.size() + 1;
    std::size_t lineStart = 0;
    const auto add = [&](const std::string& word) {
        if (out.size() - lineStart + 1 + word.size() > kUsageWidth) {
            out += '\n';
            lineStart = out.size();
            out += std::string(indent - 1, ' ');
        }
        out += ' ' + word;
    };
    if (!row.operands.empty()) add(std::string(row.operands));
    for (const CliOption& option : row.options) add("[" + optionLabel(option).substr(2) + "]");
    for (const CliOption& option : kGlobalOptions)
        if (option.everyCommand) add("[" + optionLabel(option).substr(2) + "]");
    return out + '\n';
}

std::string commandHelp(const CliCommandRow& row) {
    std::string out = usageLine(row) + '\n' + std::string(row.description) + '\n';
    for (const CliOption& option : row.options) appendOptionHelp(out, option);
    for (const CliOption& option : kGlobalOptions)
        if (option.everyCommand) appendOptionHelp(out, option);
    if (!row.epilogue.empty()) out += '\n' + std::string(row.epilogue);
    return out;
}

// "show, export, history, forecast, check-update, update and profiles": the commands that only read
// (help and schedule open no book).
std::string readingCommands() {
    std::vector<std::string_view> names;
    for (const CliCommandRow* row : kTable)
        if (row != &kHelpRow && row != &kScheduleRow) {
            CliInvocation call;
            call.command = row->command;
            if (row->onlyReads(call)) names.push_back(row->name);
        }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += std::string(i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + std::string(names[i]);
    return text;
}

std::string overview() {
    std::string out =
        "usage: korvex-cli [--settings FILE] COMMAND [OPTIONS]\n"
        "\n"
        "Korvex from the command line, on the same Settings.ini as the window (the one beside\n"
        "the program, or in ~/.config/korvex when Korvex is installed; or FILE).\n"
        "\n"
        "commands:\n";
    const auto label = [](const CliCommandRow* row) {
        return "  " + std::string(row->name) + (row->operands.empty() ? "" : " " + std::string(row->operands));
    };
    std::size_t width = 0;
    for (const CliCommandRow* row : kTable) width = std::max(width, label(row).size() + 2);
    for (const CliCommandRow* row : kTable) {
        std::string line = label(row);
        line.resize(width, ' ');
        out += line + std::string(row->summary) + '\n';
    }
    out += "\noptions:\n";
    for (const CliOption& option : kGlobalOptions) appendOptionHelp(out, option);
    return out +
           "\n"
           "Exit status: 0 done; 1 a check, an import or a file failed; 2 bad command line;\n"
           "3 refresh found a low balance or a changed portal page and nothing failed;\n"
           "130 refresh was interrupted (SIGINT, SIGTERM, SIGHUP), after saving what it checked.\n"
           "One book is changed by one copy of Korvex at a time: while the window or another\n"
           "korvex-cli has it open, the commands that change it refuse (exit status 1), and\n"
           "those that only read run: " +
           readingCommands() + ".\n";
}

void helpFinish(CliInvocation& call, const std::vector<std::string>& operands) {
    call.command = CliCommand::Help;
    if (operands.size() > 1) throw CliUsageError("help takes one command name", CliCommand::Help);
    if (operands.empty()) return;
    for (const CliCommandRow* row : kTable)
        if (row->name == operands[0]) {
            call.helpTopic = row->command;
            return;
        }
    throw CliUsageError("unknown command \"" + operands[0] + "\"", CliCommand::Help);
}

}  // namespace

const CliCommandRow kHelpRow{
    .command = CliCommand::Help,
    .name = "help",
    .operands = "[COMMAND]",
    .summary = "this text, or the help of a command",
    .description = "Prints the overview of korvex-cli, or the help of COMMAND.\n",
    .onlyReads = alwaysReads,
    .readsPortals = false,
    .finish = helpFinish,
    .run = nullptr,  // main prints the help before it looks at any file
};

std::string bookHeldText(const std::string& settingsPath) {
    return "the book " + settingsPath +
           " is open in the Korvex window or in another korvex-cli, which may change it; this command "
           "runs when that one has ended (" +
           readingCommands() + " still work on the book meanwhile)";
}

std::span<const CliCommandRow* const> commandTable() {
    return kTable;
}

std::span<const CliOption> globalOptions() {
    return kGlobalOptions;
}

std::string helpText(CliCommand topic) {
    return topic == CliCommand::Help ? overview() : commandHelp(commandRow(topic));
}

}  // namespace korvex
