// The program as a user runs it on a desktop: a real korvex process in a folder of its own, on a real
// X server with a tray host. The test looks at it through the X server (window properties, where its
// windows are) and works it with real input (xdotool), as a window manager and a user would.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <fstream>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings_file.h"
#include "tests/app/xserver.h"

#ifndef KORVEX_EXECUTABLE
#error "KORVEX_EXECUTABLE must name the built korvex program"
#endif

extern char** environ;

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWindowWidth = 806;
constexpr int kWindowHeight = 473;
constexpr int kScreenWidth = 1024;  // as XServerWithTray starts Xvfb
constexpr int kScreenHeight = 768;

bool waitUntil(const std::function<bool()>& done, int ms = 10000) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return true;
}

// Runs xdotool with these arguments on the test's display and waits for it.
bool xdotool(const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>("xdotool")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A connection to the X server, for what a window manager or a pager sees of the program's windows.
class XDisplay {
public:
    XDisplay() : m_conn(xcb_connect(nullptr, nullptr)) {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
    }
    ~XDisplay() { xcb_disconnect(m_conn); }
    bool ok() const { return !xcb_connection_has_error(m_conn); }

    xcb_atom_t atom(const char* name) {
        auto* reply = xcb_intern_atom_reply(m_conn, xcb_intern_atom(m_conn, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return a;
    }

    std::string property(xcb_window_t w, const char* name) {
        auto* reply = xcb_get_property_reply(
            m_conn, xcb_get_property(m_conn, 0, w, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr);
        std::string value;
        if (reply) value.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                                static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        std::free(reply);
        return value;
    }

    std::optional<std::uint32_t> pidOf(xcb_window_t w) {
        const std::string v = property(w, "_NET_WM_PID");
        if (v.size() != 4) return std::nullopt;
        std::uint32_t pid = 0;
        std::memcpy(&pid, v.data(), 4);
        return pid;
    }

    struct Window {
        xcb_window_t id = 0;
        bool topLevel = false;  // a child of the root window (nothing has reparented it)
        bool mapped = false;
        int x = 0, y = 0, width = 0, height = 0;  // x, y on the root window
    };

    // Every window of process `pid`, in the whole tree.
    std::vector<Window> windowsOf(pid_t pid) {
        std::vector<Window> found;
        walk(m_root, pid, found);
        return found;
    }

    // What a window manager does when the user minimises a window: the ICCCM iconic state.
    void iconify(xcb_window_t w) {
        const std::uint32_t state[2] = {3 /* IconicState */, XCB_NONE};
        const xcb_atom_t wmState = atom("WM_STATE");
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, w, wmState, wmState, 32, 2, state);
        xcb_flush(m_conn);
    }

private:
    void walk(xcb_window_t parent, pid_t pid, std::vector<Window>& found) {
        auto* tree = xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, parent), nullptr);
        if (!tree) return;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        const int count = xcb_query_tree_children_length(tree);
        for (int i = 0; i < count; ++i) {
            const xcb_window_t w = children[i];
            if (pidOf(w) == static_cast<std::uint32_t>(pid)) found.push_back(describe(w, parent == m_root));
            walk(w, pid, found);
        }
        std::free(tree);
    }

    Window describe(xcb_window_t w, bool topLevel) {
        Window d;
        d.id = w;
        d.topLevel = topLevel;
        if (auto* attr = xcb_get_window_attributes_reply(m_conn, xcb_get_window_attributes(m_conn, w), nullptr)) {
            d.mapped = attr->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(attr);
        }
        if (auto* geo = xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, w), nullptr)) {
            d.width = geo->width;
            d.height = geo->height;
            std::free(geo);
        }
        if (auto* at = xcb_translate_coordinates_reply(m_conn, xcb_translate_coordinates(m_conn, w, m_root, 0, 0),
                                                       nullptr)) {
            d.x = at->dst_x;
            d.y = at->dst_y;
            std::free(at);
        }
        return d;
    }

    xcb_connection_t* m_conn;
    xcb_window_t m_root = 0;
};

// A loopback port that takes connections and never answers: a portal (here, the proxy every request
// goes through) that stalls.
class StalledPort {
public:
    StalledPort() {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(m_fd, 16);
        socklen_t len = sizeof addr;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
    }
    ~StalledPort() { close(m_fd); }
    int port() const { return m_port; }
    // True once a connection waits to be taken (the request is under way).
    bool reached() const {
        pollfd p{m_fd, POLLIN, 0};
        return poll(&p, 1, 0) > 0;
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

// A copy of korvex in a folder of its own, started on the test's X server.
class DesktopProgram {
public:
    DesktopProgram(const fs::path& folder, const fs::path& runtimeDir, const std::vector<std::string>& args) {
        fs::copy_file(KORVEX_EXECUTABLE, folder / "korvex", fs::copy_options::overwrite_existing);
        m_pid = fork();
        if (m_pid == 0) {
            const int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
            setenv("KORVEX_TEST_LOCK_FOLDER", runtimeDir.c_str(), 1);
            std::string exe = (folder / "korvex").string();
            std::vector<char*> argv{exe.data()};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
    }
    ~DesktopProgram() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    pid_t pid() const { return m_pid; }

    // Waits up to `ms` for the process to end; its exit status, or nullopt while it still runs.
    std::optional<int> waitForExit(int ms) {
        std::optional<int> result;
        waitUntil(
            [&] {
                int status = 0;
                if (waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
                m_pid = -1;
                result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return true;
            },
            ms);
        return result;
    }

private:
    pid_t m_pid = -1;
};

class DesktopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_x = new XServerWithTray;
        if (!s_x->display().empty()) setenv("DISPLAY", s_x->display().c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete s_x;
        s_x = nullptr;
    }
    void SetUp() override {
        if (s_x->display().empty()) GTEST_SKIP() << s_x->error();
        if (access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is missing (scripts/setup installs it)";
        char pattern[] = "/tmp/korvex-desktop-XXXXXX";
        m_dir = mkdtemp(pattern);
        fs::create_directory(m_dir / "runtime");
        fs::permissions(m_dir / "runtime", fs::perms::owner_all);
        fs::create_directory(m_dir / "program");
        m_settings = m_dir / "program" / "Settings.ini";
        x = std::make_unique<XDisplay>();
        ASSERT_TRUE(x->ok());
    }
    void TearDown() override {
        program.reset();
        x.reset();
        if (!m_dir.empty()) fs::remove_all(m_dir);
    }

    void writeSettings(const std::vector<std::vector<std::string>>& accounts, const ProxySettings& proxy = {}) {
        AccountBook book;
        book.setCount(static_cast<int>(accounts.size()));
        for (int r = 0; r < book.clients; ++r) {
            for (int c = 0; c < static_cast<int>(accounts[r].size()); ++c)
                book.client.setCell(c, r, accounts[r][c]);
        }
        zapis(book, proxy, m_settings.string());
        // An address that is no placeholder: the start asks nothing, and a run goes out (through the
        // proxy, when there is one).
        std::ofstream(m_settings.parent_path() / "Portals.ini") << "[SpaceGate 21]\nAddress = https://sg.example\n";
    }
    void start(const std::vector<std::string>& args = {}) {
        program = std::make_unique<DesktopProgram>(m_dir / "program", m_dir / "runtime", args);
    }

    // The program's top-level window of this size that is on the screen (or any state with `mapped`
    // false), once it is there.
    std::optional<XDisplay::Window> topLevel(int width, int height, bool mapped = true) {
        for (const auto& w : x->windowsOf(program->pid()))
            if (w.topLevel && w.mapped == mapped && w.width == width && w.height == height) return w;
        return std::nullopt;
    }
    XDisplay::Window awaitMainWindow() {
        std::optional<XDisplay::Window> found;
        EXPECT_TRUE(waitUntil([&] { return (found = topLevel(kWindowWidth, kWindowHeight)).has_value(); }))
            << "the main window was not on the screen within 10 s";
        return found.value_or(XDisplay::Window{});
    }
    // A mapped top-level window of the program, other than the main window and the tray icon, whose
    // title begins with `title` (a message box). The tray icon's window bears the program's name and,
    // for a moment while the tray host takes it in, sits mapped on the root window: taken for a box,
    // it had a test act before the program had read its settings.
    std::optional<XDisplay::Window> box(const std::string& title) {
        for (const auto& w : x->windowsOf(program->pid()))
            if (w.topLevel && w.mapped && w.width != kWindowWidth && !trayIconSized(w) &&
                x->property(w.id, "_NET_WM_NAME").rfind(title, 0) == 0)
                return w;
        return std::nullopt;
    }
    static bool trayIconSized(const XDisplay::Window& w) { return w.width > 0 && w.width < 64; }
    // The tray icon: the program's window that the tray host has taken in.
    std::optional<XDisplay::Window> trayIcon() {
        for (const auto& w : x->windowsOf(program->pid()))
            if (!w.topLevel && w.mapped && trayIconSized(w)) return w;
        return std::nullopt;
    }
    bool mainWindowHidden() {
        return !topLevel(kWindowWidth, kWindowHeight).has_value() &&
               topLevel(kWindowWidth, kWindowHeight, false).has_value();
    }

    // Clicks at (px, py) in window `w` with `button` (1 left, 3 right).
    static bool click(const XDisplay::Window& w, int px, int py, int button = 1) {
        return xdotool({"mousemove", std::to_string(w.x + px), std::to_string(w.y + py), "click",
                        std::to_string(button)});
    }
    // Types `text` into the holder's name of account row 0 and ends the edit with Enter; returns once
    // the program has taken the keys in: it handles input in order, so a menu opened after them that
    // shows up (and is closed again) comes after them.
    void editHolder(const XDisplay::Window& main, const std::string& text) {
        click(main, 420, 58);
        xdotool({"type", "--delay", "10", text});
        xdotool({"key", "Return"});
        // The row menu; a right click that a loaded X server hands on while the edit is still ending
        // is lost, so it is given again (the menu is only the sign that the keys were taken in).
        bool opened = false;
        for (int attempt = 0; attempt < 3 && !opened; ++attempt) {
            click(main, 420, 58, 3);
            opened = waitUntil([&] { return box("").has_value(); }, 5000);
        }
        EXPECT_TRUE(opened) << "the row menu did not open after three right clicks";
        xdotool({"key", "Escape"});
        EXPECT_TRUE(waitUntil([&] { return !box("").has_value(); })) << "the row menu did not close";
    }

    static XServerWithTray* s_x;
    fs::path m_dir;
    fs::path m_settings;
    std::unique_ptr<XDisplay> x;
    std::unique_ptr<DesktopProgram> program;
};

XServerWithTray* DesktopTest::s_x = nullptr;

// Titles read exactly as they are set, on the window system (Qt would append the application's
// display name: "Korvex  3.0 — Korvex 3.0", "Confirm — Korvex 3.0").
TEST_F(DesktopTest, TitlesOnTheScreenAreTheProgramsOwn) {
    writeSettings({{"sg21_egorov", "Eg0r21", "21"}});
    start();
    const XDisplay::Window main = awaitMainWindow();
    EXPECT_EQ(x->property(main.id, "_NET_WM_NAME"), "Korvex  3.0");
    click(main, 40, 13);
    click(main, 50, 58, 3);
    xdotool({"key", "--delay", "100", "Down", "Right", "Return"});
    std::optional<XDisplay::Window> question;
    ASSERT_TRUE(waitUntil([&] { return (question = box("Confirm")).has_value(); }));
    EXPECT_EQ(x->property(question->id, "_NET_WM_NAME"), "Confirm");
}

// The window opens centred on the screen that holds the mouse pointer, with no window manager to
// place it.
TEST_F(DesktopTest, TheWindowOpensCentredOnTheScreen) {
    xdotool({"mousemove", "1000", "700"});
    start();
    const XDisplay::Window main = awaitMainWindow();
    EXPECT_EQ(main.x, (kScreenWidth - kWindowWidth) / 2);
    EXPECT_EQ(main.y, (kScreenHeight - kWindowHeight) / 2);
}

// Started by the session's autostart entry (--tray), the program waits in the tray: its icon is
// there, its window is not, and a click on the icon brings the window.
TEST_F(DesktopTest, StartedWithTrayOnlyTheTrayIconShows) {
    start({"--tray"});
    std::optional<XDisplay::Window> icon;
    ASSERT_TRUE(waitUntil([&] { return (icon = trayIcon()).has_value(); })) << "no tray icon within 10 s";
    EXPECT_FALSE(topLevel(kWindowWidth, kWindowHeight).has_value()) << "the window is on the screen";
    click(*icon, icon->width / 2, icon->height / 2);
    awaitMainWindow();
}

// Where no tray takes the icon, --tray opens the window as always: nothing else would lead back to it.
class NoTrayDesktopTest : public DesktopTest {
protected:
    static void SetUpTestSuite() {
        s_x = new XServerWithTray(false);
        if (!s_x->display().empty()) setenv("DISPLAY", s_x->display().c_str(), 1);
    }
};

TEST_F(NoTrayDesktopTest, StartedWithTrayButNoTrayTheWindowOpens) {
    start({"--tray"});
    awaitMainWindow();
}

enum class State { Shown, Minimised, HiddenInTray, DuringARun, SpeedQuestion, MessageBoxInARun, StartupMessage };

class TerminationTest : public DesktopTest {
protected:
    // Brings a fresh program into `state` with an edit made, removes Settings.ini (so that only a save
    // on the way out brings it back), sends SIGTERM and checks the ending and the file.
    void terminateIn(State state) {
        StalledPort stalled;
        ProxySettings proxy;
        if (state == State::DuringARun) proxy = {true, "127.0.0.1", std::to_string(stalled.port())};
        if (state == State::StartupMessage) proxy = {true, "127.0.0.1", "80a"};
        writeSettings({{"sg21_egorov", "Eg0r21", "21", "old"}}, proxy);
        start();
        std::string expectedHolder = "edit-" + std::to_string(static_cast<int>(state));

        if (state == State::StartupMessage) {
            // The window is not up yet: the message box stands alone, nothing could be edited.
            ASSERT_TRUE(waitUntil([&] { return box("Korvex 3.0").has_value(); })) << "no message box at start";
            expectedHolder = "old";
        } else {
            const XDisplay::Window main = awaitMainWindow();
            editHolder(main, expectedHolder);
            switch (state) {
                case State::Minimised:
                    x->iconify(main.id);
                    ASSERT_TRUE(waitUntil([&] { return mainWindowHidden(); })) << "not hidden into the tray";
                    break;
                case State::HiddenInTray: {
                    std::optional<XDisplay::Window> icon;
                    ASSERT_TRUE(waitUntil([&] { return (icon = trayIcon()).has_value(); })) << "no tray icon";
                    click(*icon, icon->width / 2, icon->height / 2);
                    ASSERT_TRUE(waitUntil([&] { return mainWindowHidden(); })) << "not hidden into the tray";
                    break;
                }
                case State::DuringARun:
                    click(main, 40, 13);    // "Балансы"
                    click(main, 360, 432);  // "Обновить все балансы"
                    ASSERT_TRUE(waitUntil([&] { return stalled.reached(); })) << "the run did not start";
                    break;
                case State::SpeedQuestion:
                    click(main, 40, 13);
                    click(main, 50, 58, 3);  // the balance row's menu, then its first speed
                    xdotool({"key", "--delay", "100", "Down", "Right", "Return"});
                    ASSERT_TRUE(waitUntil([&] { return box("Confirm").has_value(); })) << "no speed question";
                    break;
                case State::MessageBoxInARun:
                    click(main, 10, 400);   // "Использовать прокси"
                    click(main, 110, 452);  // the port
                    xdotool({"type", "80a"});
                    click(main, 40, 13);
                    click(main, 360, 432);  // the run stops at the bad port with a message box
                    ASSERT_TRUE(waitUntil([&] { return box("Korvex 3.0").has_value(); })) << "no message box";
                    break;
                default:
                    break;
            }
        }

        fs::remove(m_settings);
        kill(program->pid(), SIGTERM);
        const auto status = program->waitForExit(2000);
        ASSERT_TRUE(status.has_value()) << "still running 2 s after SIGTERM";
        EXPECT_EQ(*status, 0);
        ASSERT_TRUE(fs::exists(m_settings)) << "no save on the way out";
        AccountBook saved;
        saved.setCount(readStartup(m_settings.string()).count);
        read(saved, m_settings.string());
        EXPECT_EQ(saved.client.cell(kLogin, 0), "sg21_egorov");
        EXPECT_EQ(saved.client.cell(kHolder, 0), expectedHolder);
        if (state == State::MessageBoxInARun) {
            EXPECT_EQ(readStartup(m_settings.string()).proxy.port, "80a");
        }
    }
};

// Whatever closes the main window ends the program and saves: a termination signal (a logout, a
// kill) ends it within 2 s in every state the window can be in.
TEST_F(TerminationTest, Shown) { terminateIn(State::Shown); }
TEST_F(TerminationTest, Minimised) { terminateIn(State::Minimised); }
TEST_F(TerminationTest, HiddenInTheTray) { terminateIn(State::HiddenInTray); }
TEST_F(TerminationTest, DuringARunOnAStalledPortal) { terminateIn(State::DuringARun); }
TEST_F(TerminationTest, WithTheSpeedQuestionOpen) { terminateIn(State::SpeedQuestion); }
TEST_F(TerminationTest, WithAMessageBoxOpenDuringARun) { terminateIn(State::MessageBoxInARun); }
TEST_F(TerminationTest, WithAMessageBoxOpenAtStart) { terminateIn(State::StartupMessage); }

}  // namespace
}  // namespace korvex::test
