// The command line: what each form asks for, and which are bad use (exit status 2).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "korvex-cli/command_line.h"
#include "korvex-cli/command_table.h"

namespace korvex {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, ReadsEveryCommandWithItsOptionsInAnyPlace) {
    struct Case {
        Args args;
        CliCommand command;
        std::string settings;
        bool csv;
        std::optional<int> row;
        std::string file;
        bool replace;
    } cases[] = {
        {{"show"}, CliCommand::Show, "", false, {}, "", false},
        {{"--settings", "/x/S.ini", "show", "--csv"}, CliCommand::Show, "/x/S.ini", true, {}, "", false},
        {{"refresh", "--row=7", "--settings=a.ini"}, CliCommand::Refresh, "a.ini", false, 7, "", false},
        {{"refresh", "--row", "1"}, CliCommand::Refresh, "", false, 1, "", false},
        {{"import", "--replace", "a.csv"}, CliCommand::Import, "", false, {}, "a.csv", true},
        {{"refresh", "--help"}, CliCommand::Help, "", false, {}, "", false},
        {{"import", "--", "--odd-name.csv"}, CliCommand::Import, "", false, {}, "--odd-name.csv", false},
        {{"export", "out.csv"}, CliCommand::Export, "", false, {}, "out.csv", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        const CliInvocation call = parseCommandLine(c.args);
        EXPECT_EQ(call.command, c.command);
        EXPECT_EQ(call.settingsPath, c.settings);
        EXPECT_EQ(call.csv, c.csv);
        EXPECT_EQ(call.row, c.row);
        EXPECT_EQ(call.file, c.file);
        EXPECT_EQ(call.replace, c.replace);
    }
}

TEST(CommandLineTest, RefreshTakesItsLimits) {
    struct Case {
        Args args;
        int jobs, perPortal, timeout;
    } cases[] = {
        {{"refresh"}, 1, 1, 120},
        {{"refresh", "--jobs", "16", "--per-portal=2"}, 16, 2, 120},
        {{"refresh", "--jobs", "16", "--per-portal=8"}, 16, 8, 120},
        {{"--timeout=0", "refresh", "--jobs=64"}, 64, 1, 0},
        {{"refresh", "--timeout", "86400"}, 1, 1, 86400},
    };
    for (const Case& c : cases) {
        const CliInvocation call = parseCommandLine(c.args);
        EXPECT_EQ(call.command, CliCommand::Refresh);
        EXPECT_EQ(call.jobs, c.jobs);
        EXPECT_EQ(call.perPortal, c.perPortal);
        EXPECT_EQ(call.timeoutSeconds, c.timeout);
    }
}

TEST(CommandLineTest, BadUseIsRefusedWithTheHelpToRead) {
    struct Case {
        Args args;
        const char* words;
        CliCommand topic;
    } cases[] = {
        {{}, "no command", CliCommand::Help},
        {{"shw"}, "unknown command \"shw\"", CliCommand::Help},
        {{"show", "--verbos"}, "unknown option \"--verbos\"", CliCommand::Show},
        {{"show", "--csv=yes"}, "unknown option \"--csv=yes\"", CliCommand::Show},
        {{"refresh", "--jobs=8", "--per-portal=9"}, "--per-portal takes a number of checks at once from 1 to 8",
         CliCommand::Refresh},
        {{"show", "--replace"}, "--replace belongs to import, not to show", CliCommand::Show},
        {{"import", "--csv", "a.csv"}, "--csv belongs to show", CliCommand::Import},
        {{"import"}, "import needs the CSV file", CliCommand::Import},
        {{"import", "a.csv", "b.csv"}, "one CSV file", CliCommand::Import},
        {{"show", "extra"}, "show takes no file", CliCommand::Show},
        {{"refresh", "--row", "0"}, "--row takes a row number from 1 up, not \"0\"", CliCommand::Refresh},
        {{"refresh", "--row"}, "--row needs a value", CliCommand::Refresh},
        {{"refresh", "--jobs", "0"},
         "--jobs takes a number of checks at once from 1 to 64, not \"0\"",
         CliCommand::Refresh},
        {{"refresh", "--jobs=65"}, "from 1 to 64, not \"65\"", CliCommand::Refresh},
        {{"refresh", "--jobs=2", "--per-portal", "two"}, "--per-portal takes", CliCommand::Refresh},
        {{"refresh", "--jobs=16", "--per-portal=9"}, "from 1 to 8, not \"9\"", CliCommand::Refresh},
        {{"refresh", "--per-portal", "2"}, "--per-portal goes with --jobs", CliCommand::Refresh},
        {{"refresh", "--timeout=-1"},
         "--timeout takes seconds from 0 to 86400, not \"-1\"",
         CliCommand::Refresh},
        {{"show", "--jobs", "2"}, "--jobs belongs to refresh, not to show", CliCommand::Show},
        {{"show", "--settings="}, "--settings needs a file name", CliCommand::Show},
        {{"help", "nothing"}, "unknown command \"nothing\"", CliCommand::Help},
        {{"trust"}, "trust needs a portal", CliCommand::Trust},
        {{"trust", "--all", "https://a:1"}, "portals or --all, not both", CliCommand::Trust},
        {{"show", "--all"}, "--all belongs to trust", CliCommand::Show},
        {{"forecast", "--within", "0"},
         "--within takes a number of days from 1 to 36500, not \"0\"",
         CliCommand::Forecast},
        {{"forecast", "--within=7d"}, "not \"7d\"", CliCommand::Forecast},
        {{"forecast", "--csv", "--json"}, "CSV or JSON, not both", CliCommand::Forecast},
        {{"show", "--within", "7"}, "--within belongs to forecast, not to show", CliCommand::Show},
        {{"history", "--json"}, "--json belongs to forecast", CliCommand::History},
        {{"forecast", "out.csv"}, "forecast takes no file", CliCommand::Forecast},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        try {
            parseCommandLine(c.args);
            ADD_FAILURE() << "accepted";
        } catch (const CliUsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
            EXPECT_EQ(e.topic(), c.topic);
        }
    }
}

TEST(CommandLineTest, ForecastTakesAThresholdAndAFormat) {
    struct Case {
        Args args;
        std::optional<int> within;
        bool csv, json;
    } cases[] = {
        {{"forecast"}, {}, false, false},
        {{"forecast", "--within", "7", "--csv"}, 7, true, false},
        {{"--json", "forecast", "--within=36500"}, 36500, false, true},
    };
    for (const Case& c : cases) {
        const CliInvocation call = parseCommandLine(c.args);
        EXPECT_EQ(call.command, CliCommand::Forecast);
        EXPECT_EQ(call.within, c.within);
        EXPECT_EQ(call.csv, c.csv);
        EXPECT_EQ(call.json, c.json);
    }
}

TEST(CommandLineTest, VersionAndHelpComeBeforeAnythingElse) {
    EXPECT_TRUE(parseCommandLine({"--version"}).version);
    EXPECT_TRUE(parseCommandLine({"refresh", "--version", "--jobs=99"}).version);
    const CliInvocation help = parseCommandLine({"import", "--help"});
    EXPECT_EQ(help.command, CliCommand::Help);
    EXPECT_EQ(help.helpTopic, CliCommand::Import);
}

TEST(CommandLineTest, TrustTakesPortalsOrAll) {
    CliInvocation call = parseCommandLine({"trust", "https://203.0.113.7:8443", "portal.example"});
    EXPECT_EQ(call.command, CliCommand::Trust);
    EXPECT_EQ(call.portals, (Args{"https://203.0.113.7:8443", "portal.example"}));
    EXPECT_FALSE(call.all);
    call = parseCommandLine({"--settings", "s.ini", "trust", "--all"});
    EXPECT_TRUE(call.all);
    EXPECT_TRUE(call.portals.empty());
}

// Every option of the table, as each command takes it: a good value lands in the invocation, a value
// out of its range, a missing one and an unknown name are bad use of that command.
TEST(CommandTableTest, EveryOptionOfTheTableParsesAndRefusesAsItsRowSays) {
    // What a command needs beside the option so that the line asks for something sensible.
    const auto companions = [](const CliCommandRow& row, const CliOption& option) {
        Args args{std::string(row.name)};
        if (row.command == CliCommand::Import) args.push_back("a.csv");
        if (option.name == "--per-portal") args.push_back("--jobs=2");
        if (option.name == "--plan") args.push_back("--login=x");
        if (row.command == CliCommand::Schedule) args.push_back("enable");
        return args;
    };
    const auto refused = [](Args args, CliCommand topic, const std::string& start, const std::string& words = "") {
        SCOPED_TRACE(testing::PrintToString(args));
        try {
            parseCommandLine(args);
            ADD_FAILURE() << "accepted";
        } catch (const CliUsageError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with(start)) << e.what();
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
            EXPECT_EQ(e.topic(), topic);
        }
    };
    for (const CliCommandRow* row : commandTable()) {
        for (const CliOption& option : row->options) {
            const std::string name(option.name);
            SCOPED_TRACE(std::string(row->name) + " " + name);
            const Args base = companions(*row, option);
            std::vector<std::pair<std::string, std::string>> good, bad;  // value, words of the refusal
            switch (option.kind) {
                case ArgKind::None: good = {{"", ""}}; break;
                case ArgKind::Text: good = {{"x y", ""}}; if (!option.what.empty()) bad = {{"", "needs"}}; break;
                case ArgKind::Date: good = {{"2026-02-03", ""}}; bad = {{"2026-02-30", "takes a date"}}; break;
                case ArgKind::Word: good = {{std::string(option.what), ""}}; bad = {{"xml", "takes"}}; break;
                case ArgKind::Number:
                    good = {{std::to_string(option.low), ""}};
                    bad = {{std::to_string(option.low - 1), "from " + std::to_string(option.low)}, {"7x", "not \"7x\""}};
                    if (option.high != kNoUpperBound) {
                        good.push_back({std::to_string(option.high), ""});
                        bad.push_back({std::to_string(option.high + 1), "to " + std::to_string(option.high)});
                    }
                    break;
            }
            if (name == "--every") good = {{"6h", ""}}, bad = {{"x y", "takes a time from 15min to 7d"}};
            for (const auto& [value, words] : good) {
                Args args = base;
                args.push_back(option.argument.empty() ? name : name + "=" + value);
                const CliInvocation call = parseCommandLine(args);
                EXPECT_EQ(call.command, row->command);
                std::optional<CliInvocation> without;  // trust alone asks for nothing
                try {
                    without = parseCommandLine(base);
                } catch (const CliUsageError&) {
                }
                EXPECT_TRUE(!without || call != *without) << value << " left no trace";
            }
            for (const auto& [value, words] : bad) {
                Args args = base;
                args.insert(args.end(), {name, value});
                refused(args, row->command, name + " ", words);
            }
            if (!option.argument.empty()) {
                Args args = base;
                args.push_back(name);
                refused(args, row->command, name + " needs a value");
            }
            refused({std::string(row->name), name + "-not"}, row->command, "unknown option \"" + name);
            // The option on a command whose row lacks it.
            for (const CliCommandRow* other : commandTable()) {
                const bool has = std::any_of(other->options.begin(), other->options.end(),
                                             [&](const CliOption& o) { return o.name == option.name; });
                if (!has && other->command != CliCommand::Help)
                    refused({std::string(other->name), name + (option.argument.empty() ? "" : "=1")}, other->command,
                            name + " belongs to ", std::string(row->name));
            }
        }
    }
}

// A command's help lists exactly the options of its row and the global ones for every command; two
// rows that share an option name take the same argument, so that it reads the same before the command.
TEST(CommandTableTest, EachHelpListsExactlyItsRowsOptions) {
    const std::string overview = helpText(CliCommand::Help);
    for (const CliCommandRow* row : commandTable()) {
        EXPECT_NE(overview.find("\n  " + std::string(row->name)), std::string::npos) << row->name;
        if (row->command == CliCommand::Help) continue;
        std::set<std::string> expected, listed;
        for (const CliOption& option : row->options) expected.insert(std::string(option.name));
        for (const CliOption& option : globalOptions())
            if (option.everyCommand) expected.insert(std::string(option.name));
        std::istringstream help(helpText(row->command));
        for (std::string line; std::getline(help, line);)
            if (line.starts_with("  --")) listed.insert(line.substr(2, line.find(' ', 2) - 2));
        EXPECT_EQ(listed, expected) << row->name;
        for (const CliOption& option : row->options)
            for (const CliCommandRow* other : commandTable())
                for (const CliOption& same : other->options)
                        if (same.name == option.name) {
                        EXPECT_EQ(same.argument.empty(), option.argument.empty()) << same.name;
                    }
    }
}

}  // namespace
}  // namespace korvex
