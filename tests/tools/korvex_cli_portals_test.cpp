// korvex-cli as an installed copy runs it with Portals.ini files in both places: what it says on
// standard error (each problem once), what it uses, and its exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs korvex-cli with the arguments and $XDG_CONFIG_DIRS set to `xdgConfigDirs`; its output goes
// to files, so neither stream can fill up while the other is read.
CliRun runCli(const korvex::test::TempDir& dir, const std::vector<std::string>& args,
              const std::string& xdgConfigDirs) {
    const std::string outPath = dir.file("cli.out");
    const std::string errPath = dir.file("cli.err");
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr)) _exit(126);
        setenv("XDG_CONFIG_DIRS", xdgConfigDirs.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(KORVEX_CLI_PATH)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(KORVEX_CLI_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, korvex::test::readFile(outPath),
            korvex::test::readFile(errPath)};
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string lineWith(const std::string& text, const std::string& part) {
    for (const std::string& line : linesOf(text))
        if (line.find(part) != std::string::npos) return line;
    return {};
}

// The user's file over the administrator's: each applies what it may, each problem is said once
// on standard error, and listing the profiles still succeeds.
TEST(KorvexCliPortalsIni, BothFilesUsedAndEachProblemSaidOnce) {
    korvex::test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "etc" / "korvex");
    dir.write(
        "etc/korvex/Portals.ini",
        "[Globax]\nAddress = http://127.0.0.1:2\n[SpectrumSat]\nAddress = https://127.0.0.1:3\n[Nope]\n");
    const std::string userFile =
        dir.write("Portals.ini", "[SpectrumSat]\nAddress = https://127.0.0.1:1\n[Raduga]\nBalance = \"(x\"\n");
    const std::string settings = dir.file("Settings.ini");

    const CliRun run = runCli(dir, {"--settings", settings, "profiles"}, (dir.path() / "etc").string());
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> said = linesOf(run.err);
    ASSERT_EQ(said.size(), 2u) << run.err;
    EXPECT_NE(
        said[0].find("korvex-cli: " + (dir.path() / "etc/korvex/Portals.ini").string() + ": line 5: [Nope]"),
        std::string::npos)
        << run.err;
    EXPECT_NE(
        said[1].find("korvex-cli: " + userFile + ": line 4: [Raduga] Balance: the pattern does not compile"),
        std::string::npos)
        << run.err;

    EXPECT_NE(lineWith(run.out, "https://127.0.0.1:1").find("(" + userFile + ")"), std::string::npos)
        << run.out;
    EXPECT_EQ(lineWith(run.out, "https://127.0.0.1:3"), "") << "the user's file wins\n" << run.out;
    EXPECT_NE(lineWith(run.out, "http://127.0.0.1:2").find("etc/korvex/Portals.ini)"), std::string::npos)
        << run.out;

    // A command that reaches no portal does not say it.
    const CliRun help =
        runCli(dir, {"--settings", settings, "profiles", "template"}, (dir.path() / "etc").string());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find(";Address = https://127.0.0.1:1\n"), std::string::npos) << "the values in use\n"
                                                                                   << help.out;
    const CliRun show = runCli(dir, {"--settings", settings, "export"}, (dir.path() / "etc").string());
    EXPECT_EQ(show.err.find("Portals.ini"), std::string::npos) << show.err;
}

}  // namespace
