#pragma once
// TestServer: an HTTP or HTTPS server inside the test process, on 127.0.0.1 and a port the system
// picks, built on cpp-httplib. A test adds handlers, starts the server, sends its requests to
// url(...) and then reads what the server received: every request that reached a handler added
// through get()/post()/any() is recorded (method, path, query, headers, body) before the handler
// runs, so the record is complete by the time the client has the answer.
//
// HTTPS uses a self-signed certificate for 127.0.0.1 and "localhost", made in memory at start.
//
// Threads: handlers run on the server's worker threads. Add handlers before start(); the
// recorded requests may be read from any thread at any time.
#include <httplib.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "korvex-demo-portals/demo_certificate.h"

namespace korvex::test {

struct RecordedRequest {
    std::string method;
    std::string path;          // without the query
    std::string query;         // the raw text after '?', "" without one
    std::string target;        // path and query as sent
    httplib::Headers headers;  // names compare without regard to case
    std::string body;          // as received ("" for multipart bodies, see files)
    httplib::MultipartFormDataMap files;

    // The first value of the header `name`, "" when it was not sent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const { return headers.find(name) != headers.end(); }
};

class TestServer {
public:
    enum class Scheme { Http, Https };

    explicit TestServer(Scheme scheme = Scheme::Http);
    // HTTPS with the given identity, for tests that make a client trust it or name another host.
    explicit TestServer(const SelfSignedCertificate& certificate);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // Handlers whose calls are recorded. `pattern` is cpp-httplib's: a regular expression over
    // the path, its groups in request.matches.
    TestServer& get(const std::string& pattern, httplib::Server::Handler handler);
    TestServer& post(const std::string& pattern, httplib::Server::Handler handler);
    TestServer& any(const std::string& pattern, const httplib::Server::Handler& handler);  // GET, POST, PUT
    // The standard endpoints below, for tests of HTTP clients:
    //   /echo                    any method; answers "METHOD target\n", one "Name: value" line per
    //                            header, an empty line, then the body
    //   /form                    POST; answers the body as received, with its content type
    //   /basic-auth/USER/PASS    200 "authorized USER" for those credentials (HTTP basic),
    //                            otherwise 401 with a challenge and the body "unauthorized"
    //   /cookie/set?k=v&...      sets each parameter as a cookie (Path=/); answers "cookies set"
    //   /cookie/echo             answers the Cookie header as received ("" without one)
    //   /redirect/N              302 to /redirect/N-1; /redirect/0 answers "redirects done"
    //   /status/CODE             that status, with the body "status CODE" (none for 204, 304)
    //   /slow?ms=N               waits N ms (default 200), then answers "slow answer"
    //   /drip?chunks=N&ms=M&size=S  chunked: N chunks (default 20) of S bytes (default 100) 'd',
    //                            one every M ms (default 50); stops when the client goes away
    //   /bytes?n=N               N bytes (Content-Length N) of the repeating pattern bytePattern()
    //   /cut?n=N&after=M         announces N bytes, sends M (default N/2), closes the connection
    TestServer& addStandardEndpoints();

    // Binds 127.0.0.1 on a free port and serves on a thread of its own until destruction.
    void start();

    int port() const noexcept { return m_port; }
    // "http://127.0.0.1:PORT" or "https://127.0.0.1:PORT".
    std::string baseUrl() const;
    // baseUrl() followed by `pathAndQuery` (which starts with '/').
    std::string url(std::string_view pathAndQuery) const;
    // The certificate's PEM ("" for HTTP), for a client that wants to trust it.
    const std::string& certificatePem() const noexcept { return m_certificate.certificatePem; }

    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    // The latest request; an empty record when there is none.
    RecordedRequest lastRequest() const;
    void clearRequests();

    // The server itself, for what the helpers above do not offer (not recorded).
    httplib::Server& server() noexcept { return *m_server; }

    // Byte i of /bytes and /cut answers.
    static char bytePattern(std::size_t i) noexcept { return static_cast<char>('a' + i % 26); }

private:
    TestServer(Scheme scheme, const SelfSignedCertificate& certificate);
    httplib::Server::Handler recorded(httplib::Server::Handler handler);

    Scheme m_scheme;
    SelfSignedCertificate m_certificate;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = -1;

    mutable std::mutex m_recordMutex;
    std::vector<RecordedRequest> m_requests;  // guarded by m_recordMutex
};

// HTTP basic credentials as sent in the Authorization header: "Basic " + base64(user:password).
std::string basicAuthorization(std::string_view user, std::string_view password);

}  // namespace korvex::test
