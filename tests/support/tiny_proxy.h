#pragma once
// TinyProxy: the tinyproxy HTTP proxy (Debian package tinyproxy-bin) run by a test in the
// foreground on a free loopback port, with its configuration and log in a folder of its own.
// It adds "Via: 1.1 korvex-test-proxy (...)" to every request it forwards, so a server can tell
// proxied requests from direct ones.
#include <sys/types.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace korvex::test {

class TinyProxy {
public:
    static constexpr const char* kBinary = "/usr/bin/tinyproxy";
    static constexpr const char* kViaName = "korvex-test-proxy";

    // Whether the tinyproxy binary is installed.
    static bool available();

    // Starts the proxy and returns once it accepts connections; throws std::runtime_error with
    // its log when it does not come up.
    TinyProxy();
    // Stops the proxy (SIGTERM) and waits for it.
    ~TinyProxy();
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    const char* host() const noexcept { return "127.0.0.1"; }
    int port() const noexcept { return m_port; }
    // What tinyproxy logged so far (one line per connection and request among others).
    std::string log() const;

private:
    TempDir m_dir;
    int m_port = 0;
    pid_t m_pid = -1;
};

// A loopback TCP port that was free a moment ago.
int freeLoopbackPort();

}  // namespace korvex::test
