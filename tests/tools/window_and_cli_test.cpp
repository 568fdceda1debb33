// korvex-cli beside the window: the same refresh gives the same cells and the same requests, and
// the two programs never run at once.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/tform1.h"
#include "korvex-cli/commands/check_update_command.h"
#include "tests/cli/cli_test_support.h"

#ifndef KORVEX_EXECUTABLE
#error "KORVEX_EXECUTABLE must name the built korvex program"
#endif
#ifndef KORVEX_CLI_EXECUTABLE
#error "KORVEX_CLI_EXECUTABLE must name the built korvex-cli program"
#endif

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// What the window's and the command line's runs send, without what differs by nature (the session
// cookies the portals hand out).
std::vector<std::string> requestLines(const std::vector<RequestRecord>& records) {
    std::vector<std::string> lines;
    for (RequestRecord record : records) {
        record.cookie.clear();
        lines.push_back(formatRecord(record));
    }
    return lines;
}

TEST(WindowAndCliTest, TheRefreshSendsWhatTheWindowsRunSendsAndFillsTheSameCells) {
    DemoPortals portals;
    CliFolder window{demoPortalAddresses(portals)};
    CliFolder cli{demoPortalAddresses(portals)};
    for (CliFolder* folder : {&window, &cli})
        ASSERT_EQ(importCommand(folder->context(), KORVEX_DEMO_ACCOUNTS_CSV, true), kExitOk)
            << folder->err.str();

    QStringList errors;
    AccountBook windowBook;
    {
        WindowEnvironment env;
        env.showError = [&errors](const QString& text) { errors << text; };
        env.addresses = window.addresses;
        env.clock = std::make_shared<FixedCheckClock>(window.clock);
        TForm1 form(window.settings, env);
        portals.clearRequests();
        form.bbb111Click();
        windowBook = form.book();
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    const auto windowRequests = requestLines(portals.requests());

    portals.clearRequests();
    // The demo's account with a wrong password fails the run (before its negative balances).
    ASSERT_EQ(refreshCommand(cli.context(), std::nullopt), kExitFailed) << cli.err.str();
    const auto cliRequests = requestLines(portals.requests());

    EXPECT_GE(windowRequests.size(), 31u) << "one request per account at least";
    EXPECT_EQ(cliRequests, windowRequests);
    EXPECT_EQ(cli.fileText(), window.fileText());
    const AccountBook cliBook = savedBook(cli.settings);
    ASSERT_EQ(cliBook.clients, windowBook.clients);
    for (int row = 0; row < cliBook.clients; ++row) {
        for (int col = kBalance; col <= kStatus; ++col)
            EXPECT_EQ(cliBook.Stat.cell(col, row), windowBook.Stat.cell(col, row)) << row << "," << col;
        EXPECT_EQ(windowBook.Stat.cell(kStatPlanCode, row), cliBook.client.cell(kPlanCode, row))
            << "the printed plan code is the one the window shows after the check";
    }
}

// A program started from a copy in its own folder, with a private runtime folder for the lock.
class Process {
public:
    Process(const fs::path& executable, const std::vector<std::string>& args, const fs::path& runtime) {
        int input[2], error[2];
        if (::pipe(input) != 0 || ::pipe(error) != 0) throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(input[0], 0);
            const int nothing = ::open("/dev/null", O_WRONLY);
            ::dup2(nothing, 1);
            ::dup2(error[1], 2);
            ::close(input[1]);
            ::close(error[0]);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            ::setenv("KORVEX_TEST_LOCK_FOLDER", runtime.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(executable.c_str())};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(executable.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(error[1]);
        m_stdin = input[1];
        m_stderr = error[0];
    }
    ~Process() {
        closeInput();
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_stderr);
    }

    void write(const std::string& text) {
        ASSERT_EQ(::write(m_stdin, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void closeInput() {
        if (m_stdin >= 0) ::close(m_stdin);
        m_stdin = -1;
    }

    // Standard error until it holds `text`, ends, or 20 s pass.
    std::string stderrUntil(const std::string& text) {
        for (int waited = 0; waited < 20000 && m_err.find(text) == std::string::npos; waited += 50) {
            pollfd p{m_stderr, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buf[512];
                const ssize_t n = ::read(m_stderr, buf, sizeof buf);
                if (n <= 0) break;
                m_err.append(buf, static_cast<std::size_t>(n));
            }
        }
        return m_err;
    }

    // The exit status, waiting up to 20 s; -1 when it did not end.
    int wait() {
        for (int i = 0; i < 400; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(50ms);
        }
        return -1;
    }

    // Waits up to 20 s for `reached`, while the process runs; false (with a failure naming `what` and
    // how the wait ended) when it does not come.
    bool awaitState(const std::function<bool()>& reached, const std::string& what) {
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (!reached()) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                ADD_FAILURE() << "the process ended before " << what;
                return false;
            }
            if (std::chrono::steady_clock::now() > end) {
                ADD_FAILURE() << "not within 20 s: " << what;
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    // True once the process holds a flock() lock (the single-copy guard), as /proc/locks lists it.
    bool holdsLock() const {
        std::ifstream locks("/proc/locks");
        for (std::string line; std::getline(locks, line);) {
            std::istringstream fields(line);
            std::string number, kind, mode, access;
            pid_t pid = 0;
            fields >> number >> kind >> mode >> access >> pid;
            if (kind == "FLOCK" && pid == m_pid) return true;
        }
        return false;
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stderr = -1;
    std::string m_err;
};

class SingleCopyTest : public testing::Test {
protected:
    SingleCopyTest() {
        fs::copy_file(KORVEX_EXECUTABLE, window.dir.path() / "korvex");
        fs::copy_file(KORVEX_CLI_EXECUTABLE, cli.dir.path() / "korvex-cli");
    }
    fs::path korvex() const { return window.dir.path() / "korvex"; }
    fs::path korvexCli() const { return cli.dir.path() / "korvex-cli"; }

    TempDir runtime;
    CliFolder window;
    CliFolder cli;
    const std::string csv =
        std::string(kHeader) + "ivanov,pw,39,\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2\n";
};

TEST_F(SingleCopyTest, TheCommandLineIsRefusedOnTheWindowsBookAndRunsOnAnother) {
    Process korvexWindow(korvex(), {}, runtime.path());
    ASSERT_TRUE(korvexWindow.awaitState([&] { return fs::exists(window.settings); }, "its start-up save"));
    const std::string accounts = cli.dir.write("a.csv", csv);
    const std::string before = readFile(window.settings);
    // The window's book, named as it is and through a link to its folder.
    const fs::path linked = cli.dir.path() / "linked";
    fs::create_directory_symlink(window.dir.path(), linked);
    for (const std::string& book : {std::string(window.settings), (linked / "." / "Settings.ini").string()})
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"import", accounts, "--settings", book},
              {"refresh", "--settings", book}}) {
            SCOPED_TRACE(args[0] + " " + book);
            Process second(korvexCli(), args, runtime.path());
            EXPECT_EQ(second.wait(), kExitFailed);
            // In English, naming the book and what still runs on it.
            EXPECT_EQ(second.stderrUntil("\n"),
                      "korvex-cli: the book " + book +
                          " is open in the Korvex window or in another korvex-cli, which may change it; this "
                          "command runs when that one has ended (show, export, history, forecast, check-update, "
                          "update and profiles still work on the book meanwhile)\n");
            EXPECT_EQ(readFile(window.settings), before) << "a refused copy touches no file";
        }
    // Another book is another lock: korvex-cli checks it beside the window.
    Process other(korvexCli(), {"import", accounts}, runtime.path());
    EXPECT_EQ(other.wait(), kExitOk) << other.stderrUntil("\n");
    EXPECT_EQ(savedBook(cli.settings).client.cell(kLogin, 0), "ivanov");
    // The commands that only read run beside the window, on its file.
    for (const char* command : {"show", "export"}) {
        SCOPED_TRACE(command);
        Process reading(korvexCli(), {command, "--settings", window.settings}, runtime.path());
        EXPECT_EQ(reading.wait(), kExitOk) << reading.stderrUntil("\n");
    }
    // The help needs no lock.
    Process help(korvexCli(), {"--help"}, runtime.path());
    EXPECT_EQ(help.wait(), kExitOk);
}

TEST_F(SingleCopyTest, TheWindowIsRefusedWhileTheCommandLineRuns) {
    // An import from standard input holds the lock of the window's book until its input ends.
    Process importing(korvexCli(), {"import", "-", "--settings", window.settings}, runtime.path());
    ASSERT_TRUE(importing.awaitState([&] { return importing.holdsLock(); }, "it held the lock of the book"));
    {
        Process korvexWindow(korvex(), {}, runtime.path());
        EXPECT_NE(korvexWindow.stderrUntil("\n").find("Запуск второй копии программы недопустим."),
                  std::string::npos);
        EXPECT_FALSE(fs::exists(window.settings));
    }
    importing.write(csv);
    importing.closeInput();
    EXPECT_EQ(importing.wait(), kExitOk) << importing.stderrUntil("\n");
    EXPECT_EQ(savedBook(window.settings).client.cell(kLogin, 0), "ivanov");

    // Once it has ended, the window starts.
    Process korvexWindow(korvex(), {}, runtime.path());
    ASSERT_TRUE(korvexWindow.awaitState([&] { return korvexWindow.holdsLock(); }, "it held the lock of the book"));
}

// A save killed mid-way leaves the accounts in a temporary file beside Settings.ini; the next start
// of either front, once it holds the single-copy lock, removes it.
// check-update only reads: while it waits on an update server (here a proxy) that accepted the
// request and says nothing, a cron job's refresh runs and saves.
TEST_F(SingleCopyTest, RefreshRunsBesideACheckUpdateThatWaits) {
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(silent, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    cli.writeAccounts({{"", "", "", ""}}, {true, "127.0.0.1", std::to_string(ntohs(address.sin_port))});
    window.writeAccounts({{"", "", "", ""}});  // an empty row: nothing to ask, the run still saves

    Process checking(korvexCli(), {"check-update", "--settings", cli.settings}, runtime.path());
    pollfd request{silent, POLLIN, 0};
    ASSERT_EQ(::poll(&request, 1, 20000), 1) << "check-update never asked";
    const int connection = ::accept4(silent, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(connection, 0);
    ASSERT_NE(::waitpid(checking.pid(), nullptr, WNOHANG), checking.pid()) << "check-update ended";

    Process refreshing(korvexCli(), {"refresh", "--settings", window.settings}, runtime.path());
    EXPECT_EQ(refreshing.wait(), kExitOk) << refreshing.stderrUntil("\n");
    EXPECT_NE(::waitpid(checking.pid(), nullptr, WNOHANG), checking.pid()) << "check-update ended meanwhile";
    ::kill(checking.pid(), SIGINT);
    EXPECT_EQ(checking.wait(), kExitCheckFailed);
    ::close(connection);
    ::close(silent);
}

TEST_F(SingleCopyTest, EachStartRemovesWhatACrashedSaveLeft) {
    const std::string cliLeftover = cli.dir.write("Settings.ini.tmp-Ab12Cd", "Password_0=secret\n");
    Process importing(korvexCli(), {"import", cli.dir.write("a.csv", csv)}, runtime.path());
    EXPECT_EQ(importing.wait(), kExitOk) << importing.stderrUntil("\n");
    EXPECT_FALSE(fs::exists(cliLeftover));

    const std::string windowLeftover = window.dir.write("Settings.ini.tmp-Ab12Cd", "Password_0=secret\n");
    Process korvexWindow(korvex(), {}, runtime.path());
    ASSERT_TRUE(korvexWindow.awaitState([&] { return fs::exists(window.settings); }, "its start-up save"));
    EXPECT_FALSE(fs::exists(windowLeftover));
}

}  // namespace
}  // namespace korvex::test
