#include "platform/open_url.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <system_error>
#include <thread>
#include <utility>

extern char** environ;

namespace korvex {

namespace {

// posix_spawn's attribute and file-action objects, destroyed on every path out.
class SpawnSetup {
public:
    SpawnSetup() {
        m_attrOk = posix_spawnattr_init(&m_attr) == 0;
        m_actionsOk = posix_spawn_file_actions_init(&m_actions) == 0;
    }
    ~SpawnSetup() {
        if (m_actionsOk) posix_spawn_file_actions_destroy(&m_actions);
        if (m_attrOk) posix_spawnattr_destroy(&m_attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // The browser starts clean: its own session (a Ctrl+C in our terminal does not reach it), no
    // signal blocked or ignored because we block or ignore it, input from /dev/null, and none of our
    // descriptors (sockets, the settings file) beyond standard output and error.
    bool prepare() {
        if (!m_attrOk || !m_actionsOk) return false;
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
        flags |= POSIX_SPAWN_SETSID;
#else
        flags |= POSIX_SPAWN_SETPGROUP;
#endif
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigfillset(&defaults);
        sigdelset(&defaults, SIGKILL);
        sigdelset(&defaults, SIGSTOP);
        if (posix_spawnattr_setflags(&m_attr, flags) != 0) return false;
        if (posix_spawnattr_setsigmask(&m_attr, &none) != 0) return false;
        if (posix_spawnattr_setsigdefault(&m_attr, &defaults) != 0) return false;
        if (posix_spawn_file_actions_addopen(&m_actions, 0, "/dev/null", O_RDONLY, 0) != 0) return false;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        if (posix_spawn_file_actions_addclosefrom_np(&m_actions, 3) != 0) return false;
#endif
        return true;
    }

    const posix_spawnattr_t* attr() const {
        return &m_attr;
    }
    const posix_spawn_file_actions_t* actions() const {
        return &m_actions;
    }

private:
    posix_spawnattr_t m_attr;
    posix_spawn_file_actions_t m_actions;
    bool m_attrOk = false;
    bool m_actionsOk = false;
};

void reapInBackground(pid_t pid) {
    auto reap = [pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    };
    try {
        std::thread(reap).detach();
    } catch (const std::system_error&) {
        // No thread to spare: wait here rather than leave a zombie. xdg-open normally hands the
        // address to a running browser and ends at once.
        reap();
    }
}

}  // namespace

DesktopUrlOpener::DesktopUrlOpener(std::string program) : m_program(std::move(program)) {}

void DesktopUrlOpener::open(const std::string& url) {
    if (url.empty() || url.front() == '-') return;
    SpawnSetup setup;
    if (!setup.prepare()) return;
    std::string program = m_program;
    std::string argument = url;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), setup.actions(), setup.attr(), argv, environ) != 0) return;
    reapInBackground(pid);
}

}  // namespace korvex
