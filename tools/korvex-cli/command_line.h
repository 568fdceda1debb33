#pragma once
// The command line of korvex-cli:
//   korvex-cli [--settings FILE] show [--csv]
//   korvex-cli [--settings FILE] refresh [--row N] [--summary json] [--notify COMMAND]
//   korvex-cli [--settings FILE] import FILE.csv [--replace]
//   korvex-cli [--settings FILE] export [FILE.csv]
//   korvex-cli [COMMAND] --help,  korvex-cli help [COMMAND]
// Options may stand before or after the command; "--" ends the options.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

enum class CliCommand { Help, Show, Refresh, Import, Export };

struct CliInvocation {
    CliCommand command = CliCommand::Help;
    // Help: the command asked about; Help itself for the overview.
    CliCommand helpTopic = CliCommand::Help;
    std::string settingsPath;  // "" for Settings.ini beside the executable
    bool csv = false;          // show
    std::optional<int> row;    // refresh: one row, from 1
    std::string file;      // import: the CSV ("-" for standard input); export: "" or "-" for standard output
    bool replace = false;  // import
    bool summaryJson = false;   // refresh: --summary json
    std::string notifyCommand;  // refresh: --notify COMMAND
};

// A command line that asks for nothing sensible. what() says why; topic() is the command whose help
// the user should read (Help for the overview).
class CliUsageError : public std::runtime_error {
public:
    CliUsageError(const std::string& message, CliCommand topic)
        : std::runtime_error(message), m_topic(topic) {}
    CliCommand topic() const noexcept { return m_topic; }

private:
    CliCommand m_topic;
};

// Reads the arguments after the program name. Throws CliUsageError.
CliInvocation parseCommandLine(const std::vector<std::string>& args);

// The help text of a command (Help: the overview of all of them).
std::string helpText(CliCommand topic);
std::string_view commandName(CliCommand command);

}  // namespace korvex
