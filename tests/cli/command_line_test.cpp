// The command line: what each form asks for, and which are bad use (exit status 2).
#include <gtest/gtest.h>

#include "korvex-cli/command_line.h"

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
        {{"show", "--verbose"}, "unknown option \"--verbose\"", CliCommand::Show},
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

TEST(CommandLineTest, TrustTakesPortalsOrAll) {
    CliInvocation call = parseCommandLine({"trust", "https://203.0.113.7:8443", "portal.example"});
    EXPECT_EQ(call.command, CliCommand::Trust);
    EXPECT_EQ(call.portals, (Args{"https://203.0.113.7:8443", "portal.example"}));
    EXPECT_FALSE(call.all);
    call = parseCommandLine({"--settings", "s.ini", "trust", "--all"});
    EXPECT_TRUE(call.all);
    EXPECT_TRUE(call.portals.empty());
}

}  // namespace
}  // namespace korvex
