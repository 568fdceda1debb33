#pragma once
// korvex-cli's commands and their options as one table. Each command's file holds its row: name,
// what it does, whether it only reads, its options with their argument, range and help, and the
// function that runs it. The parser, every help text, the manual page (help2man reads the help),
// the shell completion and main's dispatch are made from these rows, so an option is one row plus
// its use.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "korvex-cli/cli_commands.h"
#include "korvex-cli/command_line.h"

namespace korvex {

enum class ArgKind {
    None,    // a flag
    Text,    // any text; with `what`, not an empty one ("--plan needs a plan code")
    Number,  // a whole number from `low` to `high` (`what` names it: "a number of days")
    Date,    // a date of the history, YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS] in UTC
    Word,    // the one word `what` ("json")
};

struct CliOption {
    std::string_view name{};    // "--jobs"
    std::string_view argument{};  // "N" in the help; "" for a flag
    ArgKind kind = ArgKind::None;
    std::string_view help{};  // its lines in the help, '\n' between them
    // Keeps the value: the text as given (a Date: the history's timestamp) and, for a Number, its value.
    void (*set)(CliInvocation& call, const std::string& value, int number) = nullptr;
    int low = 0;
    int high = 0;  // Number: kNoUpperBound for "from `low` up"
    std::string_view what{};
    char letter = 0;            // a one-letter form ('h': -h)
    bool everyCommand = false;  // a global option that every command's help lists
};

inline constexpr int kNoUpperBound = 0x7fffffff;

struct CliCommandRow {
    CliCommand command = CliCommand::Help;
    std::string_view name{};
    std::string_view operands{};     // in the usage line ("FILE.csv"); "" for none
    std::string_view summary{};    // one line in the overview
    std::string_view description{};  // the help's text before the options
    std::string_view epilogue{};   // the help's text after them; "" for none
    std::span<const CliOption> options{};
    bool (*onlyReads)(const CliInvocation& call) = nullptr;  // runs beside the window, without the book's lock
    bool readsPortals = false;                           // says the problems of Portals.ini
    // Takes the operands after the command and checks what the options say together; throws
    // CliUsageError.
    void (*finish)(CliInvocation& call, const std::vector<std::string>& operands) = nullptr;
    int (*run)(CliContext& context, const CliInvocation& call) = nullptr;
};

// Every command, in the order of the overview.
std::span<const CliCommandRow* const> commandTable();
// The options that go with every command or with none (--settings, --help, --version).
std::span<const CliOption> globalOptions();
const CliCommandRow& commandRow(CliCommand command);

// What the rows share.
bool alwaysReads(const CliInvocation&);
bool alwaysWrites(const CliInvocation&);
// A command that takes no operand: "show takes no file ("x")".
void takesNoOperand(CliInvocation& call, const std::vector<std::string>& operands);

// The rows of the commands, each in its command's file.
extern const CliCommandRow kShowRow, kRefreshRow, kImportRow, kExportRow, kHistoryRow, kForecastRow,
    kTrustRow, kCheckUpdateRow, kUpdateRow, kProfilesRow, kScheduleRow, kHelpRow;

}  // namespace korvex
