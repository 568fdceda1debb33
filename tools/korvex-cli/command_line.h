#pragma once
// The command line of korvex-cli: a command and its options, read by the table of commands
// (command_table.h), which also makes every help text. Options may stand before or after the
// command; "--" ends the options.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

enum class CliCommand { Help, Show, Refresh, Import, Export, History, Trust, CheckUpdate, Forecast, Profiles,
                        Schedule, Update };

struct CliInvocation {
    CliCommand command = CliCommand::Help;
    // Help: the command asked about; Help itself for the overview.
    CliCommand helpTopic = CliCommand::Help;
    bool version = false;      // Help: --version, the program's version in place of a help text
    std::string settingsPath;  // "" for Settings.ini beside the executable
    bool csv = false;          // show, history, forecast
    std::optional<int> row;    // refresh: one row, from 1
    int jobs = 1;              // refresh: checks at once in all (1: one after another, as the window)
    int perPortal = 1;         // refresh: checks at once on one portal
    bool jobsGiven = false;    // refresh: --jobs was on the command line (else the window's setting)
    bool perPortalGiven = false;  // refresh: --per-portal was
    int timeoutSeconds = 120;  // refresh: the most one account's check may take; 0: no limit
    std::string file;      // import: the CSV ("-" for standard input); export: "" or "-" for standard output
    bool replace = false;  // import
    bool verbose = false;  // import: every account left out named on its own line
    // history: one login, checks from a moment on, or pruning before one (timestamps of the history)
    std::string login;
    std::string plan;  // history: with login, that account's plan code
    std::string since;
    std::string pruneBefore;
    std::vector<std::string> portals;  // trust: the portals as typed
    bool all = false;                  // trust: every pinned portal
    bool summaryJson = false;   // refresh: --summary json
    std::string notifyCommand;  // refresh: --notify COMMAND
    std::optional<int> within;  // forecast: only accounts with fewer days left
    bool json = false;          // forecast: --json
    std::vector<std::string> profileArgs;  // profiles: nothing, "template", or "test" NAME PAGE
    std::string scheduleAction;            // schedule: "enable", "disable" or "status"
    std::optional<int> scheduleEvery;      // schedule enable: --every, in minutes
    bool undo = false;                     // update: --undo

    bool operator==(const CliInvocation&) const = default;
};

// Whether the command only reads, so that it runs beside another copy of Korvex without the
// single-copy lock (the table's column).
bool commandOnlyReads(const CliInvocation& call);

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
// "korvex-cli 3.0 (...)": what --version prints, then what is new since the last update or undo.
std::string versionText();
// Why a command that writes does not run: another copy holds the book at `settingsPath`; the
// commands that only read still run.
std::string bookHeldText(const std::string& settingsPath);

}  // namespace korvex
