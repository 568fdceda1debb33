#include "tests/support/test_server.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>

namespace korvex::test {

namespace {

template <typename T, void (*Free)(T*)>
struct OpenSslFree {
    void operator()(T* object) const noexcept { Free(object); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY, EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslFree<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslFree<BIO, BIO_free_all>>;

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string("test certificate: ") + what);
}

std::string queryParam(const httplib::Request& request, const char* name, const std::string& fallback) {
    return request.has_param(name) ? request.get_param_value(name) : fallback;
}

std::size_t sizeParam(const httplib::Request& request, const char* name, std::size_t fallback) {
    const std::string text = queryParam(request, name, "");
    return text.empty() ? fallback : static_cast<std::size_t>(std::stoull(text));
}

// The requested bytes of the /bytes pattern, starting at `offset`, written to `sink` in slices.
bool writePattern(httplib::DataSink& sink, std::size_t offset, std::size_t length) {
    constexpr std::size_t kSlice = 64 * 1024;
    std::string slice;
    while (length > 0) {
        const std::size_t count = std::min(length, kSlice);
        slice.resize(count);
        for (std::size_t i = 0; i < count; ++i) slice[i] = TestServer::bytePattern(offset + i);
        if (!sink.write(slice.data(), slice.size())) return false;
        offset += count;
        length -= count;
    }
    return true;
}

}  // namespace

std::string RecordedRequest::header(const std::string& name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string{} : found->second;
}

std::string basicAuthorization(std::string_view user, std::string_view password) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string plain = std::string(user) + ":" + std::string(password);
    std::string encoded;
    for (std::size_t i = 0; i < plain.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, plain.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = (group << 8) | (k < count ? static_cast<unsigned char>(plain[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            encoded += k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 0x3f] : '=';
        }
    }
    return "Basic " + encoded;
}

TestServer::TestServer(Scheme scheme)
    : TestServer(scheme, scheme == Scheme::Https ? makeSelfSignedCertificate({"localhost"}, {"127.0.0.1"})
                                                 : SelfSignedCertificate{}) {}

TestServer::TestServer(const SelfSignedCertificate& certificate) : TestServer(Scheme::Https, certificate) {}

TestServer::TestServer(Scheme scheme, const SelfSignedCertificate& certificate) : m_scheme(scheme) {
    if (scheme == Scheme::Https) {
        m_certificate = certificate;
        BioPtr certificateBio(BIO_new_mem_buf(m_certificate.certificatePem.data(),
                                              static_cast<int>(m_certificate.certificatePem.size())));
        BioPtr keyBio(BIO_new_mem_buf(m_certificate.privateKeyPem.data(),
                                      static_cast<int>(m_certificate.privateKeyPem.size())));
        X509Ptr certificate(PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr));
        PkeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
        if (!certificate || !key) fail("reading back");
        m_server =
            std::make_unique<httplib::SSLServer>(certificate.get(), key.get());  // takes its own references
    } else {
        m_server = std::make_unique<httplib::Server>();
    }
    if (!m_server->is_valid()) throw std::runtime_error("test server cannot be set up");
    m_server->set_tcp_nodelay(true);
    // An idle kept-alive connection holds a worker until this time-out, and stopping the server
    // waits for the workers.
    m_server->set_keep_alive_timeout(1);
    m_server->set_keep_alive_max_count(1000);
}

TestServer::~TestServer() {
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}

httplib::Server::Handler TestServer::recorded(httplib::Server::Handler handler) {
    return
        [this, handler = std::move(handler)](const httplib::Request& request, httplib::Response& response) {
            RecordedRequest record;
            record.method = request.method;
            record.path = request.path;
            record.target = request.target;
            const std::size_t question = request.target.find('?');
            if (question != std::string::npos) record.query = request.target.substr(question + 1);
            record.headers = request.headers;
            record.body = request.body;
            record.files = request.files;
            {
                std::lock_guard lock(m_recordMutex);
                m_requests.push_back(std::move(record));
            }
            handler(request, response);
        };
}

TestServer& TestServer::get(const std::string& pattern, httplib::Server::Handler handler) {
    m_server->Get(pattern, recorded(std::move(handler)));
    return *this;
}

TestServer& TestServer::post(const std::string& pattern, httplib::Server::Handler handler) {
    m_server->Post(pattern, recorded(std::move(handler)));
    return *this;
}

TestServer& TestServer::any(const std::string& pattern, const httplib::Server::Handler& handler) {
    m_server->Get(pattern, recorded(handler));
    m_server->Post(pattern, recorded(handler));
    m_server->Put(pattern, recorded(handler));
    return *this;
}

TestServer& TestServer::addStandardEndpoints() {
    any("/echo", [](const httplib::Request& request, httplib::Response& response) {
        std::string text = request.method + " " + request.target + "\n";
        for (const auto& [name, value] : request.headers) text += name + ": " + value + "\n";
        text += "\n" + request.body;
        response.set_content(text, "text/plain");
    });
    post("/form", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(request.body, request.get_header_value("Content-Type"));
    });
    get(R"(/basic-auth/([^/]+)/([^/]+))", [](const httplib::Request& request, httplib::Response& response) {
        const std::string user = request.matches[1];
        if (request.get_header_value("Authorization") ==
            basicAuthorization(user, std::string(request.matches[2]))) {
            response.set_content("authorized " + user, "text/plain");
        } else {
            response.status = 401;
            response.set_header("WWW-Authenticate", R"(Basic realm="korvex")");
            response.set_content("unauthorized", "text/plain");
        }
    });
    get("/cookie/set", [](const httplib::Request& request, httplib::Response& response) {
        for (const auto& [name, value] : request.params)
            response.set_header("Set-Cookie", name + "=" + value + "; Path=/");
        response.set_content("cookies set", "text/plain");
    });
    get("/cookie/echo", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(request.get_header_value("Cookie"), "text/plain");
    });
    get(R"(/redirect/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
        const int hops = std::stoi(request.matches[1]);
        if (hops > 0) {
            response.set_redirect("/redirect/" + std::to_string(hops - 1));
        } else {
            response.set_content("redirects done", "text/plain");
        }
    });
    any(R"(/status/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
        const std::string code = request.matches[1];
        response.status = std::stoi(code);
        // These answers have no body by definition; a body would be read as the next answer.
        if (response.status != 204 && response.status != 304)
            response.set_content("status " + code, "text/plain");
    });
    get("/slow", [](const httplib::Request& request, httplib::Response& response) {
        std::this_thread::sleep_for(std::chrono::milliseconds(sizeParam(request, "ms", 200)));
        response.set_content("slow answer", "text/plain");
    });
    get("/drip", [](const httplib::Request& request, httplib::Response& response) {
        const std::size_t chunks = sizeParam(request, "chunks", 20);
        const std::size_t pause = sizeParam(request, "ms", 50);
        const std::size_t size = std::max<std::size_t>(1, sizeParam(request, "size", 100));
        response.set_chunked_content_provider("text/plain", [=](std::size_t offset, httplib::DataSink& sink) {
            const std::size_t index = offset / size;
            if (index >= chunks) {
                sink.done();
                return true;
            }
            if (index > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause));
            const std::string chunk(size, 'd');
            return sink.is_writable() && sink.write(chunk.data(), chunk.size());
        });
    });
    get("/bytes", [](const httplib::Request& request, httplib::Response& response) {
        const std::size_t total = sizeParam(request, "n", 1024);
        response.set_content_provider(total, "application/octet-stream",
                                      [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                          return writePattern(sink, offset, length);
                                      });
    });
    get("/cut", [](const httplib::Request& request, httplib::Response& response) {
        const std::size_t total = sizeParam(request, "n", 4096);
        const std::size_t sent = std::min(total, sizeParam(request, "after", total / 2));
        response.set_content_provider(total, "application/octet-stream",
                                      [sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          // The promised length is never reached: failing here
                                          // makes the server drop the connection mid-body.
                                          if (offset < sent) return writePattern(sink, offset, sent - offset);
                                          return false;
                                      });
    });
    return *this;
}

void TestServer::start() {
    if (m_thread.joinable()) return;
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) throw std::runtime_error("test server cannot bind 127.0.0.1");
    auto ended = std::make_shared<std::atomic<bool>>(false);
    m_thread = std::thread([this, ended] {
        m_server->listen_after_bind();
        ended->store(true);
    });
    // The socket already listens; waiting for the accept loop makes stop() in the destructor safe.
    while (!m_server->is_running() && !ended->load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (ended->load()) {
        m_thread.join();
        throw std::runtime_error("test server stopped at once");
    }
}

std::string TestServer::baseUrl() const {
    return std::string(m_scheme == Scheme::Https ? "https" : "http") +
           "://127.0.0.1:" + std::to_string(m_port);
}

std::string TestServer::url(std::string_view pathAndQuery) const {
    return baseUrl() + std::string(pathAndQuery);
}

std::vector<RecordedRequest> TestServer::requests() const {
    std::lock_guard lock(m_recordMutex);
    return m_requests;
}

std::size_t TestServer::requestCount() const {
    std::lock_guard lock(m_recordMutex);
    return m_requests.size();
}

RecordedRequest TestServer::lastRequest() const {
    std::lock_guard lock(m_recordMutex);
    return m_requests.empty() ? RecordedRequest{} : m_requests.back();
}

void TestServer::clearRequests() {
    std::lock_guard lock(m_recordMutex);
    m_requests.clear();
}

}  // namespace korvex::test
