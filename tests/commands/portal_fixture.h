#pragma once
// What the command tests share: one set of substitute portals for the whole test program (starting a
// dozen TLS servers per test would cost more than the tests), their addresses, and a Curl1 configured
// the way the window configures it at start.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "checks/portal_addresses.h"
#include "korvex-demo-portals/demo_portals.h"
#include "net/curl1_setup.h"
#include "net/http_transfer.h"
#include "tests/support/demo_portal_addresses.h"

namespace korvex::test {

inline DemoPortals& sharedPortals() {
    // Stopped, and its certificate folder removed, when the test program ends.
    static DemoPortals portals([] {
        DemoPortals::Options options;
        options.stockAccounts = false;
        return options;
    }());
    return portals;
}


// A loopback port that refuses every connection at once: bound, never listening, held until the object
// goes, so nothing else can take it meanwhile.
class RefusingPort {
public:
    RefusingPort() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            ADD_FAILURE() << "no loopback port to refuse connections on";
        m_port = ntohs(addr.sin_port);
    }
    ~RefusingPort() {
        if (m_fd >= 0) ::close(m_fd);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    std::string url(const char* scheme = "http") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_port);
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

// Curl1 as the window leaves it after start-up: stored properties, no proxy, certificates unchecked.
inline std::unique_ptr<THttpTransfer> makeCurl1() {
    auto curl = std::make_unique<THttpTransfer>();
    applyCurl1StoredProperties(*curl);
    configureCurl1AtStart(*curl, ProxySettings{});
    return curl;
}

}  // namespace korvex::test
