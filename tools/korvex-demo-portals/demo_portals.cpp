#include "korvex-demo-portals/demo_portals.h"

#include "checks/profile_edits.h"
#include "checks/provider_profiles.h"
#include "korvex-demo-portals/demo_certificate.h"
#include "korvex-demo-portals/demo_portal_pages.h"
#include "korvex-demo-portals/demo_update_key.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "update/check/integrity.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>
#include <utility>

namespace korvex {

namespace {

constexpr const char* kHost = "127.0.0.1";

// Form fields as a PHP portal sees a body the program built by plain concatenation: split on "&", then
// on the first "=", nothing URL-decoded; a later field of the same name wins.
using Fields = std::map<std::string, std::string, std::less<>>;

Fields splitFields(std::string_view text) {
    Fields fields;
    while (!text.empty()) {
        const size_t amp = text.find('&');
        const std::string_view pair = text.substr(0, amp);
        if (!pair.empty()) {
            const size_t eq = pair.find('=');
            if (eq == std::string_view::npos)
                fields[std::string(pair)] = "";
            else
                fields[std::string(pair.substr(0, eq))] = std::string(pair.substr(eq + 1));
        }
        if (amp == std::string_view::npos) break;
        text.remove_prefix(amp + 1);
    }
    return fields;
}

const std::string* field(const Fields& fields, std::string_view name) {
    const auto it = fields.find(name);
    return it == fields.end() ? nullptr : &it->second;
}

std::optional<std::string> decodeBase64(std::string_view text) {
    const auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const int v = value(c);
        if (v < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The Authorization header as "login:password" when it is a readable basic one, else as sent.
std::pair<std::string, bool> credentialsOf(const httplib::Request& req) {
    if (!req.has_header("Authorization")) return {"", false};
    const std::string header = req.get_header_value("Authorization");
    if (startsWithNoCase(header, "Basic ")) {
        std::string_view encoded(header);
        encoded.remove_prefix(6);
        while (!encoded.empty() && encoded.front() == ' ') encoded.remove_prefix(1);
        if (auto decoded = decodeBase64(encoded)) return {std::move(*decoded), true};
    }
    return {header, false};
}

std::string_view queryOf(std::string_view target) {
    const size_t q = target.find('?');
    return q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
}

std::optional<std::string> cookieValue(const httplib::Request& req, std::string_view name) {
    const std::string header = req.get_header_value("Cookie");
    for (std::string_view rest = header; !rest.empty();) {
        const size_t semi = rest.find(';');
        std::string_view pair = rest.substr(0, semi);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        const size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name)
            return std::string(pair.substr(eq + 1));
        if (semi == std::string_view::npos) break;
        rest.remove_prefix(semi + 1);
    }
    return std::nullopt;
}

// Each form portal has a cookie name of its own: every portal of the demo sits on 127.0.0.1, and a
// client's cookie store keeps cookies by host, not by port, so a shared name would let one portal's
// session overwrite another's.
std::string_view sessionCookie(PortalId id) {
    switch (id) {
        case PortalId::Globax:
            return "GLOBAXSID";
        case PortalId::SatGate:
            return "SATGATESID";
        case PortalId::SkyFi:
            return "SKYFISID";
        case PortalId::Stv:
            return "STVSID";
        default:
            return "SID";
    }
}

std::string_view portalTitle(PortalId id) {
    return portalRow(id).title;
}

// The built-in profiles that read their pages from this portal.
std::vector<const ProviderProfile*> profilesOf(PortalId id) {
    std::vector<const ProviderProfile*> profiles;
    for (const ProviderProfile* profile : allProfiles())
        if (profile->baseAddress == PortalAddresses::member(id)) profiles.push_back(profile);
    return profiles;
}

bool isSpaceGate(PortalId id) {
    const auto profiles = profilesOf(id);
    return !profiles.empty() && profiles.front()->operatorName == "SpaceGate";
}

bool isBasicLogin(PortalId id) {
    const auto profiles = profilesOf(id);
    return !profiles.empty() && profiles.front()->login == LoginMethod::Basic;
}

using SpeedTable = std::map<std::string, std::string, std::less<>>;

// What each portal sets for the posted speed number; the same figures the program shows after a change.
const SpeedTable& speedTable(PortalId id) {
    static const SpeedTable spaceGate = {{"1", "125.00"},  {"3", "250.00"},  {"4", "500.00"},
                                         {"5", "1000.00"}, {"6", "2000.00"}, {"7", "3000.00"},
                                         {"8", "4000.00"}};
    static const SpeedTable spectrumSat = {{"1", "64.00"},   {"2", "128.00"},  {"3", "256.00"},
                                           {"4", "512.00"},  {"5", "1024.00"}, {"6", "2048.00"},
                                           {"7", "3072.00"}, {"8", "4096.00"}, {"9", "5120.00"}};
    static const SpeedTable planetSky = {{"1", "64.00"},   {"2", "125.00"},  {"3", "250.00"},
                                         {"4", "500.00"},  {"5", "1000.00"}, {"6", "2000.00"},
                                         {"7", "3000.00"}, {"8", "4000.00"}, {"9", "5000.00"}};
    static const SpeedTable skyFi = {{"2", "250.00"}, {"3", "500.00"}, {"4", "1000.00"}, {"5", "2000.00"}};
    static const SpeedTable none;
    if (isSpaceGate(id)) return spaceGate;
    switch (id) {
        case PortalId::SpectrumSat:
            return spectrumSat;
        case PortalId::PlanetSky:
            return planetSky;
        case PortalId::SkyFi:
            return skyFi;
        default:
            return none;
    }
}

struct PortalState {
    bool stall = false;
    bool fail = false;
    std::optional<std::string> fixedPage;
    bool redesigned = false;
    std::vector<DemoAccount> accounts;
};

struct Session {
    PortalId portal;
    std::string login;
    std::string gate;  // STV: the gate the session was opened on
};

}  // namespace

class DemoPortals::Impl {
public:
    explicit Impl(Options options);
    ~Impl() { stop(); }

    void stop();

    std::string baseUrl(PortalId id) const {
        return std::string(isHttps(id) ? "https://" : "http://") + kHost + ":" + std::to_string(port(id));
    }
    int port(PortalId id) const { return m_servers[static_cast<size_t>(demoServer(id))]->port; }
    std::string certificatePath() const { return m_certificatePath; }

    // Registry and switches (all under m_mutex).
    void putAccount(PortalId id, DemoAccount account);
    bool removeAccount(PortalId id, std::string_view login);
    void clearAccounts(PortalId id);
    std::optional<DemoAccount> account(PortalId id, std::string_view login) const;
    std::vector<DemoAccount> accounts(PortalId id) const;
    bool setRawPage(PortalId id, std::string_view login, std::optional<std::string> body);
    void setStall(PortalId id, bool on);
    void setFail(PortalId id, bool on);
    void setRedesigned(PortalId id, bool on);
    void setFixedPage(PortalId id, std::optional<std::string> body);
    void setAnswerDelay(std::chrono::milliseconds delay);
    int maxConcurrentRequests(PortalId id) const { return m_maxInHand[static_cast<size_t>(id)].load(); }
    void resetConcurrency() {
        for (auto& most : m_maxInHand) most.store(0);
    }
    void gatherRequests(int requests, std::chrono::milliseconds longest) {
        std::lock_guard lock(m_mutex);
        m_gather = requests;
        m_gatherLongest = longest;
    }
    void waitForGathering(std::unique_lock<std::mutex>& lock);
    void setNews(std::string text);
    void setPublisherFile(std::string path, std::string body, std::string contentType);

    RequestLog& log() { return m_log; }
    const RequestLog& log() const { return m_log; }

private:
    struct Server {
        PortalId id;
        std::unique_ptr<httplib::Server> server;
        std::thread thread;
        int port = 0;
        std::atomic<bool> finished{false};
    };

    void startServer(PortalId id, int wantedPort);
    void serve(PortalId id, const httplib::Request& req, httplib::Response& res);

    // The portal-specific answers; each takes m_mutex itself.
    void serveBasicLogin(PortalId id, const httplib::Request& req, httplib::Response& res,
                         std::string_view path);
    void serveGlobax(const httplib::Request& req, httplib::Response& res, std::string_view path);
    void serveSatGate(const httplib::Request& req, httplib::Response& res, std::string_view path);
    void serveSkyFi(const httplib::Request& req, httplib::Response& res, std::string_view path);
    void serveStv(const httplib::Request& req, httplib::Response& res, std::string_view path);
    void servePublisher(const httplib::Request& req, httplib::Response& res, std::string_view path);
    std::string signedUpdateInfo() const;

    // Answers the UTF-8 `html`, converted to cp1251 for a portal that speaks it.
    static void answerHtml(httplib::Response& res, PortalId id, int status, const std::string& html);
    static void answerBytes(httplib::Response& res, PortalId id, int status, const std::string& bytes);
    // The account page (or its raw replacement) for a logged-in account.
    void answerAccount(httplib::Response& res, PortalId id, const DemoAccount& a, std::string_view gate = {});

    DemoAccount* findLocked(PortalId id, std::string_view login);
    const DemoAccount* loginLocked(PortalId id, std::string_view login, std::string_view password,
                                   std::string_view stvGate = {});
    std::string openSessionLocked(PortalId id, const std::string& login, std::string_view gate);
    const DemoAccount* sessionAccountLocked(PortalId id, const httplib::Request& req,
                                            std::string_view gate = {});
    void setSessionCookie(httplib::Response& res, PortalId id, const std::string& token);

    RequestLog m_log;
    std::unique_ptr<DemoCertificate> m_certificate;
    std::string m_certificatePath;  // kept after stop() has removed the file, for messages
    std::array<std::unique_ptr<Server>, kPortalCount> m_servers;

    mutable std::mutex m_mutex;
    std::condition_variable m_switchChanged;  // stall switches and m_stopping
    bool m_stopping = false;
    std::chrono::milliseconds m_answerDelay{0};
    int m_gather = 0;  // see gatherRequests()
    std::chrono::milliseconds m_gatherLongest{0};
    // Requests each portal has in hand, and the most it had at once.
    std::array<std::atomic<int>, kPortalCount> m_inHand{};
    std::array<std::atomic<int>, kPortalCount> m_maxInHand{};
    std::array<PortalState, kPortalCount> m_state;
    std::map<std::string, Session, std::less<>> m_sessions;
    std::mt19937_64 m_random{std::random_device{}()};
    std::string m_news;
    std::map<std::string, std::pair<std::string, std::string>, std::less<>> m_publisherFiles;

    std::mutex m_stopMutex;
    bool m_stopped = false;
};

DemoPortals::Impl::Impl(Options options)
    : m_log(std::move(options.onRequest), options.keepRequests), m_answerDelay(options.answerDelay) {
    if (options.stockAccounts)
        for (auto& [id, account] : stockDemoAccounts())
            m_state[static_cast<size_t>(id)].accounts.push_back(account);
    m_news = utf8ToCp1251(pages::publisherNews());

    try {
        m_certificate = std::make_unique<DemoCertificate>();
        m_certificatePath = m_certificate->certificatePath().string();
    } catch (const CertificateError& e) {
        throw PortalStartError(e.what(), false);
    }
    try {
        for (const PortalId id : kAllPortals) {
            int wanted = options.fixedPorts ? fixedPort(id) : 0;
            if (const auto it = options.ports.find(id); it != options.ports.end()) wanted = it->second;
            startServer(id, wanted);
        }
    } catch (...) {
        stop();
        throw;
    }
}

void DemoPortals::Impl::startServer(PortalId id, int wantedPort) {
    auto s = std::make_unique<Server>();
    s->id = id;
    if (isHttps(id)) {
        const std::string cert = m_certificate->certificatePath().string();
        const std::string key = m_certificate->keyPath().string();
        auto ssl = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
        if (!ssl->is_valid())
            throw PortalStartError(
                std::string(portalName(id)) + ": the TLS server could not load its certificate", false);
        s->server = std::move(ssl);
    } else {
        s->server = std::make_unique<httplib::Server>();
    }
    httplib::Server& srv = *s->server;
    // One request per connection: a kept-alive idle connection would hold a worker, and with it
    // stop(), for the whole keep-alive time.
    srv.set_keep_alive_max_count(1);
    srv.set_keep_alive_timeout(1);
    srv.set_read_timeout(5);
    srv.set_write_timeout(5);
    srv.new_task_queue = [] { return new httplib::ThreadPool(6); };
    // SO_REUSEADDR only: cpp-httplib's default adds SO_REUSEPORT, with which a second copy would bind
    // the same fixed port without a word and take half of the connections.
    srv.set_socket_options([](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    const auto handler = [this, id](const httplib::Request& req, httplib::Response& res) {
        serve(id, req, res);
    };
    // std::regex "." stops at a line break, which a decoded path may hold.
    const std::string any = R"([\s\S]*)";
    srv.Get(any, handler);
    srv.Post(any, handler);
    srv.Put(any, handler);
    srv.Patch(any, handler);
    srv.Delete(any, handler);
    srv.Options(any, handler);

    if (wantedPort == 0) {
        s->port = srv.bind_to_any_port(kHost);
        if (s->port <= 0)
            throw PortalStartError(std::string(portalName(id)) + ": cannot listen on any port of " + kHost,
                                   false);
    } else {
        if (!srv.bind_to_port(kHost, wantedPort))
            throw PortalStartError(std::string(portalName(id)) + ": port " + std::to_string(wantedPort) +
                                       " on " + kHost + " is taken (or cannot be bound)",
                                   true);
        s->port = wantedPort;
    }

    Server* raw = s.get();
    s->thread = std::thread([raw] {
        raw->server->listen_after_bind();
        raw->finished = true;
    });
    m_servers[static_cast<size_t>(id)] = std::move(s);
    // stop() can only end a server that has begun to run, so wait for that here.
    while (!raw->server->is_running() && !raw->finished)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!raw->server->is_running() && raw->finished)
        throw PortalStartError(std::string(portalName(id)) + ": the server stopped right after start", false);
}

void DemoPortals::Impl::stop() {
    std::lock_guard stopLock(m_stopMutex);
    if (m_stopped) return;
    m_stopped = true;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_switchChanged.notify_all();
    for (auto& s : m_servers)
        if (s) s->server->stop();
    for (auto& s : m_servers)
        if (s && s->thread.joinable()) s->thread.join();
    m_certificate.reset();
}

void DemoPortals::Impl::answerHtml(httplib::Response& res, PortalId id, int status, const std::string& html) {
    answerBytes(res, id, status, speaksUtf8(id) ? html : utf8ToCp1251(html));
}

void DemoPortals::Impl::answerBytes(httplib::Response& res, PortalId id, int status,
                                    const std::string& bytes) {
    res.status = status;
    res.set_content(bytes, speaksUtf8(id) ? "text/html; charset=utf-8" : "text/html; charset=windows-1251");
}

void DemoPortals::Impl::answerAccount(httplib::Response& res, PortalId id, const DemoAccount& a,
                                      std::string_view gate) {
    if (a.rawPage) return answerBytes(res, id, 200, *a.rawPage);
    std::string html;
    switch (id) {
        case PortalId::SpectrumSat:
            html = pages::spectrumSat(a);
            break;
        case PortalId::Raduga:
            html = pages::raduga(a);
            break;
        case PortalId::PlanetSky:
            html = pages::planetSky(a);
            break;
        case PortalId::Globax:
            html = pages::globax(a);
            break;
        case PortalId::SatGate:
            html = pages::satGate(a);
            break;
        case PortalId::SkyFi:
            html = pages::skyFi(a);
            break;
        case PortalId::Stv:
            html = pages::stv(a, gate);
            break;
        default:
            html = pages::spaceGate(a, portalTitle(id));
            break;
    }
    if (m_state[static_cast<size_t>(id)].redesigned) {
        // The operator's new design: every tag and label in capital letters, the figures as before.
        for (char& c : html)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    answerHtml(res, id, 200, html);
}

void DemoPortals::Impl::serve(PortalId id, const httplib::Request& req, httplib::Response& res) {
    struct InHand {
        std::atomic<int>& count;
        InHand(std::atomic<int>& inHand, std::atomic<int>& most) : count(inHand) {
            const int now = ++count;
            for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
            }
        }
        ~InHand() { --count; }
    } inHand(m_inHand[static_cast<size_t>(id)], m_maxInHand[static_cast<size_t>(id)]);

    RequestRecord record;
    record.portal = id;
    record.method = req.method;
    record.target = req.target;
    record.body = req.body;
    record.credentials = credentialsOf(req).first;
    record.cookie = req.get_header_value("Cookie");
    record.referer = req.get_header_value("Referer");
    record.userAgent = req.get_header_value("User-Agent");
    record.contentType = req.get_header_value("Content-Type");
    m_log.add(std::move(record));

    {
        std::unique_lock lock(m_mutex);
        waitForGathering(lock);
        if (m_answerDelay.count() > 0) {
            m_switchChanged.wait_for(lock, m_answerDelay, [&] { return m_stopping; });
            if (m_stopping) return answerHtml(res, id, 503, pages::serviceUnavailable());
        }
        const auto& state = m_state[static_cast<size_t>(id)];
        if (state.stall) {
            m_switchChanged.wait(lock, [&] { return m_stopping || !state.stall; });
            if (m_stopping) return answerHtml(res, id, 503, pages::serviceUnavailable());
        }
        if (state.fail) return answerHtml(res, id, 500, pages::serverError());
        if (state.fixedPage) return answerBytes(res, id, 200, *state.fixedPage);
    }

    // Routing goes by the decoded path, as a web server's does; fields and the log keep the raw bytes.
    const std::string_view path = req.path;
    if (isBasicLogin(id)) return serveBasicLogin(id, req, res, path);
    switch (id) {
        case PortalId::Globax:
            return serveGlobax(req, res, path);
        case PortalId::SatGate:
            return serveSatGate(req, res, path);
        case PortalId::SkyFi:
            return serveSkyFi(req, res, path);
        case PortalId::Stv:
            return serveStv(req, res, path);
        default:
            return servePublisher(req, res, path);
    }
}

// ---- registry -------------------------------------------------------------------------------------

DemoAccount* DemoPortals::Impl::findLocked(PortalId id, std::string_view login) {
    auto& list = m_state[static_cast<size_t>(id)].accounts;
    const auto it =
        std::find_if(list.begin(), list.end(), [&](const DemoAccount& a) { return a.login == login; });
    return it == list.end() ? nullptr : &*it;
}

const DemoAccount* DemoPortals::Impl::loginLocked(PortalId id, std::string_view login,
                                                  std::string_view password, std::string_view stvGate) {
    const DemoAccount* a = findLocked(id, login);
    if (!a || a->password != password) return nullptr;
    if (!stvGate.empty() && !a->stvGate.empty() && a->stvGate != stvGate) return nullptr;
    return a;
}

std::string DemoPortals::Impl::openSessionLocked(PortalId id, const std::string& login,
                                                 std::string_view gate) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 2; ++i) {
        const uint64_t bits = m_random();
        for (int shift = 60; shift >= 0; shift -= 4) token += kHex[(bits >> shift) & 0xF];
    }
    m_sessions[token] = Session{id, login, std::string(gate)};
    return token;
}

const DemoAccount* DemoPortals::Impl::sessionAccountLocked(PortalId id, const httplib::Request& req,
                                                           std::string_view gate) {
    const auto token = cookieValue(req, sessionCookie(id));
    if (!token) return nullptr;
    const auto it = m_sessions.find(*token);
    if (it == m_sessions.end() || it->second.portal != id) return nullptr;
    if (!gate.empty() && it->second.gate != gate) return nullptr;
    return findLocked(id, it->second.login);
}

void DemoPortals::Impl::setSessionCookie(httplib::Response& res, PortalId id, const std::string& token) {
    res.set_header("Set-Cookie", std::string(sessionCookie(id)) + "=" + token + "; path=/");
}

void DemoPortals::Impl::putAccount(PortalId id, DemoAccount account) {
    std::lock_guard lock(m_mutex);
    if (DemoAccount* existing = findLocked(id, account.login))
        *existing = std::move(account);
    else
        m_state[static_cast<size_t>(id)].accounts.push_back(std::move(account));
}

bool DemoPortals::Impl::removeAccount(PortalId id, std::string_view login) {
    std::lock_guard lock(m_mutex);
    auto& list = m_state[static_cast<size_t>(id)].accounts;
    const auto before = list.size();
    std::erase_if(list, [&](const DemoAccount& a) { return a.login == login; });
    return list.size() != before;
}

void DemoPortals::Impl::clearAccounts(PortalId id) {
    std::lock_guard lock(m_mutex);
    m_state[static_cast<size_t>(id)].accounts.clear();
}

std::optional<DemoAccount> DemoPortals::Impl::account(PortalId id, std::string_view login) const {
    std::lock_guard lock(m_mutex);
    const auto& list = m_state[static_cast<size_t>(id)].accounts;
    for (const auto& a : list)
        if (a.login == login) return a;
    return std::nullopt;
}

std::vector<DemoAccount> DemoPortals::Impl::accounts(PortalId id) const {
    std::lock_guard lock(m_mutex);
    return m_state[static_cast<size_t>(id)].accounts;
}

bool DemoPortals::Impl::setRawPage(PortalId id, std::string_view login, std::optional<std::string> body) {
    std::lock_guard lock(m_mutex);
    DemoAccount* a = findLocked(id, login);
    if (!a) return false;
    a->rawPage = std::move(body);
    return true;
}

void DemoPortals::Impl::setStall(PortalId id, bool on) {
    {
        std::lock_guard lock(m_mutex);
        m_state[static_cast<size_t>(id)].stall = on;
    }
    m_switchChanged.notify_all();
}

void DemoPortals::Impl::setFail(PortalId id, bool on) {
    std::lock_guard lock(m_mutex);
    m_state[static_cast<size_t>(id)].fail = on;
}

void DemoPortals::Impl::waitForGathering(std::unique_lock<std::mutex>& lock) {
    if (m_gather <= 0) return;
    m_switchChanged.notify_all();  // this request may be the one the others wait for
    const auto gathered = [&] {
        return std::any_of(m_maxInHand.begin(), m_maxInHand.end(), [&](const auto& most) { return most.load() >= m_gather; });
    };
    if (m_switchChanged.wait_for(lock, m_gatherLongest, [&] { return m_stopping || gathered(); }) || m_stopping) return;
    m_gather = 0;  // never gathered in time: the others need not wait for it again
}

void DemoPortals::Impl::setAnswerDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_answerDelay = delay;
}

void DemoPortals::Impl::setRedesigned(PortalId id, bool on) {
    std::lock_guard lock(m_mutex);
    m_state[static_cast<size_t>(id)].redesigned = on;
}

void DemoPortals::Impl::setFixedPage(PortalId id, std::optional<std::string> body) {
    std::lock_guard lock(m_mutex);
    m_state[static_cast<size_t>(id)].fixedPage = std::move(body);
}

void DemoPortals::Impl::setNews(std::string text) {
    std::lock_guard lock(m_mutex);
    m_news = std::move(text);
}

void DemoPortals::Impl::setPublisherFile(std::string path, std::string body, std::string contentType) {
    std::lock_guard lock(m_mutex);
    m_publisherFiles[std::move(path)] = {std::move(body), std::move(contentType)};
}

// ---- the portals ----------------------------------------------------------------------------------

void DemoPortals::Impl::serveBasicLogin(PortalId id, const httplib::Request& req, httplib::Response& res,
                                        std::string_view path) {
    const std::string_view pagePath = isSpaceGate(id) ? "/stats/" : "/";
    const bool speedPath = id != PortalId::Raduga && path == "/speed/";
    if (isSpaceGate(id) && path == "/") {
        res.set_redirect("/stats/");
        return;
    }
    if (path != pagePath && !speedPath) return answerHtml(res, id, 404, pages::notFound(path));

    const auto [credentials, basic] = credentialsOf(req);
    std::lock_guard lock(m_mutex);
    DemoAccount* a = nullptr;
    if (basic) {
        const size_t colon = credentials.find(':');
        if (colon != std::string::npos) {
            const std::string_view text(credentials);
            if (loginLocked(id, text.substr(0, colon), text.substr(colon + 1)))
                a = findLocked(id, text.substr(0, colon));
        }
    }
    if (!a) {
        res.set_header("WWW-Authenticate", "Basic realm=\"" + std::string(portalTitle(id)) + "\"");
        return answerHtml(res, id, 401, pages::unauthorized(portalTitle(id)));
    }
    if (!speedPath) return answerAccount(res, id, *a);

    if (req.method != "POST") return answerHtml(res, id, 200, pages::speedForm(portalTitle(id), a->speed));
    const Fields fields = splitFields(req.body);
    const std::string* s = field(fields, "S");
    const std::string* key = field(fields, "KEY");
    const bool keyOk = isSpaceGate(id) || (key && *key == "0");
    const auto& table = speedTable(id);
    const auto it = s ? table.find(*s) : table.end();
    const bool accepted = keyOk && it != table.end();
    if (accepted) a->speed = it->second;
    answerHtml(res, id, 200, pages::speedAnswer(portalTitle(id), accepted, a->speed));
}

void DemoPortals::Impl::serveGlobax(const httplib::Request& req, httplib::Response& res,
                                    std::string_view path) {
    constexpr PortalId id = PortalId::Globax;
    if (path == "/") return answerHtml(res, id, 200, pages::globaxLogin(false));
    if (path != "/index.php") return answerHtml(res, id, 404, pages::notFound(path));

    const Fields query = splitFields(queryOf(req.target));
    std::lock_guard lock(m_mutex);
    if (const std::string* action = field(query, "action"); action && *action == "logout") {
        if (const auto token = cookieValue(req, sessionCookie(id))) m_sessions.erase(*token);
        return answerHtml(res, id, 200, pages::globaxLogin(false));
    }
    if (req.method == "POST") {
        const Fields fields = splitFields(req.body);
        const std::string* login = field(fields, "login");
        const std::string* password = field(fields, "password");
        const DemoAccount* a = login && password ? loginLocked(id, *login, *password) : nullptr;
        if (!a) return answerHtml(res, id, 200, pages::globaxLogin(true));
        setSessionCookie(res, id, openSessionLocked(id, a->login, {}));
        return answerAccount(res, id, *a);
    }
    if (const DemoAccount* a = sessionAccountLocked(id, req)) return answerAccount(res, id, *a);
    answerHtml(res, id, 200, pages::globaxLogin(false));
}

void DemoPortals::Impl::serveSatGate(const httplib::Request& req, httplib::Response& res,
                                     std::string_view path) {
    constexpr PortalId id = PortalId::SatGate;
    if (path == "/") return answerHtml(res, id, 200, pages::satGateLogin(false));
    if (path != "/index.php") return answerHtml(res, id, 404, pages::notFound(path));

    const Fields query = splitFields(queryOf(req.target));
    std::lock_guard lock(m_mutex);
    if (req.method == "POST") {
        // The login form posts to "?logout=1": any earlier session ends, the posted login starts a new one.
        if (const auto token = cookieValue(req, sessionCookie(id))) m_sessions.erase(*token);
        const Fields fields = splitFields(req.body);
        const std::string* login = field(fields, "login");
        const std::string* password = field(fields, "password");
        const DemoAccount* a = login && password ? loginLocked(id, *login, *password) : nullptr;
        if (!a) return answerHtml(res, id, 200, pages::satGateLogin(true));
        setSessionCookie(res, id, openSessionLocked(id, a->login, {}));
        return answerAccount(res, id, *a);
    }
    if (const std::string* logout = field(query, "logout"); logout && *logout == "1") {
        if (const auto token = cookieValue(req, sessionCookie(id))) m_sessions.erase(*token);
        return answerHtml(res, id, 200, pages::satGateLogin(false));
    }
    if (const DemoAccount* a = sessionAccountLocked(id, req)) return answerAccount(res, id, *a);
    answerHtml(res, id, 200, pages::satGateLogin(false));
}

void DemoPortals::Impl::serveSkyFi(const httplib::Request& req, httplib::Response& res,
                                   std::string_view path) {
    constexpr PortalId id = PortalId::SkyFi;
    const bool service = path == "/control/service.php";
    if (path != "/" && path != "/authorize.php" && !service)
        return answerHtml(res, id, 404, pages::notFound(path));

    std::lock_guard lock(m_mutex);
    const Fields fields = req.method == "POST" ? splitFields(req.body) : Fields{};
    const std::string* user = field(fields, "user_name");
    const std::string* pass = field(fields, "user_pass");
    if (user || pass) {
        const DemoAccount* a = user && pass ? loginLocked(id, *user, *pass) : nullptr;
        if (!a) return answerHtml(res, id, 200, pages::skyFiLogin(true));
        setSessionCookie(res, id, openSessionLocked(id, a->login, {}));
        if (service) return answerHtml(res, id, 200, pages::skyFiService(*a, {}));
        return answerAccount(res, id, *a);
    }
    const DemoAccount* a = sessionAccountLocked(id, req);
    if (!a) return answerHtml(res, id, 200, pages::skyFiLogin(false));
    if (!service) return answerAccount(res, id, *a);

    std::string note;
    if (const std::string* sp1 = field(fields, "sp1"); sp1 && field(fields, "changesp")) {
        const auto& table = speedTable(id);
        if (const auto it = table.find(*sp1); it != table.end()) {
            DemoAccount* changing = findLocked(id, a->login);
            changing->speed = it->second;
            note = "Скорость изменена: " + changing->speed + " Кбит/с.";
        } else {
            note = "Такая скорость недоступна.";
        }
    }
    answerHtml(res, id, 200, pages::skyFiService(*a, note));
}

void DemoPortals::Impl::serveStv(const httplib::Request& req, httplib::Response& res, std::string_view path) {
    constexpr PortalId id = PortalId::Stv;
    std::string_view gate;
    if (path == "/insat/gate.php" || path == "/insat/" || path == "/")
        gate = "insat";
    else if (path == "/insat2/gate.php" || path == "/insat2/")
        gate = "insat2";
    else
        return answerHtml(res, id, 404, pages::notFound(path));
    const bool gatePage = path.ends_with("gate.php");

    const Fields query = splitFields(queryOf(req.target));
    std::lock_guard lock(m_mutex);
    if (const std::string* mode = field(query, "mode"); gatePage && mode && *mode == "off") {
        if (const auto token = cookieValue(req, sessionCookie(id))) m_sessions.erase(*token);
        res.set_header("Set-Cookie", std::string(sessionCookie(id)) + "=deleted; path=/; Max-Age=0");
        return answerHtml(res, id, 200, pages::stvLogin(gate, false, true));
    }
    if (gatePage && req.method == "POST") {
        const Fields fields = splitFields(req.body);
        const std::string* mod = field(fields, "mod");
        const std::string* p1 = field(fields, "p1");
        const std::string* p2 = field(fields, "p2");
        if (mod && *mod == "login") {
            const DemoAccount* a = p1 && p2 ? loginLocked(id, *p1, *p2, gate) : nullptr;
            if (!a) return answerHtml(res, id, 200, pages::stvLogin(gate, true, false));
            setSessionCookie(res, id, openSessionLocked(id, a->login, gate));
            return answerAccount(res, id, *a, gate);
        }
    }
    if (const DemoAccount* a = sessionAccountLocked(id, req, gate)) return answerAccount(res, id, *a, gate);
    answerHtml(res, id, 200, pages::stvLogin(gate, false, false));
}

namespace {

// The program file the demo offers as its update: korvex beside this program.
std::optional<std::string> demoProgramBytes() {
    std::ifstream program(executableDir() + "korvex", std::ios::binary);
    if (!program) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(program), {});
}

}  // namespace

std::string DemoPortals::Impl::signedUpdateInfo() const {
    const std::string text = utf8ToCp1251(pages::publisherUpdateInfo(baseUrl(PortalId::Publisher)));
    const auto program = demoProgramBytes();
    if (!program) return text;
    const auto digested = update::withDigests(
        text, [&](const std::string&, const std::string&) -> std::optional<std::string> {
            return update::sha256Hex(*program);
        });
    if (!digested) return text;
    // Signed afresh at every start, so the demo's info file never expires.
    return update::signInfoText(*digested, kDemoUpdateKeyPem, update::isoDateAfterDays(std::time(nullptr), 30))
        .value_or(text);
}

void DemoPortals::Impl::servePublisher(const httplib::Request&, httplib::Response& res,
                                       std::string_view path) {
    constexpr PortalId id = PortalId::Publisher;
    std::lock_guard lock(m_mutex);
    if (const auto it = m_publisherFiles.find(path); it != m_publisherFiles.end()) {
        res.status = 200;
        res.set_content(it->second.first, it->second.second.c_str());
        return;
    }
    if (path == "/news.txt") {
        res.status = 200;
        res.set_content(m_news, "text/plain; charset=windows-1251");
        return;
    }
    // The update info file offers the demo's own korvex (the one beside this program) as 3.2.0.2,
    // with its digest and signed with the demo key when that program is there to be offered.
    if (path == pages::kUpdateInfoPath) {
        res.status = 200;
        res.set_content(signedUpdateInfo(), "text/plain; charset=windows-1251");
        return;
    }
    if (path == pages::kUpdateFilePath) {
        if (const auto program = demoProgramBytes()) {
            res.status = 200;
            res.set_content(*program, "application/octet-stream");
            return;
        }
    }
    if (path == "/") return answerHtml(res, id, 200, pages::publisherHome());
    if (path == "/pay/") return answerHtml(res, id, 200, pages::publisherPay());
    if (path == pages::kPublisherDownloadPath) return answerHtml(res, id, 200, pages::publisherDownload());
    answerHtml(res, id, 404, pages::notFound(path));
}

// ---- DemoPortals ----------------------------------------------------------------------------------

DemoPortals::DemoPortals() : DemoPortals(Options{}) {}
DemoPortals::DemoPortals(Options options) : m_impl(std::make_unique<Impl>(std::move(options))) {}
DemoPortals::~DemoPortals() = default;

void DemoPortals::stop() {
    m_impl->stop();
}
std::string DemoPortals::baseUrl(PortalId portal) const {
    return m_impl->baseUrl(portal);
}
int DemoPortals::port(PortalId portal) const {
    return m_impl->port(portal);
}
std::string DemoPortals::certificatePath() const {
    return m_impl->certificatePath();
}

void DemoPortals::putAccount(PortalId portal, DemoAccount account) {
    m_impl->putAccount(portal, std::move(account));
}
bool DemoPortals::removeAccount(PortalId portal, std::string_view login) {
    return m_impl->removeAccount(portal, login);
}
void DemoPortals::clearAccounts(PortalId portal) {
    m_impl->clearAccounts(portal);
}
std::optional<DemoAccount> DemoPortals::account(PortalId portal, std::string_view login) const {
    return m_impl->account(portal, login);
}
std::vector<DemoAccount> DemoPortals::accounts(PortalId portal) const {
    return m_impl->accounts(portal);
}
bool DemoPortals::setRawPage(PortalId portal, std::string_view login, std::optional<std::string> body) {
    return m_impl->setRawPage(portal, login, std::move(body));
}

void DemoPortals::setStall(PortalId portal, bool on) {
    m_impl->setStall(portal, on);
}
void DemoPortals::setRedesigned(PortalId portal, bool on) {
    m_impl->setRedesigned(portal, on);
}

void DemoPortals::setFail(PortalId portal, bool on) {
    m_impl->setFail(portal, on);
}
void DemoPortals::setFixedPage(PortalId portal, std::optional<std::string> body) {
    m_impl->setFixedPage(portal, std::move(body));
}
void DemoPortals::setAnswerDelay(std::chrono::milliseconds delay) {
    m_impl->setAnswerDelay(delay);
}
int DemoPortals::maxConcurrentRequests(PortalId portal) const {
    return m_impl->maxConcurrentRequests(portal);
}
void DemoPortals::gatherRequests(int requests, std::chrono::milliseconds longest) {
    m_impl->gatherRequests(requests, longest);
}
void DemoPortals::resetConcurrency() {
    m_impl->resetConcurrency();
}
void DemoPortals::setNews(std::string cp1251Text) {
    m_impl->setNews(std::move(cp1251Text));
}
void DemoPortals::setPublisherFile(std::string path, std::string body, std::string contentType) {
    m_impl->setPublisherFile(std::move(path), std::move(body), std::move(contentType));
}

std::vector<RequestRecord> DemoPortals::requests() const {
    return m_impl->log().all();
}
std::vector<RequestRecord> DemoPortals::requests(PortalId portal) const {
    return m_impl->log().of(portal);
}
void DemoPortals::clearRequests() {
    m_impl->log().clear();
}
bool DemoPortals::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    return m_impl->log().waitFor(count, timeout);
}

}  // namespace korvex
