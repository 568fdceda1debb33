// The real helper, as korvex carries it, in real processes: it waits for a running program to
// end, replaces it and starts it again. Every folder has a space and non-ASCII letters.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "tests/support/temp_dir.h"
#include "update/install/handover.h"
#include "update/install/helper_image.h"
#include "update/install/paths.h"
#include "updatehelper/helper_command_line.h"
#include "updatehelper/install_journal.h"
#include "updatehelper/program_wait.h"

extern char** environ;

namespace korvex::update {

int runWith(const std::string& path, std::vector<std::string> args,
            const std::vector<std::string>& extraEnvironment, const std::string& errFile,
            const std::string& outFile = "/dev/null");

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

pid_t spawn(const std::string& path, std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

// Waits for a child to end and answers its exit status (-1 when it did not end in time).
int exitStatus(pid_t pid) {
    int status = 0;
    if (!waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; })) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `path` with `args` and `extraEnvironment` added, its standard error into `errFile` (and its
// standard output into `outFile`); the raw wait status (-1 when it did not end in time).
int runWith(const std::string& path, std::vector<std::string> args,
            const std::vector<std::string>& extraEnvironment, const std::string& errFile,
            const std::string& outFile) {
    std::vector<std::string> environment(extraEnvironment);
    for (char** e = environ; *e; ++e) environment.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (!waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; })) return -1;
    return status;
}

namespace {

class HelperRun : public ::testing::Test {
protected:
    void SetUp() override {
        programFolder = (dir.path() / "Korvex Программа é").string() + "/";
        tempFolder = (dir.path() / "врем tmp").string() + "/";
        fs::create_directories(programFolder);
        fs::create_directories(tempFolder);
        fs::permissions(tempFolder, fs::perms::owner_all);
        programPath = programFolder + "korvex";
        oldProgram = test::readFile(KORVEX_FAKE_PROGRAM_PATH);
        newProgram = oldProgram + std::string(4096, 'N');  // still runs: nothing reads past the ELF's parts
        install(programPath, oldProgram, 0750);
    }

    static void install(const std::string& path, const std::string& bytes, mode_t mode) {
        std::ofstream(path, std::ios::binary) << bytes;
        chmod(path.c_str(), mode);
    }

    // The report the program at `path` wrote when it was started ("" until it has).
    static std::string report(const std::string& path) { return test::readFile(path + ".report"); }

    static std::string reportOf(size_t size, const std::vector<std::string>& args) {
        std::string text = "size=" + std::to_string(size) + "\n";
        for (const auto& a : args) text += "arg=" + a + "\n";
        return text;
    }

    UpFolders folders() const { return upFoldersFor(programPath, tempFolder); }

    test::TempDir dir;
    std::string programFolder, tempFolder, programPath, oldProgram, newProgram;
};

// The whole hand-over: korvex (here the stand-in) still runs when the helper starts; the helper
// waits for it, installs the program and a queued file elsewhere, and starts the new program
// with the restart parameters.
TEST_F(HelperRun, ReplacesTheProgramAfterItEndsAndRestartsIt) {
    const std::string release = dir.file("release");
    const pid_t running = spawn(programPath, {"--hold", release});
    ASSERT_GT(running, 0);

    fs::create_directories(dir.path() / "Данные é");
    const std::string data = dir.write("Данные é/a.dat", "old data");
    dir.write("Данные é/a.dat.updtmp", "new data");
    install(programPath + ".updtmp", newProgram, 0644);

    HandOver handOver{folders(), {"http://example.invalid/korvex", "http://example.invalid/a.dat=" + data},
                      "/afterupdate second", false, true};
    std::string error;
    ASSERT_TRUE(handOverToHelper(handOver, pathMacroFolders(programFolder, tempFolder), &error)) << error;
    EXPECT_EQ(test::readFile(folders().queuePath), data + "\r\n");
    struct stat st {};
    ASSERT_EQ(stat(folders().helperPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // While the program runs nothing is touched.
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(fs::exists(programPath + ".updtmp"));
    EXPECT_EQ(test::readFile(data), "old data");
    EXPECT_TRUE(test::readFile(programPath) == oldProgram) << "the program was replaced while it ran";

    std::ofstream(release) << "";
    EXPECT_EQ(exitStatus(running), 0);

    ASSERT_TRUE(waitFor([&] { return !report(programPath).empty(); })) << "the program was not started again";
    EXPECT_EQ(report(programPath), reportOf(newProgram.size(), {"/afterupdate", "second"}));
    EXPECT_TRUE(test::readFile(programPath) == newProgram) << "the program was not replaced";
    ASSERT_EQ(stat(programPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u) << "the replaced program's permission bits are lost";
    EXPECT_EQ(test::readFile(data), "new data");
    EXPECT_TRUE(waitFor([&] { return !fs::exists(folders().queuePath); })) << "the queue is left behind";
    EXPECT_FALSE(fs::exists(programPath + ".updtmp"));
}

// External-setup mode: a downloaded "setup.exe" runs in place of the program with the restart
// parameters; once it has ended the helper deletes it and starts the program.
TEST_F(HelperRun, ExternalSetupRunsThenTheProgramStarts) {
    const std::string setup = programFolder + "setup.exe";
    install(setup + ".updtmp", oldProgram, 0644);
    ASSERT_TRUE(writeUpdateHelper(folders().helperPath));
    const pid_t helper = spawn(folders().helperPath, updatehelper::helperArguments(programPath, "/afterupdate", true));
    EXPECT_EQ(exitStatus(helper), 0);
    EXPECT_EQ(report(setup), reportOf(oldProgram.size(), {"/afterupdate"}));
    EXPECT_FALSE(fs::exists(setup)) << "the setup is left behind";
    ASSERT_TRUE(waitFor([&] { return !report(programPath).empty(); }));
    EXPECT_EQ(report(programPath), reportOf(oldProgram.size(), {"/afterupdate"}));
}

// "SETUP.EXE" in capitals is no setup: it is installed like any file and the program itself is
// started, here with the one-blank restart parameters, which give it no argument.
TEST_F(HelperRun, CapitalSetupExeIsNotRun) {
    const std::string setup = programFolder + "SETUP.EXE";
    install(setup + ".updtmp", oldProgram, 0644);
    ASSERT_TRUE(writeUpdateHelper(folders().helperPath));
    const pid_t helper = spawn(folders().helperPath, updatehelper::helperArguments(programPath, " ", true));
    EXPECT_EQ(exitStatus(helper), 0);
    ASSERT_TRUE(waitFor([&] { return !report(programPath).empty(); }));
    EXPECT_EQ(report(programPath), reportOf(oldProgram.size(), {}));
    EXPECT_TRUE(test::readFile(setup) == oldProgram) << "SETUP.EXE was not installed";
    EXPECT_EQ(report(setup), "");
}

// The helper ignores SIGHUP and SIGPIPE so that nothing ends it between two moves; the program it
// starts again must not inherit that, or a closed terminal or reader would never end it.
TEST_F(HelperRun, TheRestartedProgramDoesNotInheritTheIgnoredSignals) {
    ASSERT_TRUE(writeUpdateHelper(folders().helperPath));
    const pid_t helper =
        spawn(folders().helperPath, updatehelper::helperArguments(programPath, "/afterupdate", true));
    EXPECT_EQ(exitStatus(helper), 0);
    ASSERT_TRUE(waitFor([&] { return !report(programPath).empty(); }));
    EXPECT_EQ(test::readFile(programPath + ".signals"), "SIGHUP default\nSIGPIPE default\n");
}

// A helper that cannot be written leaves nothing half-written and the hand-over fails, so the
// program stays open instead of closing with no one to start it again.
TEST_F(HelperRun, HandOverFailsWhenTheHelperCannotBeWritten) {
    HandOver handOver{upFoldersFor(programPath, dir.file("missing folder") + "/"), {}, " ", false, true};
    std::string error;
    EXPECT_FALSE(handOverToHelper(handOver, pathMacroFolders(programFolder, tempFolder), &error));
    EXPECT_NE(error, "");
    handOver.folders.tempFolder.clear();
    EXPECT_FALSE(handOverToHelper(handOver, pathMacroFolders(programFolder, tempFolder), &error));
}

// The helper killed (SIGKILL) right after the first of its three renames leaves one new file
// beside two old ones. The next start of korvex (korvex-cli here, started from the program
// folder) settles that before anything else: all new when every new file is still there, all old
// when one is gone; it runs, says so once, and leaves no queue, journal or copies behind.
TEST_F(HelperRun, KilledHelperIsFinishedOrUndoneAtTheNextStart) {
    const std::string oldCli = test::readFile(KORVEX_CLI_EXECUTABLE);
    ASSERT_FALSE(oldCli.empty());
    const std::string newCli = oldCli + std::string(4096, 'N');
    const struct {
        const char* name;
        const char* lostFile;  // "" none
        const char* outcome;
        const char* note;
    } cases[] = {
        {"every new file still there", "", "new", "An interrupted update has been completed."},
        {"a new file lost meanwhile", "a.so.updtmp", "old",
         "An interrupted update has been undone; the previous version is in place."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(programFolder);
        fs::create_directories(programFolder);
        const std::string data = (dir.path() / "Данные é").string() + "/";
        fs::remove_all(data);
        fs::create_directories(data);
        install(programPath, oldCli, 0755);
        install(programPath + ".updtmp", newCli, 0644);
        install(programFolder + "a.so", "old", 0644);
        install(programFolder + "a.so.updtmp", "new", 0644);
        install(data + "q.dat", "old", 0644);
        install(data + "q.dat.updtmp", "new", 0644);
        install(folders().queuePath, data + "q.dat\r\n", 0600);
        ASSERT_TRUE(writeUpdateHelper(folders().helperPath));

        const std::string err = dir.file("stderr");
        const int helper =
            runWith(folders().helperPath, updatehelper::helperArguments(programPath, " ", false),
                    {std::string("LD_PRELOAD=") + KORVEX_KILL_AFTER_RENAME_PATH,
                     "KORVEX_TEST_KILL_AFTER_RENAMES=1", "ASAN_OPTIONS=verify_asan_link_order=0"},
                    err);
        ASSERT_TRUE(WIFSIGNALED(helper) && WTERMSIG(helper) == SIGKILL)
            << helper << " " << test::readFile(err);
        // Two releases mixed: the queued file is new, the program folder's are old.
        ASSERT_EQ(test::readFile(data + "q.dat"), "new");
        ASSERT_EQ(test::readFile(programFolder + "a.so"), "old");
        ASSERT_TRUE(test::readFile(programPath) == oldCli);
        if (*c.lostFile) fs::remove(programFolder + c.lostFile);

        const int start = runWith(programPath, {"--help"}, {"LC_ALL=C"}, err);
        EXPECT_TRUE(WIFEXITED(start) && WEXITSTATUS(start) == 0) << start;
        EXPECT_EQ(test::readFile(err), std::string("korvex-cli: ") + c.note + "\n");
        const bool isNew = std::string(c.outcome) == "new";
        EXPECT_EQ(test::readFile(data + "q.dat"), c.outcome);
        EXPECT_EQ(test::readFile(programFolder + "a.so"), c.outcome);
        EXPECT_TRUE(test::readFile(programPath) == (isNew ? newCli : oldCli))
            << "the program is of the other release";
        EXPECT_FALSE(fs::exists(folders().queuePath));
        EXPECT_FALSE(fs::exists(programFolder + updatehelper::kJournalFileName));
        for (const auto& folder : {programFolder, data})
            for (const auto& left : fs::directory_iterator(folder)) {
                const std::string name = left.path().filename().string();
                EXPECT_FALSE(name.ends_with(".updtmp") || name.ends_with(".updold")) << left.path();
            }

        // The program runs, and the user is told only once.
        const int again = runWith(programPath, {"--help"}, {"LC_ALL=C"}, err);
        EXPECT_TRUE(WIFEXITED(again) && WEXITSTATUS(again) == 0) << again;
        EXPECT_EQ(test::readFile(err), "");
    }
}

}  // namespace
}  // namespace korvex::update

namespace korvex::updatehelper {
namespace {

// Each sign of a running program alone: the kernel's refusal to open it for writing (which newer
// kernels may drop) and a process of this user whose executable is that file.
TEST(ProgramWait, BothSignsSeeARunningProgramAndNotAnEndedOne) {
    test::TempDir dir;
    const std::string program = dir.write("korvex é", test::readFile(KORVEX_FAKE_PROGRAM_PATH));
    chmod(program.c_str(), 0700);
    const std::string release = dir.file("release");
    const pid_t pid = update::spawn(program, {"--hold", release});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(update::waitFor([&] { return runByProcessOfThisUser(program); }));
    EXPECT_TRUE(executableBusy(program));
    std::ofstream(release) << "";
    EXPECT_EQ(update::exitStatus(pid), 0);
    EXPECT_FALSE(runByProcessOfThisUser(program));
    EXPECT_FALSE(executableBusy(program));
    waitUntilProgramEnded(program);  // returns at once
}

}  // namespace
}  // namespace korvex::updatehelper
