// The program as a user starts it: a real korvex process in a folder of its own (its Settings.ini
// lives beside the executable), under the offscreen platform, with a private runtime folder for the
// single-copy lock.
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

#ifndef KORVEX_EXECUTABLE
#error "KORVEX_EXECUTABLE must name the built korvex program"
#endif

namespace fs = std::filesystem;

namespace {

// A copy of the program in its own folder, started with a private lock folder.
class Program {
public:
    Program(const fs::path& folder, const fs::path& runtimeDir) : m_folder(folder) {
        fs::copy_file(KORVEX_EXECUTABLE, folder / "korvex", fs::copy_options::overwrite_existing);
        int err[2];
        if (pipe(err) != 0) throw std::runtime_error("pipe");
        m_pid = fork();
        if (m_pid == 0) {
            dup2(err[1], 2);
            close(err[0]);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
            setenv("KORVEX_TEST_LOCK_FOLDER", runtimeDir.c_str(), 1);
            const std::string exe = (folder / "korvex").string();
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(err[1]);
        m_stderr = err[0];
    }
    ~Program() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_stderr);
    }

    // Reads what the program writes on standard error for up to `ms` milliseconds.
    std::string readStderr(int ms) {
        std::string out;
        for (int waited = 0; waited < ms; waited += 50) {
            pollfd p{m_stderr, POLLIN, 0};
            if (poll(&p, 1, 50) > 0) {
                char buf[512];
                const ssize_t n = read(m_stderr, buf, sizeof buf);
                if (n <= 0) break;
                out.append(buf, static_cast<size_t>(n));
                if (out.find('\n') != std::string::npos) break;
            }
        }
        return out;
    }

    void signal(int sig) { kill(m_pid, sig); }

    // Waits up to 10 s for the program to end; answers its exit status, or -1.
    int wait() {
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    bool waitForFile(const fs::path& file) {
        for (int i = 0; i < 200; ++i) {
            if (fs::exists(file)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    fs::path m_folder;
    pid_t m_pid = -1;
    int m_stderr = -1;
};

class ProgramTest : public ::testing::Test {
protected:
    korvex::test::TempDir m_runtimeDir, m_firstDir, m_secondDir;
    const fs::path &m_runtime = m_runtimeDir.path(), &m_first = m_firstDir.path(), &m_second = m_secondDir.path();
};

}  // namespace

TEST_F(ProgramTest, ASecondCopyIsRefusedWithoutTouchingAnyFileAndAcceptedOnceTheFirstIsGone) {
    auto first = std::make_unique<Program>(m_first, m_runtime);
    ASSERT_TRUE(first->waitForFile(m_first / "Settings.ini")) << "no start-up save within 10 s";

    {
        Program second(m_second, m_runtime);
        EXPECT_NE(second.readStderr(10000).find("Запуск второй копии программы недопустим."), std::string::npos);
        EXPECT_FALSE(fs::exists(m_second / "Settings.ini"));
    }

    // A copy killed outright leaves no lock behind.
    first->signal(SIGKILL);
    first->wait();
    first.reset();
    Program third(m_second, m_runtime);
    EXPECT_TRUE(third.waitForFile(m_second / "Settings.ini")) << "no start-up save within 10 s";
}

TEST_F(ProgramTest, TerminationSignalsCloseTheWindowWithItsSave) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        const fs::path settings = m_first / "Settings.ini";
        fs::remove(settings);  // the save of the copy before: this copy's own start-up save is the sign
        Program program(m_first, m_runtime);
        // The handlers are in place before the window writes its settings at start-up, and a signal
        // that comes before the event loop waits for it: no pause is needed, however busy the machine.
        ASSERT_TRUE(program.waitForFile(settings)) << "no start-up save within 10 s";
        fs::remove(settings);  // only the closing save brings it back
        program.signal(sig);
        EXPECT_EQ(program.wait(), 0) << "-1: still running 10 s after the signal";
        EXPECT_TRUE(fs::exists(settings)) << "no save on the way out";
    }
}
