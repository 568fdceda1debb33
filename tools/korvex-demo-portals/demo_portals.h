#pragma once
// One object that serves every substitute portal and the publisher site on 127.0.0.1, each on its own
// port and scheme, for the demo set-up (korvex-demo-portals) and for tests.
//
// What each portal answers:
//  - basic-login portals (SpectrumSat "/", Raduga "/", the SpaceGate portals "/stats/", PlanetSky "/"):
//    the account page for a request with the right basic credentials, whatever its method; otherwise
//    401 with a small error page. SpectrumSat, PlanetSky and the SpaceGate portals also take speed
//    changes as posts to "/speed/" ("KEY=0&S=n" on SpectrumSat and PlanetSky, "S=n" on SpaceGate).
//  - form-login portals (Globax "/index.php?action=go", SatGate "/index.php?logout=1&locale=en_US",
//    SKY-FI "/authorize.php", STV "/insat/gate.php" and "/insat2/gate.php"): a post whose fields name
//    a known login and password gets the account page and a session cookie; anything else gets the
//    login form (200). Fields are split on "&" and "=" without URL decoding, as the program sends them.
//    STV takes its logout as a post to "gate.php?mod=login&mode=off"; SKY-FI takes a login post and
//    then "sp1=n&changesp=..." with the session cookie at "/control/service.php".
//  - the publisher: "/news.txt" (cp1251 text), "/", "/pay/", the download page, and any file a test
//    puts there.
// A valid speed change updates the account's speed in the registry.
//
// Threads: each portal runs its own server thread with a small worker pool; every public member may be
// called from any thread. Registry and switches share one mutex; the log has its own (see RequestLog).
#include "korvex-demo-portals/demo_accounts.h"
#include "korvex-demo-portals/demo_portal_id.h"
#include "korvex-demo-portals/demo_request_log.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

// A portal could not be started: its port is taken (fixed ports) or the TLS set-up failed.
class PortalStartError : public std::runtime_error {
public:
    PortalStartError(const std::string& message, bool portTaken)
        : std::runtime_error(message), m_portTaken(portTaken) {}
    bool portTaken() const { return m_portTaken; }

private:
    bool m_portTaken;
};

class DemoPortals {
public:
    struct Options {
        bool fixedPorts = false;         // the demo ports of fixedPort(); otherwise ephemeral ones
        std::map<PortalId, int> ports;   // a port per portal that overrides either choice
        bool stockAccounts = true;       // start with stockDemoAccounts()
        RequestLog::Observer onRequest;  // called for every request, on its server thread
        bool keepRequests = true;        // false: requests() stays empty (see RequestLog)
        // Every request is answered this much later (a slow portal; 0: at once). stop() cuts it short.
        std::chrono::milliseconds answerDelay{0};
    };

    // Starts every portal and returns once all of them accept connections; throws PortalStartError.
    DemoPortals();
    explicit DemoPortals(Options options);
    ~DemoPortals();  // stop()
    DemoPortals(const DemoPortals&) = delete;
    DemoPortals& operator=(const DemoPortals&) = delete;

    // Releases every stalled request (answered 503), stops every server and joins its thread, removes
    // the certificate folder. Idempotent.
    void stop();

    // "https://127.0.0.1:18441" and the like: scheme, address and port, no trailing slash.
    std::string baseUrl(PortalId portal) const;
    int port(PortalId portal) const;
    // The PEM certificate the HTTPS portals present (self-signed, CN and IP SAN 127.0.0.1).
    std::string certificatePath() const;

    // Account registry; values as described at DemoAccount. putAccount adds or replaces by login.
    void putAccount(PortalId portal, DemoAccount account);
    bool removeAccount(PortalId portal, std::string_view login);
    void clearAccounts(PortalId portal);
    std::optional<DemoAccount> account(PortalId portal, std::string_view login) const;
    std::vector<DemoAccount> accounts(PortalId portal) const;
    // Serve `body` byte for byte instead of the account's page (nullopt: back to the rendered page).
    // Answers false when the portal holds no such login.
    bool setRawPage(PortalId portal, std::string_view login, std::optional<std::string> body);

    // Test switches, per portal, all off at start:
    // stall - every request is received and logged, then held unanswered until the switch is cleared
    //         (then answered normally) or stop() (then answered 503);
    // fail  - every request is answered 500 with an HTML error page;
    // fixed page - every request is answered 200 with this body, credentials or not;
    // redesigned - the account pages come in a new layout (tags and labels in capital letters, the
    //         figures unchanged), as when an operator changes its site and the patterns miss.
    void setStall(PortalId portal, bool on);
    void setRedesigned(PortalId portal, bool on);
    void setFail(PortalId portal, bool on);
    void setFixedPage(PortalId portal, std::optional<std::string> body);
    // The delay of every portal's answers from now on (see Options::answerDelay).
    void setAnswerDelay(std::chrono::milliseconds delay);

    // The most requests one portal had in hand at the same time (received, not yet answered) since the
    // start or the last resetConcurrency(): what a client's limit per portal must keep down.
    int maxConcurrentRequests(PortalId portal) const;
    void resetConcurrency();
    // Each request is held until some portal has had `requests` in hand at once, or for `longest` at
    // most; from then on every portal answers at once again. A client allowed that many requests at
    // one portal then reaches it however slowly its threads start; 0 switches it off.
    void gatherRequests(int requests, std::chrono::milliseconds longest);

    // Publisher content: the news text (cp1251 bytes, served as they are) and any other file, by path.
    void setNews(std::string cp1251Text);
    void setPublisherFile(std::string path, std::string body,
                          std::string contentType = "application/octet-stream");

    // Request log (every request of every portal, in arrival order).
    std::vector<RequestRecord> requests() const;
    std::vector<RequestRecord> requests(PortalId portal) const;
    void clearRequests();
    // Waits until the log holds at least `count` records (since the last clearRequests()).
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace korvex
