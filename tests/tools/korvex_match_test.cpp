// korvex-match as a user runs it: a pattern, a saved page (a file or standard input), the answer
// on standard output and the exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the tool with the arguments, feeding `input` to its standard input.
ToolRun runTool(const std::vector<std::string>& args, const std::string& input) {
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0), dup2(out[1], 1), dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        std::vector<char*> argv{const_cast<char*>(KORVEX_MATCH_PATH)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(KORVEX_MATCH_PATH, argv.data());
        _exit(127);
    }
    close(in[0]), close(out[1]), close(err[1]);
    // Small inputs only: the pipe holds them whole, so writing first cannot block. The tool may end
    // before it reads them (a bad pattern): the write then fails with EPIPE instead of killing this
    // process with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0 && errno != EPIPE) return {};
    close(in[1]);
    ToolRun r;
    auto drain = [](int fd, std::string& to) {
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) to.append(buf, static_cast<std::size_t>(n));
        close(fd);
    };
    drain(out[0], r.out);
    drain(err[0], r.err);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(KorvexMatch, AnswersFoundWithGroupsOnePerLine) {
    const ToolRun r = runTool({R"(Chosen speed: (.*?)\ Kbps)"}, "Deposit: 1,\r\nChosen speed: 256\r\n Kbps");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "found\nChosen speed: 256\\r\\n Kbps\n256\\r\\n\n\n\n\n");
    EXPECT_EQ(r.err, "");
}

// Every kind of file is read to its end: a large page whose match is its last bytes, an empty one,
// one that reports no size (procfs), a folder (an error); "-i" before the pattern ignores case.
TEST(KorvexMatch, ReadsEveryKindOfFileToItsEnd) {
    const korvex::test::TempDir dir;
    const std::string large = dir.write("large.html", std::string(3 * 1024 * 1024 + 17, 'x') + "Deposit: 12.50,");
    const std::string empty = dir.write("empty.html", "");
    const std::string status = dir.write("status.html", "<b>Status: ACTIVE\\ok</b>");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out;  // beginning of standard output
    } cases[] = {
        {{"Deposit: (.*?),", large}, 0, "found\nDeposit: 12.50,\n12.50\n"},
        {{"x", empty}, 1, "not found\n"},
        {{"Name:", "/proc/self/status"}, 0, "found\nName:\n"},
        {{"x", "/tmp"}, 2, ""},
        {{"-i", "status: (active)(.)(x)?", status}, 0, "found\nStatus: ACTIVE\\\\\nACTIVE\n\\\\\n\n\n"},
    };
    for (const auto& c : cases) {
        const ToolRun r = runTool(c.args, "");
        EXPECT_EQ(r.status, c.status) << c.args[1];
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << c.args[1] << ": " << r.out.substr(0, 80);
    }
}

TEST(KorvexMatch, ExitStatusTellsMissAndErrors) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;  // beginning of standard error
        std::string input = "text -x";
    } cases[] = {
        {{"absent"}, 1, "not found\n\n\n\n\n\n", ""},
        {{"a)"}, 2, "", "TPatternMatcher(comp): ParseReg Unmatched () (pos 1)\n"},
        {{"(a)(b)(c)(d)(e)"}, 2, "", "TPatternMatcher(comp): ParseReg Too Many () (pos 12)\n"},
        {{"x", "/nonexistent/page.html"}, 2, "", "korvex-match: /nonexistent/page.html: "},
        {{}, 2, "", "usage: korvex-match"},
        {{"-q", "x"}, 2, "", "korvex-match: unknown option -q"},
        {{"--", "-x"}, 0, "found\n-x\n\n\n\n\n", ""},
        // Retries every split of the a's: the limit ends it, with a status of its own.
        {{"(.*a){12}b"}, 3, "", "korvex-match: the pattern needs too much work on this page\n",
         std::string(40, 'a') + "c"},
    };
    for (const auto& c : cases) {
        const ToolRun r = runTool(c.args, c.input);
        EXPECT_EQ(r.status, c.status) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
    }
}

}  // namespace
