#include "korvex-cli/command_line.h"

#include <algorithm>
#include <charconv>

#include "history/history_entry.h"
#include "run/refresh_settings.h"

namespace korvex {

namespace {

std::optional<CliCommand> commandFromName(std::string_view name) {
    if (name == "show") return CliCommand::Show;
    if (name == "refresh") return CliCommand::Refresh;
    if (name == "import") return CliCommand::Import;
    if (name == "export") return CliCommand::Export;
    if (name == "history") return CliCommand::History;
    if (name == "trust") return CliCommand::Trust;
    if (name == "help") return CliCommand::Help;
    if (name == "check-update") return CliCommand::CheckUpdate;
    if (name == "forecast") return CliCommand::Forecast;
    if (name == "profiles") return CliCommand::Profiles;
    return std::nullopt;
}

// An option that takes a value: "--name VALUE" or "--name=VALUE". Answers whether args[i] is one,
// moving i past the value.
bool valueOption(const std::vector<std::string>& args, std::size_t& i, std::string_view name,
                 std::string& value, CliCommand topic) {
    const std::string_view arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size()) throw CliUsageError(std::string(name) + " needs a value", topic);
        value = args[++i];
        return true;
    }
    if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        value = std::string(arg.substr(name.size() + 1));
        return true;
    }
    return false;
}

// A date of the history's options as the history's timestamp.
std::string historyDate(std::string_view option, const std::string& text) {
    const std::optional<std::string> stamp = utcTimestampFromDate(text);
    if (!stamp)
        throw CliUsageError(std::string(option) + " takes a date YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS] (UTC), not \"" +
                                text + "\"",
                            CliCommand::History);
    return *stamp;
}

int rowNumber(const std::string& text) {
    int row = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), row);
    if (error != std::errc() || end != text.data() + text.size() || row < 1)
        throw CliUsageError("--row takes a row number from 1 up, not \"" + text + "\"", CliCommand::Refresh);
    return row;
}

// A whole number from `low` to `high` for option `name`.
int boundedNumber(const std::string& text, std::string_view name, int low, int high, std::string_view what,
                  CliCommand topic = CliCommand::Refresh) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw CliUsageError(std::string(name) + " takes " + std::string(what) + " from " + std::to_string(low) +
                                " to " + std::to_string(high) + ", not \"" + text + "\"",
                            topic);
    return value;
}

}  // namespace

std::string_view commandName(CliCommand command) {
    switch (command) {
        case CliCommand::Show:
            return "show";
        case CliCommand::Refresh:
            return "refresh";
        case CliCommand::Import:
            return "import";
        case CliCommand::Export:
            return "export";
        case CliCommand::History:
            return "history";
        case CliCommand::Trust:
            return "trust";
        case CliCommand::CheckUpdate:
            return "check-update";
        case CliCommand::Forecast:
            return "forecast";
        case CliCommand::Profiles:
            return "profiles";
        case CliCommand::Help:
            break;
    }
    return "help";
}

bool commandOnlyReads(const CliInvocation& call) {
    return call.command == CliCommand::Show || call.command == CliCommand::Export ||
           (call.command == CliCommand::History && call.pruneBefore.empty()) ||
           call.command == CliCommand::CheckUpdate || call.command == CliCommand::Forecast ||
           call.command == CliCommand::Profiles;
}

CliInvocation parseCommandLine(const std::vector<std::string>& args) {
    CliInvocation call;
    std::optional<CliCommand> command;
    std::vector<std::string> operands;
    bool helpAsked = false;
    bool optionsEnded = false;
    std::vector<std::pair<std::string, CliCommand>> flagsSeen;  // for the check against the command
    std::string rowText;
    std::string dateText;
    std::string limitText;
    std::string summaryText;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const CliCommand topic = command.value_or(CliCommand::Help);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            helpAsked = true;
        } else if (!optionsEnded && valueOption(args, i, "--settings", call.settingsPath, topic)) {
            if (call.settingsPath.empty()) throw CliUsageError("--settings needs a file name", topic);
        } else if (!optionsEnded && valueOption(args, i, "--row", rowText, topic)) {
            flagsSeen.emplace_back("--row", CliCommand::Refresh);
            call.row = rowNumber(rowText);
        } else if (!optionsEnded && valueOption(args, i, "--login", call.login, topic)) {
            flagsSeen.emplace_back("--login", CliCommand::History);
        } else if (!optionsEnded && valueOption(args, i, "--plan", call.plan, topic)) {
            flagsSeen.emplace_back("--plan", CliCommand::History);
            if (call.plan.empty()) throw CliUsageError("--plan needs a plan code", CliCommand::History);
        } else if (!optionsEnded && valueOption(args, i, "--since", dateText, topic)) {
            flagsSeen.emplace_back("--since", CliCommand::History);
            call.since = historyDate("--since", dateText);
        } else if (!optionsEnded && valueOption(args, i, "--prune-before", dateText, topic)) {
            flagsSeen.emplace_back("--prune-before", CliCommand::History);
            call.pruneBefore = historyDate("--prune-before", dateText);
        } else if (!optionsEnded && valueOption(args, i, "--jobs", limitText, topic)) {
            flagsSeen.emplace_back("--jobs", CliCommand::Refresh);
            call.jobs = boundedNumber(limitText, "--jobs", 1, kMaxJobs, "a number of checks at once");
            call.jobsGiven = true;
        } else if (!optionsEnded && valueOption(args, i, "--per-portal", limitText, topic)) {
            flagsSeen.emplace_back("--per-portal", CliCommand::Refresh);
            call.perPortal = boundedNumber(limitText, "--per-portal", 1, kMaxRefreshPerPortal,
                                           "a number of checks at once");
            call.perPortalGiven = true;
        } else if (!optionsEnded && valueOption(args, i, "--timeout", limitText, topic)) {
            flagsSeen.emplace_back("--timeout", CliCommand::Refresh);
            call.timeoutSeconds = boundedNumber(limitText, "--timeout", 0, kMaxTimeoutSeconds, "seconds");
        } else if (!optionsEnded && valueOption(args, i, "--summary", summaryText, topic)) {
            flagsSeen.emplace_back("--summary", CliCommand::Refresh);
            if (summaryText != "json")
                throw CliUsageError("--summary takes json, not \"" + summaryText + "\"", CliCommand::Refresh);
            call.summaryJson = true;
        } else if (!optionsEnded && valueOption(args, i, "--notify", call.notifyCommand, topic)) {
            flagsSeen.emplace_back("--notify", CliCommand::Refresh);
            if (call.notifyCommand.empty()) throw CliUsageError("--notify needs a command", CliCommand::Refresh);
        } else if (!optionsEnded && valueOption(args, i, "--within", limitText, topic)) {
            flagsSeen.emplace_back("--within", CliCommand::Forecast);
            call.within = boundedNumber(limitText, "--within", 1, kMaxWithinDays, "a number of days", CliCommand::Forecast);
        } else if (!optionsEnded && arg == "--json") {
            flagsSeen.emplace_back(arg, CliCommand::Forecast);
            call.json = true;
        } else if (!optionsEnded && arg == "--csv") {
            flagsSeen.emplace_back(arg, CliCommand::Show);
            call.csv = true;
        } else if (!optionsEnded && arg == "--replace") {
            flagsSeen.emplace_back(arg, CliCommand::Import);
            call.replace = true;
        } else if (!optionsEnded && arg == "--all") {
            flagsSeen.emplace_back(arg, CliCommand::Trust);
            call.all = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-' && arg != "-") {
            throw CliUsageError("unknown option \"" + arg + "\"", topic);
        } else if (!command) {
            command = commandFromName(arg);
            if (!command) throw CliUsageError("unknown command \"" + arg + "\"", CliCommand::Help);
        } else {
            operands.push_back(arg);
        }
    }

    if (command == CliCommand::Help) {
        // "help" and "help COMMAND".
        call.command = CliCommand::Help;
        if (operands.size() > 1) throw CliUsageError("help takes one command name", CliCommand::Help);
        if (!operands.empty()) {
            const auto topic = commandFromName(operands[0]);
            if (!topic) throw CliUsageError("unknown command \"" + operands[0] + "\"", CliCommand::Help);
            call.helpTopic = *topic;
        }
        return call;
    }
    if (helpAsked) {
        call.command = CliCommand::Help;
        call.helpTopic = command.value_or(CliCommand::Help);
        return call;
    }
    if (!command) throw CliUsageError("no command given", CliCommand::Help);
    call.command = *command;

    for (const auto& [flag, owner] : flagsSeen) {
        const bool csvElsewhere =
            flag == "--csv" && (call.command == CliCommand::History || call.command == CliCommand::Forecast);
        if (owner != call.command && !csvElsewhere)
            throw CliUsageError(flag + " belongs to " + std::string(commandName(owner)) + ", not to " +
                                    std::string(commandName(call.command)),
                                call.command);
    }
    // An option that only shapes another must not pass for one that did something.
    const auto seen = [&](std::string_view flag) {
        return std::any_of(flagsSeen.begin(), flagsSeen.end(), [&](const auto& f) { return f.first == flag; });
    };
    if (seen("--per-portal") && !seen("--jobs"))
        throw CliUsageError("--per-portal goes with --jobs: without it one account is checked at a time", call.command);
    const std::string name(commandName(call.command));
    switch (call.command) {
        case CliCommand::History:
            // An account is a login and a plan code: a plan alone names no account.
            if (!call.plan.empty() && call.login.empty())
                throw CliUsageError("--plan goes with --login: together they name one account", call.command);
            if (!call.pruneBefore.empty() && (call.csv || !call.login.empty() || !call.since.empty()))
                throw CliUsageError("--prune-before removes old checks of every account; it goes without --login, "
                                    "--since and --csv",
                                    call.command);
            [[fallthrough]];
        case CliCommand::Forecast:
            if (call.csv && call.json) throw CliUsageError("forecast writes CSV or JSON, not both", call.command);
            [[fallthrough]];
        case CliCommand::Show:
        case CliCommand::Refresh:
        case CliCommand::CheckUpdate:
            if (!operands.empty())
                throw CliUsageError(name + " takes no file (\"" + operands[0] + "\")", call.command);
            break;
        case CliCommand::Import:
            if (operands.empty()) throw CliUsageError("import needs the CSV file to read", call.command);
            if (operands.size() > 1) throw CliUsageError("import reads one CSV file", call.command);
            call.file = operands[0];
            break;
        case CliCommand::Export:
            if (operands.size() > 1) throw CliUsageError("export writes one CSV file", call.command);
            if (!operands.empty()) call.file = operands[0];
            break;
        case CliCommand::Trust:
            if (call.all && !operands.empty())
                throw CliUsageError("trust takes portals or --all, not both", call.command);
            if (!call.all && operands.empty())
                throw CliUsageError("trust needs a portal (https://HOST:PORT) or --all", call.command);
            call.portals = operands;
            break;
        case CliCommand::Profiles: {
            const bool listing = operands.empty();
            const bool printsTemplate = operands.size() == 1 && operands[0] == "template";
            const bool tests = !operands.empty() && operands[0] == "test";
            if (tests && operands.size() != 3)
                throw CliUsageError("profiles test needs a profile's name and a saved page", call.command);
            if (!listing && !printsTemplate && !tests)
                throw CliUsageError("profiles takes template or test NAME PAGE.html, not \"" + operands.back() + "\"",
                                    call.command);
            call.profileArgs = operands;
            break;
        }
        case CliCommand::Help:
            break;
    }
    return call;
}

std::string helpText(CliCommand topic) {
    switch (topic) {
        case CliCommand::Show:
            return "usage: korvex-cli show [--csv] [--settings FILE]\n"
                   "\n"
                   "Prints the balance table: login, balance, previous balance, speed, date of the last\n"
                   "check, status, holder and plan code of every account, as aligned text in UTF-8.\n"
                   "\n"
                   "  --csv            CSV with the header line\n"
                   "                   login,balance,previous,speed,date,status,holder,plan\n"
                   "  --settings FILE  another settings file than the window's Settings.ini\n";
        case CliCommand::Refresh:
            return "usage: korvex-cli refresh [--row N] [--jobs N [--per-portal P]] [--timeout SECONDS]\n"
                   "                          [--summary json] [--notify COMMAND] [--settings FILE]\n"
                   "\n"
                   "Checks every account on its operator's portal, as \"Обновить все балансы\" in the\n"
                   "window does, saves the results to the settings file and prints the balance table.\n"
                   "A progress line on standard error shows the account being checked when standard\n"
                   "error is a terminal. Ctrl+C, SIGTERM or a closed terminal (SIGHUP) ends the\n"
                   "transfer in progress and the run; the accounts checked until then are saved.\n"
                   "A portal whose certificate is not the one pinned gets nothing (see trust).\n"
                   "\n"
                   "  --row N          check only the account in row N (from 1, as show numbers them)\n"
                   "  --jobs N         check up to N accounts at once (1 to 64; 1, the default, checks\n"
                   "                   them one after another in row order, as the window does); the\n"
                   "                   results are the same, only sooner\n"
                   "  --per-portal P   with --jobs, at most P checks at once on one portal (default 1)\n"
                   "                   Either one not given is the window's own setting, when its\n"
                   "                   settings tab stored one (section [REFRESH] of the settings file)\n"
                   "  --timeout SECONDS\n"
                   "                   the most one account's check may take (default 120, 0 for no\n"
                   "                   limit); an account over it counts as a portal that gave no page\n"
                   "  --summary json   the run summary as JSON on standard output, in place of the table\n"
                   "  --notify COMMAND run COMMAND (with sh -c) with the summary text on its standard\n"
                   "                   input, when the summary names anything\n"
                   "  --settings FILE  another settings file than the window's Settings.ini\n"
                   "\n"
                   "After the table, the run summary on standard error: portals whose page seems to\n"
                   "have changed (no account found its balance), portals whose certificate changed,\n"
                   "accounts whose values were not found (a wrong password), plan codes that name no\n"
                   "portal, balances below the threshold (LowBalance in section [SUMMARY] of the\n"
                   "settings file, 0 when not set), portals that gave no page and balances that fell.\n"
                   "\n"
                   "Exit status, the first that holds: 2 a bad command line; 130 the run was\n"
                   "interrupted (SIGINT, SIGTERM, SIGHUP; after the save); 1 anything failed (a\n"
                   "portal gave no page, a check ended with the error marker, values were not found,\n"
                   "a certificate was refused, a plan code names no portal, a file could not be\n"
                   "written, the notify command failed); 3 the summary names a low balance or a\n"
                   "changed page; 0 otherwise.\n"
                   "Accounts whose balance lasts fewer days than DaysLeft in [SUMMARY] (default 7, 0\n"
                   "turns it off; see forecast) are named under \"days left\" and count as a low\n"
                   "balance.\n";
        case CliCommand::Import:
            return "usage: korvex-cli import FILE.csv [--replace] [--settings FILE]\n"
                   "\n"
                   "Adds the accounts of a UTF-8 CSV file after those of the settings file, or with\n"
                   "--replace puts them in their place, and sets the account count. The first line\n"
                   "must be the header login,password,plan,holder; a field with a comma or a quote\n"
                   "is quoted as RFC 4180 has it. \"-\" reads standard input.\n"
                   "The settings file is made when there is none. A text the Cyrillic code page\n"
                   "cannot hold, a line without four fields or more than 500 accounts in all is\n"
                   "refused with the line it is on, and nothing is written. Without --replace, rows\n"
                   "beyond the account count that still hold accounts in the file are never written\n"
                   "over, and an account already there (the same login and plan code) is named and\n"
                   "left out.\n"
                   "\n"
                   "  --replace        the file's accounts take the place of the present ones,\n"
                   "                   those hidden beyond the account count included; an account\n"
                   "                   that stays keeps its balance, previous balance and date\n"
                   "  --settings FILE  another settings file than the window's Settings.ini\n";
        case CliCommand::Export:
            return "usage: korvex-cli export [FILE.csv] [--settings FILE]\n"
                   "\n"
                   "Writes the accounts (login, password, plan code, holder) as a UTF-8 CSV file with\n"
                   "the header line login,password,plan,holder, which import reads back. Without a\n"
                   "file, or with \"-\", to standard output. The passwords are in it as typed: the file\n"
                   "is made readable by its owner only.\n"
                   "\n"
                   "  --settings FILE  another settings file than the window's Settings.ini\n";
        case CliCommand::History:
            return "usage: korvex-cli history [--login L [--plan P]] [--since DATE] [--csv] [--settings FILE]\n"
                   "       korvex-cli history --prune-before DATE [--settings FILE]\n"
                   "\n"
                   "Prints the checks kept in History.sqlite beside the settings file, oldest first:\n"
                   "time (UTC), login, plan code, balance, speed, status and outcome (page, not found,\n"
                   "error marker, transfer failed). Every refresh of the window or of korvex-cli adds\n"
                   "its checks; deleting an account keeps its history.\n"
                   "\n"
                   "  --login L            the checks of one login (every account it has)\n"
                   "  --plan P             with --login, the checks of that login on plan code P\n"
                   "                       only: one account\n"
                   "  --since DATE         the checks from DATE on\n"
                   "  --csv                CSV (UTF-8) with the header line\n"
                   "                       time,login,plan,balance,amount,speed,status,outcome,detail\n"
                   "                       (amount: the balance as a number when it reads as one)\n"
                   "  --prune-before DATE  remove every check before DATE\n"
                   "  --settings FILE      another settings file than the window's Settings.ini\n"
                   "\n"
                   "DATE is YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], in UTC.\n";
        case CliCommand::Forecast:
            return "usage: korvex-cli forecast [--within DAYS] [--csv | --json] [--settings FILE]\n"
                   "\n"
                   "Lists every account by the days its balance lasts, fewest first: row, login, plan\n"
                   "code, holder, balance, spend per day, days left and the time (UTC) of the reading\n"
                   "the estimate starts from. The spend per day is the average fall of the balance over\n"
                   "the last 60 days of History.sqlite, a rise (a top-up) left out; failed checks and\n"
                   "values not found count for nothing. Days left is the balance over it, rounded down,\n"
                   "0 when the balance is at or below 0; \"â\" when the readings cover less than a week\n"
                   "or nothing was spent. An account is a login and a plan code.\n"
                   "\n"
                   "  --within DAYS    only the accounts with fewer than DAYS days left\n"
                   "  --csv            CSV (UTF-8) with the header line\n"
                   "                   login,plan,holder,balance,per_day,days_left,as_of\n"
                   "                   (days_left empty when it cannot be told)\n"
                   "  --json           a JSON object {\"accounts\":[...]} (null where nothing is told)\n"
                   "  --settings FILE  another settings file than the window's Settings.ini\n";
        case CliCommand::Trust:
            return "usage: korvex-cli trust PORTAL... | --all [--settings FILE]\n"
                   "\n"
                   "The first connection to a portal pins the public key of its certificate in\n"
                   "Portals.pins beside the settings file; a portal that later shows another key gets\n"
                   "no request, as its certificate may be forged to catch the passwords. When the\n"
                   "portal has changed its certificate itself, trust asks it for its key now (a TLS\n"
                   "handshake through the proxy of the settings file, nothing sent) and pins that key,\n"
                   "printing the old and the new one. PORTAL is https://HOST:PORT as the error named it.\n"
                   "\n"
                   "  --all            every portal pinned so far\n"
                   "  --settings FILE  another settings file than the window's Settings.ini\n";
        case CliCommand::CheckUpdate:
            return "usage: korvex-cli check-update [--settings FILE]\n"
                   "\n"
                   "Asks the publisher's update information, as \"Авто-Обновить\" in the window does,\n"
                   "and prints the newer version offered with its message. Nothing is downloaded.\n"
                   "The proxy is the one of the settings file. It runs beside the window.\n"
                   "\n"
                   "  --settings FILE  another settings file than the window's Settings.ini\n"
                   "\n"
                   "Exit status 0 when a newer version is offered, 1 when not, 2 when the check failed,\n"
                   "with one line on standard error that says why: no connection, no answer within\n"
                   "60 s, an HTTP status, larger than 1 MiB, not trusted (and by which rule), or not\n"
                   "update information at all.\n";
        case CliCommand::Profiles:
            return "usage: korvex-cli profiles [--settings FILE]\n"
                   "       korvex-cli profiles template [--settings FILE]\n"
                   "       korvex-cli profiles test NAME PAGE.html [--settings FILE]\n"
                   "\n"
                   "Lists every portal profile with its plan codes, address, paths and patterns, as\n"
                   "this copy runs them: the built-in values, and in brackets the Portals.ini that\n"
                   "changed a value. Portals.ini is read beside the settings file, and under it in\n"
                   "priority from $XDG_CONFIG_DIRS/korvex/Portals.ini (/etc/xdg/korvex/Portals.ini).\n"
                   "\n"
                   "  template         print a complete Portals.ini of the values in use, every key\n"
                   "                   commented out: remove the \";\" of a key to change it\n"
                   "  test NAME PAGE   run the patterns of profile NAME (\"SpaceGate 75\") on a page\n"
                   "                   saved from its portal, and print each column's value or the\n"
                   "                   not-found marker\n"
                   "  --settings FILE  another settings file than the window's Settings.ini\n"
                   "\n"
                   "When the run summary says a portal's page changed: save the page from the browser,\n"
                   "change the pattern in Portals.ini, and test it until the balance is found.\n"
                   "Exit status of test: 0 the balance is found, 1 it is not (or the page cannot be\n"
                   "read), 2 NAME names no profile. Problems in Portals.ini go to standard error; a\n"
                   "section with a bad value is not used, and its profile keeps its built-in values.\n";
        case CliCommand::Help:
            break;
    }
    return "usage: korvex-cli [--settings FILE] COMMAND [OPTIONS]\n"
           "\n"
           "Korvex from the command line, on the same Settings.ini as the window (the one beside\n"
           "the program, or in ~/.config/korvex when Korvex is installed; or FILE).\n"
           "\n"
           "commands:\n"
           "  show [--csv]                     print the balance table\n"
           "  refresh [--row N] [--jobs N]     check the accounts on their portals, save, print\n"
           "  import FILE.csv [--replace]      add new accounts (or replace them) from a CSV file\n"
           "  export [FILE.csv]                write the accounts as a CSV file\n"
           "  history [--login L [--plan P]]   print the checks kept in the balance history\n"
           "  forecast [--within DAYS]         list the accounts by the days their balance lasts\n"
           "  trust PORTAL... | --all          accept a portal's new certificate\n"
           "  check-update                     ask whether a newer version of Korvex is offered\n"
           "  profiles [template | test N P]   list the portal profiles and Portals.ini, or test one\n"
           "  help [COMMAND]                   this text, or the help of a command\n"
           "\n"
           "Exit status: 0 done; 1 a check, an import or a file failed; 2 bad command line;\n"
           "3 refresh found a low balance or a changed portal page and nothing failed;\n"
           "130 refresh was interrupted (SIGINT, SIGTERM, SIGHUP), after saving what it checked.\n"
           "show, export, history and forecast only read, and run while Korvex runs;\n"
           "refresh and import do not run on the book Korvex has open.\n";
}

}  // namespace korvex
