// A check stopped while its request hangs must leave nothing of its account on Curl1: the requests
// that follow (the news, a speed change, a form-login check) carry no credentials but their own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "checks/balance_checks.h"
#include "checks/check_clock.h"
#include "commands/news.h"
#include "commands/speed_change.h"
#include "net/curl1_setup.h"
#include "tests/commands/portal_fixture.h"

namespace korvex {
namespace {

// A loopback server that accepts every connection, reads what comes and never answers: a proxy or
// portal that has hung. It counts the requests it has seen whole (up to the blank line).
class SilentServer {
public:
    SilentServer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(m_listen, 8) != 0 || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            ADD_FAILURE() << "no loopback port to listen on";
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~SilentServer() {
        m_quit = true;
        m_thread.join();
        for (int fd : m_clients) ::close(fd);
        ::close(m_listen);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    int port() const { return m_port; }
    int requestHeads() const { return m_heads.load(); }

private:
    void serve() {
        std::vector<std::string> pending;
        while (!m_quit) {
            std::vector<pollfd> fds{{m_listen, POLLIN, 0}};
            for (int fd : m_clients) fds.push_back({fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                const int fd = ::accept(m_listen, nullptr, nullptr);
                if (fd >= 0) {
                    m_clients.push_back(fd);
                    pending.emplace_back();
                }
            }
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                char chunk[4096];
                const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
                if (n <= 0) continue;
                pending[i - 1].append(chunk, static_cast<std::size_t>(n));
                if (pending[i - 1].find("\r\n\r\n") != std::string::npos) {
                    pending[i - 1].clear();
                    ++m_heads;
                }
            }
        }
    }

    int m_listen = -1;
    int m_port = 0;
    std::vector<int> m_clients;
    std::atomic<bool> m_quit{false};
    std::atomic<int> m_heads{0};
    std::thread m_thread;
};

class StoppedTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        for (PortalId id : kAllPortals) portals.clearAccounts(id);
        portals.clearRequests();
        book.setCount(2);
        setRow(kStopped, "spsuser", "sps-secret", "SPS");
    }

    void setRow(int row, const std::string& login, const std::string& password, const std::string& code) {
        book.client.setCell(kLogin, row, login);
        book.client.setCell(kPassword, row, password);
        book.client.setCell(kPlanCode, row, code);
    }

    // The window's way: a refresh through the proxy of the settings tab, threaded; "СТОП" is
    // pressed once the hung proxy holds the request.
    void stopABasicLoginCheck(const SilentServer& hungProxy) {
        proxy = ProxySettings{true, "127.0.0.1", std::to_string(hungProxy.port())};
        const int before = hungProxy.requestHeads();
        {
            const ResponsiveTransfers responsive(*curl);
            curl->setOnWait([&](THttpTransferBase&) {
                if (hungProxy.requestHeads() > before) curl->requestAbort();
            });
            checks.check39_95(kStopped);
            curl->setOnWait({});
        }
        ASSERT_EQ(curl->ResultCode(), CURLE_ABORTED_BY_CALLBACK);
        // The user clears the proxy box; the next request that applies it (a check, the news) takes
        // it to Curl1, and a speed change then goes out without a proxy as well.
        proxy = ProxySettings{};
        proxycheck(proxy, *curl);
    }

    static constexpr int kStopped = 0;
    static constexpr int kOther = 1;
    DemoPortals& portals = test::sharedPortals();
    PortalAddresses addresses = test::demoPortalAddresses(test::sharedPortals());
    std::unique_ptr<THttpTransfer> curl = test::makeCurl1();
    AccountBook book;
    TextHolder memo;
    ProxySettings proxy;
    FixedCheckClock clock{{1, 1, 2010, 0, 5}};
    BalanceChecks checks{book, *curl, memo, addresses, [this] { return proxy; }, clock};
};

TEST_F(StoppedTransfer, NoLaterRequestCarriesTheStoppedAccountsCredentials) {
    DemoAccount other;
    other.login = "gluser";
    other.password = "gl-secret";
    other.balance = "10.00";
    portals.putAccount(PortalId::Globax, other);
    other.login = "sguser";
    other.password = "sg-secret";
    portals.putAccount(PortalId::SpaceGate75, other);

    const struct {
        const char* name;
        PortalId portal;
        const char* ownCredentials;
        std::function<void()> send;
    } followers[] = {
        {"news", PortalId::Publisher, "",
         [&] {
             std::vector<std::string> lines;
             EXPECT_TRUE(fetchNews(*curl, proxy, addresses, lines));
         }},
        {"speed change", PortalId::SpaceGate75, "sguser:sg-secret",
         [&] {
             setRow(kOther, "sguser", "sg-secret", "SG75");
             changeSpeed(SpeedItem::N10241, kOther, book, *curl, memo, addresses, {});
         }},
        {"form-login check", PortalId::Globax, "",
         [&] {
             setRow(kOther, "gluser", "gl-secret", "GL");
             checks.checkGL(kOther);
         }},
    };
    for (const auto& follower : followers) {
        SCOPED_TRACE(follower.name);
        SilentServer hungProxy;
        stopABasicLoginCheck(hungProxy);
        portals.clearRequests();

        follower.send();

        const auto sent = portals.requests();
        ASSERT_FALSE(sent.empty());
        for (const auto& request : sent) {
            EXPECT_EQ(request.portal, follower.portal) << request.target;
            EXPECT_EQ(request.credentials, follower.ownCredentials) << request.target;
        }
    }
}

}  // namespace
}  // namespace korvex
