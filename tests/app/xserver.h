#pragma once
// A real X server (Xvfb) with a system-tray host (trayer) for the tests that need a desktop: the
// tray icon only exists where something on the screen takes it in.
#include <string>
#include <sys/types.h>

namespace korvex::test {

class XServerWithTray {
public:
    // Starts Xvfb on a free display and, with `tray`, trayer on it; display() is empty when either is
    // missing or would not start (the caller then skips its tests with error()).
    explicit XServerWithTray(bool tray = true);
    ~XServerWithTray();
    XServerWithTray(const XServerWithTray&) = delete;
    XServerWithTray& operator=(const XServerWithTray&) = delete;

    const std::string& display() const { return m_display; }
    const std::string& error() const { return m_error; }

private:
    pid_t m_xvfb = -1;
    pid_t m_trayer = -1;
    std::string m_display;
    std::string m_error;
};

}  // namespace korvex::test
