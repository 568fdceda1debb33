#include "tests/app/xserver.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace korvex::test {

namespace {
void stopChild(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}
}  // namespace

XServerWithTray::XServerWithTray(bool tray) {
    if (access("/usr/bin/Xvfb", X_OK) != 0 || access("/usr/bin/trayer", X_OK) != 0) {
        m_error = "Xvfb or trayer is not installed (scripts/setup installs them)";
        return;
    }
    int fds[2];
    if (pipe(fds) != 0) return;
    m_xvfb = fork();
    if (m_xvfb == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        // -displayfd: Xvfb picks a free display and writes its number once it accepts clients.
        execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        m_error = "Xvfb did not start";
        stopChild(m_xvfb);
        return;
    }
    m_display = ":" + number;
    if (!tray) return;

    m_trayer = fork();
    if (m_trayer == 0) {
        setenv("DISPLAY", m_display.c_str(), 1);
        const int devnull = ::open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execl("/usr/bin/trayer", "trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height",
              "24", static_cast<char*>(nullptr));
        _exit(127);
    }
}

XServerWithTray::~XServerWithTray() {
    stopChild(m_trayer);
    stopChild(m_xvfb);
}

}  // namespace korvex::test
