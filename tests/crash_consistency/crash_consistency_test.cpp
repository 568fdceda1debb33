// What a failing disk leaves of each file Korvex writes. The program that writes it runs with
// failing_fs_shim in front of it (LD_PRELOAD), which makes its write, fsync or rename fail on the
// files of the test's folder only, as a full disk or a failing device would. Afterwards the previous
// file must be whole, nothing half-written may be left beside it, and the program must have said so.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "history/balance_history.h"
#include "settings/settings_file.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace korvex::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// Which calls fail, after how many of them succeeded, and whether the program runs as a user whom
// the file permissions bind (`nobody` when the tests run as root).
struct Failure {
    std::string calls;
    int after = 0;
    bool unprivileged = false;
};

struct ProgramRun {
    int status = -1;     // exit status; -1 when the program did not end normally
    std::string output;  // standard output and error
    std::string failed;  // the shim's log: one line per call it made fail
};

// Runs `args` (the program first) with the shim failing `failure` on every path inside `folder`.
ProgramRun runWithFailingDisk(const std::vector<std::string>& args, const std::string& folder,
                              const Failure& failure) {
    TempDir scratch;  // outside `folder`: nothing here is made to fail
    fs::permissions(scratch.path(), fs::perms::all);
    const std::string log = scratch.write("failed.log", "");
    fs::permissions(log, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read |
                             fs::perms::others_write | fs::perms::group_read | fs::perms::group_write);
    const std::string lockFolder = scratch.file("lock");
    fs::create_directory(lockFolder);
    if (failure.unprivileged && ::geteuid() == 0 && ::chown(lockFolder.c_str(), kNobody, kNobody) != 0)
        return {};

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!entry.starts_with("KORVEX_FAIL_") && !entry.starts_with("LD_PRELOAD=") &&
            !entry.starts_with("ASAN_OPTIONS=") && !entry.starts_with("KORVEX_TEST_LOCK_FOLDER="))
            env.push_back(entry);
    }
    const char* asan = std::getenv("ASAN_OPTIONS");
    // A sanitizer's run-time library wants to be loaded first; the shim comes before it here.
    env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                  "verify_asan_link_order=0");
    env.push_back(std::string("LD_PRELOAD=") + KORVEX_FAILING_FS_SHIM);
    env.push_back("KORVEX_FAIL_CALLS=" + failure.calls);
    env.push_back("KORVEX_FAIL_PATH=" + folder);
    env.push_back("KORVEX_FAIL_AFTER=" + std::to_string(failure.after));
    env.push_back("KORVEX_FAIL_LOG=" + log);
    env.push_back("KORVEX_TEST_LOCK_FOLDER=" + lockFolder);
    std::vector<char*> envp, argv;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argsCopy = args;
    for (std::string& a : argsCopy) argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        if (failure.unprivileged && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(125);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(126);
    }
    ::close(fds[1]);
    ProgramRun run;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.failed = readFile(log);
    return run;
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// A settings file of two accounts with their last results.
void writeSettings(const TempDir& dir) {
    AccountBook book;
    book.setCount(2);
    book.client.setRow(0, {"sidorov", "pass1", "SG", "Сидоров"});
    book.client.setRow(1, {"kozlov", "pass2", "R", ""});
    book.Stat.setCell(kBalance, 0, "42,10");
    zapis(book, {}, dir.file("Settings.ini"));
}

// One file Korvex writes: how the test lays out its old state, which program writes the new one,
// and what must hold after a failed attempt.
struct WrittenFile {
    const char* name;
    // Writes the old state into the folder.
    std::function<void(const TempDir&)> prepare;
    // The command line that writes the new state.
    std::function<std::vector<std::string>(const TempDir&)> command;
    // The text the program's output must hold: the failure named, with the file.
    std::function<std::string(const TempDir&)> said;
    // The old state, read back; compared before and after.
    std::function<std::string(const TempDir&)> state;
    std::set<std::string> names;  // what the folder may hold afterwards
    // The calls fail on paths that contain this name ("": anything in the folder).
    std::string failing = "";
};

std::string historyState(const TempDir& dir) {
    const std::string path = dir.file("History.sqlite");
    std::string text;
    for (const HistoryEntry& e : BalanceHistory(path).read({}))
        text += e.time + " " + e.login + " " + e.balanceText + "\n";
    return text;
}

const WrittenFile kSettings{
    "Settings.ini (korvex-cli import)",
    [](const TempDir& dir) {
        writeSettings(dir);
        dir.write("accounts.csv", "login,password,plan,holder\nivanov,secret,SG,Иванов\npetrov,pass,R,\n");
    },
    [](const TempDir& dir) {
        return std::vector<std::string>{KORVEX_CLI_EXECUTABLE, "import", dir.file("accounts.csv"),
                                        "--settings", dir.file("Settings.ini")};
    },
    [](const TempDir& dir) { return "Unable to write to " + dir.file("Settings.ini"); },
    [](const TempDir& dir) { return readFile(dir.file("Settings.ini")); },
    {"Settings.ini", "accounts.csv"},
};

const WrittenFile kExport{
    "an export (korvex-cli export)",
    [](const TempDir& dir) {
        writeSettings(dir);
        dir.write("accounts.csv", "the previous export\n");
    },
    [](const TempDir& dir) {
        return std::vector<std::string>{KORVEX_CLI_EXECUTABLE, "export", dir.file("accounts.csv"),
                                        "--settings", dir.file("Settings.ini")};
    },
    [](const TempDir& dir) { return "cannot write " + dir.file("accounts.csv"); },
    [](const TempDir& dir) { return readFile(dir.file("accounts.csv")); },
    {"Settings.ini", "accounts.csv"},
};

const WrittenFile kHistory{
    "History.sqlite (a run's checks)",
    [](const TempDir& dir) {
        HistoryEntry old;
        old.time = "2026-12-01T08:00:00Z";
        old.login = "ivanov";
        old.balanceText = "12,00";
        BalanceHistory(dir.file("History.sqlite")).append({old, old, old});
    },
    [](const TempDir& dir) {
        // Enough checks for the transaction to span many pages of the write-ahead log.
        return std::vector<std::string>{KORVEX_HISTORY_WRITER, dir.file("Settings.ini"), "2000"};
    },
    [](const TempDir& dir) { return dir.file("History.sqlite"); },
    historyState,
    {"History.sqlite", "History.sqlite-wal", "History.sqlite-shm"},
    // The write-ahead log, where a transaction goes first (the shared-memory index is no file data).
    "History.sqlite-wal",
};

TEST(CrashConsistency, AFailingDiskLeavesThePreviousFileWholeAndIsSaid) {
    struct Case {
        const WrittenFile& file;
        Failure failure;
    };
    const Case cases[] = {
        {kSettings, {"write"}},
        {kSettings, {"fsync"}},
        {kSettings, {"rename"}},
        // A folder that refuses new files: the file is rewritten through its own inode, and a
        // failure puts the old text back, however much longer the new one was.
        {kSettings, {"write", 0, true}},
        {kSettings, {"fsync", 0, true}},
        {kExport, {"write"}},
        {kExport, {"fsync"}},
        {kExport, {"rename"}},
        {kHistory, {"write"}},
        {kHistory, {"write", 5}},  // part of the transaction is in the log already
        {kHistory, {"fsync"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file.name) + ", " + c.failure.calls + " fails after " +
                     std::to_string(c.failure.after) + (c.failure.unprivileged ? ", in place" : ""));
        TempDir dir;
        c.file.prepare(dir);
        const std::string before = c.file.state(dir);
        if (c.failure.unprivileged) {
            for (const auto& entry : fs::directory_iterator(dir.path()))
                fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read | fs::perms::group_write |
                                                  fs::perms::others_read | fs::perms::others_write);
            fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                            fs::perms::group_read | fs::perms::group_exec |
                                            fs::perms::others_read | fs::perms::others_exec);
        }
        const ProgramRun run = runWithFailingDisk(c.file.command(dir), dir.file(c.file.failing), c.failure);
        fs::permissions(dir.path(), fs::perms::owner_all);
        EXPECT_NE(run.failed, "") << "nothing was made to fail: " << run.output;
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(c.file.said(dir)), std::string::npos) << run.output;
        EXPECT_EQ(c.file.state(dir), before);
        for (const std::string& name : namesIn(dir.path().string()))
            EXPECT_TRUE(c.file.names.count(name) == 1) << name << " was left behind";
    }
}

}  // namespace
}  // namespace korvex::test
