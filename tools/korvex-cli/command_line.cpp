#include "korvex-cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <iostream>

#include "history/history_entry.h"
#include "korvex-cli/command_table.h"
#include "update/install/handover.h"
#include "update/updater/previous_version.h"
#include "update/updater/program_settings.h"

namespace korvex {

namespace {

const CliCommandRow* rowNamed(std::string_view name) {
    for (const CliCommandRow* row : commandTable())
        if (row->name == name) return row;
    return nullptr;
}

// The option of `options` called `name` ("--jobs", or "-h" for a letter).
const CliOption* optionIn(std::span<const CliOption> options, std::string_view name) {
    for (const CliOption& option : options)
        if (option.name == name || (option.letter && name.size() == 2 && name[0] == '-' && name[1] == option.letter))
            return &option;
    return nullptr;
}

// The option `name` of any command, or a global one: what tells whether it takes a value before the
// command is known. Rows that share a name share its argument (the table test sees to that).
const CliOption* anyOption(std::string_view name) {
    if (const CliOption* global = optionIn(globalOptions(), name)) return global;
    for (const CliCommandRow* row : commandTable())
        if (const CliOption* option = optionIn(row->options, name)) return option;
    return nullptr;
}

// "show, history and forecast": the commands whose rows hold `name`.
std::string ownersOf(std::string_view name) {
    std::vector<std::string_view> owners;
    for (const CliCommandRow* row : commandTable())
        if (optionIn(row->options, name)) owners.push_back(row->name);
    std::string text;
    for (std::size_t i = 0; i < owners.size(); ++i)
        text += std::string(i == 0 ? "" : i + 1 == owners.size() ? " and " : ", ") + std::string(owners[i]);
    return text;
}

std::string rangeText(const CliOption& option) {
    return "from " + std::to_string(option.low) +
           (option.high == kNoUpperBound ? std::string(" up") : " to " + std::to_string(option.high));
}

// Checks `value` against the option's kind and keeps it. Throws CliUsageError.
void applyOption(const CliOption& option, const std::string& value, CliInvocation& call, CliCommand topic) {
    const std::string name(option.name);
    const std::string what(option.what);
    int number = 0;
    std::string kept = value;
    switch (option.kind) {
        case ArgKind::None:
            break;
        case ArgKind::Text:
            if (!what.empty() && value.empty()) throw CliUsageError(name + " needs " + what, topic);
            break;
        case ArgKind::Number: {
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
            if (error != std::errc() || end != value.data() + value.size() || number < option.low ||
                number > option.high)
                throw CliUsageError(name + " takes " + what + " " + rangeText(option) + ", not \"" + value + "\"",
                                    topic);
            break;
        }
        case ArgKind::Date: {
            const std::optional<std::string> stamp = utcTimestampFromDate(value);
            if (!stamp)
                throw CliUsageError(name + " takes a date YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS] (UTC), not \"" + value +
                                        "\"",
                                    topic);
            kept = *stamp;
            break;
        }
        case ArgKind::Word:
            if (value != what) throw CliUsageError(name + " takes " + what + ", not \"" + value + "\"", topic);
            break;
    }
    option.set(call, kept, number);
}

struct GivenOption {
    const CliOption* option;  // any row's or a global one: the name and whether it takes a value
    std::string value;
};

// The command line taken apart: the command's row (null: none), its options and its operands.
struct ScannedLine {
    const CliCommandRow* row = nullptr;
    std::vector<GivenOption> options;
    std::vector<std::string> operands;
};

// Reads one option at args[i] into `line`, moving i past its value.
void scanOption(const std::vector<std::string>& args, std::size_t& i, ScannedLine& line) {
    const std::string& arg = args[i];
    const CliCommand topic = line.row ? line.row->command : CliCommand::Help;
    const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const CliOption* option = anyOption(name);
    if (!option || (equals != std::string::npos && option->argument.empty()))
        throw CliUsageError("unknown option \"" + arg + "\"", topic);
    std::string value;
    if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
    } else if (!option->argument.empty()) {
        if (i + 1 >= args.size()) throw CliUsageError(name + " needs a value", topic);
        value = args[++i];
    }
    line.options.push_back({option, std::move(value)});
}

ScannedLine scanLine(const std::vector<std::string>& args) {
    ScannedLine line;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            scanOption(args, i, line);
        } else if (!line.row) {
            line.row = rowNamed(arg);
            if (!line.row) throw CliUsageError("unknown command \"" + arg + "\"", CliCommand::Help);
        } else {
            line.operands.push_back(arg);
        }
    }
    return line;
}

bool given(const ScannedLine& line, std::string_view name) {
    return std::any_of(line.options.begin(), line.options.end(),
                       [&](const GivenOption& g) { return g.option->name == name; });
}

}  // namespace

bool alwaysReads(const CliInvocation&) {
    return true;
}

bool alwaysWrites(const CliInvocation&) {
    return false;
}

void takesNoOperand(CliInvocation& call, const std::vector<std::string>& operands) {
    if (!operands.empty())
        throw CliUsageError(std::string(commandName(call.command)) + " takes no file (\"" + operands[0] + "\")",
                            call.command);
}

const CliCommandRow& commandRow(CliCommand command) {
    for (const CliCommandRow* row : commandTable())
        if (row->command == command) return *row;
    return kHelpRow;
}

std::string_view commandName(CliCommand command) {
    return commandRow(command).name;
}

bool commandOnlyReads(const CliInvocation& call) {
    return commandRow(call.command).onlyReads(call);
}

CliInvocation parseCommandLine(const std::vector<std::string>& args) {
    const ScannedLine line = scanLine(args);
    CliInvocation call;
    if (given(line, "--version")) {
        call.version = true;
        return call;
    }
    if (given(line, "--help") && line.row != &kHelpRow) {
        call.helpTopic = line.row ? line.row->command : CliCommand::Help;
        return call;
    }
    if (!line.row) throw CliUsageError("no command given", CliCommand::Help);
    const CliCommandRow& row = *line.row;
    call.command = row.command;
    for (const GivenOption& g : line.options) {
        const CliOption* own = optionIn(row.options, g.option->name);
        if (!own && !optionIn(globalOptions(), g.option->name))
            throw CliUsageError(std::string(g.option->name) + " belongs to " + ownersOf(g.option->name) +
                                    ", not to " + std::string(row.name),
                                row.command);
        applyOption(own ? *own : *g.option, g.value, call, row.command);
    }
    row.finish(call, line.operands);
    return call;
}

std::string versionText() {
    std::string text = std::string("korvex-cli ") + KORVEX_PACKAGE_VERSION + " (update version " + kRunningVersion + ")\n";
    if (const std::string news = update::releaseNews(update::runningProgramFolder(), NoticeLanguage::English, false);
        !news.empty())
        text += news + "\n";
    return text;
}

}  // namespace korvex
