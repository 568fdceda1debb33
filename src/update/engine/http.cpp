#include "update/engine/http.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "net/curl_library.h"
#include "update/engine/url.h"

namespace korvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A memory output is pre-sized to the announced length, but never beyond this: a server's
// Content-Length alone must not make the program claim gigabytes.
constexpr std::int64_t kMaxPresize = 16LL * 1024 * 1024;
// libcurl reads the socket in pieces of at least this size; the engine still hands out and writes
// chunks of TransferBufferSize.
constexpr long kMinCurlBuffer = 16 * 1024;
constexpr long kMaxCurlBuffer = CURL_MAX_READ_SIZE;
constexpr long kMaxRedirects = 20;
constexpr std::size_t kFileBuffer = 64 * 1024;

struct CurlEasyDeleter {
    void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

bool isSuccessStatus(int status) { return status == 200 || status == 206; }

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::string trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::int64_t parseLength(std::string_view text) {
    std::int64_t value = 0;
    bool any = false;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        if (value > (INT64_MAX - 9) / 10) return 0;
        value = value * 10 + (c - '0');
        any = true;
    }
    return any ? value : 0;
}

// ProxyBypass's list (';' separated, as typed in Windows) in libcurl's form (',' separated).
std::string noProxyList(std::string_view bypass) {
    std::string list;
    std::string entry;
    auto flush = [&] {
        if (!entry.empty()) list += (list.empty() ? "" : ",") + entry;
        entry.clear();
    };
    for (const char c : bypass) {
        if (c == ';' || c == ',' || c == ' ' || c == '\t') {
            flush();
        } else {
            entry += c;
        }
    }
    flush();
    return list;
}

void applyAttributes(const std::string& path, const TupFileAttributes& attributes) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    mode_t mode = info.st_mode & 07777;
    mode = attributes.count(atrReadOnly) != 0 ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
    if (mode != (info.st_mode & 07777)) ::chmod(path.c_str(), mode);
}

}  // namespace

// One transfer: the settings it was started with and everything it found. The worker writes it;
// the user-interface thread reads it in notifications (while the worker waits) and in the wrap-up
// (after the worker has finished). The output alone is shared while both run (a hard abort closes
// it under the output mutex while the worker may be writing).
struct TupTransfer {
    // Settings, copied by Start.
    std::string url;
    std::string outputFileName;
    std::string acceptTypes;
    std::string agent;
    std::vector<std::string> additionalHeaders;
    std::string postData;
    std::string referer;
    bool post = false;
    TupCacheOptions cacheOptions;
    TupInternetOptions internetOptions;
    TupHTTPTimeouts timeouts;
    TupHTTPProxy proxy;
    bool workOffline = false;
    TupOutputFileAttributes attributes;
    int lowSpeedSeconds = 60;
    int lowSpeedBytes = 1;
    int timeLimit = 0;
    std::int64_t maxMemoryBody = 0;
    std::size_t bufferSize = 4096;
    std::string username;  // HTTPUsername and HTTPPassword
    std::string password;
    bool wantHeaderInfo = false;
    bool wantProgress = false;
    bool wantPassword = false;
    bool wantProxyAuthentication = false;
    bool wantRedirect = false;

    // State.
    int status = -1;
    std::int64_t resumeOffset = 0;
    std::int64_t rangeEnd = 0;
    std::int64_t contentLength = 0;
    std::int64_t bytesRead = 0;
    TupHeaderInfo headers;
    SteadyClock::time_point startTick;
    bool continueFlag = true;
    bool success = false;
    bool aborted = false;        // ended by a soft abort
    bool outputFailed = false;   // the output file could not be made or written
    std::string outputError;     // then: the file's name and the system's reason
    bool timedOut = false;       // out of time: TimeLimit or the stall rule
    bool tooLarge = false;       // a memory body would have passed maxMemoryBody
    bool deleteOutputOnAbort = false;
    bool ended = false;          // wrapped up, aborted or given up

    // Output, guarded by outputMutex once the worker runs.
    std::mutex outputMutex;
    std::FILE* file = nullptr;
    std::string fileName;  // the file being written, "" for memory output
    std::string stream;
    bool closed = false;  // torn down by a hard abort or destruction: write nothing more
};

// The worker procedure of one transfer, on its worker thread. Notification handlers are reached
// only through Synchronize, with the data they see kept in the transfer (which outlives a worker
// that was given up while a handler ran).
class TupWorker {
public:
    TupWorker(TupCustomHTTP& engine, std::shared_ptr<TupTransfer> transfer, TupEventThread& thread)
        : m_engine(engine), m_transferOwner(std::move(transfer)), m_t(*m_transferOwner), m_thread(thread) {}

    void run();

private:
    enum class Stop { None, Retry, Restart, Declined, OutputFailed, LengthKnown };

    bool check() {
        if (!m_thread.Terminated()) return false;
        m_t.aborted = true;
        return true;
    }
    bool abandoned() const { return m_thread.Abandoned(); }
    void runFile(const TupUrlParts& parts);
    void runHttp(const TupUrlParts& parts);
    bool configure(CURL* easy, const TupUrlParts& parts, bool lengthQuery);
    // The answer's status and headers are complete; false ends the transfer (see m_stop).
    bool headersComplete();
    bool openOutput();
    // Writes one chunk and reports progress; false ends the transfer.
    bool deliverChunk(const char* data, std::size_t size);

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onWrite(char* data, std::size_t size, std::size_t count, void* self);
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    TupCustomHTTP& m_engine;
    std::shared_ptr<TupTransfer> m_transferOwner;
    TupTransfer& m_t;
    TupEventThread& m_thread;

    // One send of the request.
    Stop m_stop = Stop::None;
    bool m_lengthQuery = false;
    std::int64_t m_queriedLength = -1;
    bool m_headersDone = false;
    std::vector<std::string> m_headerLines;
    curl_slist* m_headerList = nullptr;
    std::string m_userPassword;
};

void TupWorker::run() {
    m_t.startTick = SteadyClock::now();
    const std::optional<TupUrlParts> parts = crackUrl(m_t.url);
    if (!parts) return;  // no status: host unreachable
    if (check()) return;
    if (parts->scheme == "file") {
        runFile(*parts);
    } else {
        runHttp(*parts);
    }
}

void TupWorker::runFile(const TupUrlParts& parts) {
    const std::string path = percentDecode(parts.path);
    std::FILE* input = std::fopen(path.c_str(), "rb");
    struct stat info {};
    if (input == nullptr || ::fstat(fileno(input), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (input != nullptr) std::fclose(input);
        input = nullptr;
        m_t.status = 404;
        m_t.contentLength = 0;
    } else {
        m_t.status = 200;
        if (m_t.resumeOffset > info.st_size || std::fseek(input, static_cast<long>(m_t.resumeOffset), SEEK_SET) != 0)
            m_t.resumeOffset = 0;
        m_t.contentLength = static_cast<std::int64_t>(info.st_size) - m_t.resumeOffset;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> owner(input, input ? &std::fclose : nullptr);
    m_t.headers.StatusCode = m_t.status;
    m_t.headers.ContentLength = m_t.contentLength + m_t.resumeOffset;
    if (!openOutput()) {
        m_t.outputFailed = true;
        return;
    }
    bool ok = true;
    if (input != nullptr) {
        std::vector<char> buffer(m_t.bufferSize);
        for (;;) {
            if (check()) return;
            const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), input);
            if (count == 0) {
                ok = !std::ferror(input);
                break;
            }
            if (!deliverChunk(buffer.data(), count)) return;
        }
    }
    m_t.success = ok && isSuccessStatus(m_t.status) && (m_t.contentLength == 0 || m_t.bytesRead == m_t.contentLength);
}

bool TupWorker::configure(CURL* easy, const TupUrlParts& parts, bool lengthQuery) {
    curl_easy_reset(easy);
    const std::string url = requestUrl(parts);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, m_t.agent.c_str());
    if (!m_t.referer.empty()) curl_easy_setopt(easy, CURLOPT_REFERER, m_t.referer.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#endif
    if (m_t.internetOptions.count(ioNoAutoRedirect) == 0) {
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    }

    // Credentials: those of the address, an empty one replaced by HTTPUsername / HTTPPassword.
    if (m_t.internetOptions.count(ioNoAuthentication) == 0) {
        const std::string user = parts.user.empty() ? m_t.username : percentDecode(parts.user);
        const std::string password = parts.password.empty() ? m_t.password : percentDecode(parts.password);
        if (!user.empty() || !password.empty()) {
            curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
            curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
            curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
        }
    }

    switch (m_t.proxy.AccessType) {
        case atPreconfig: break;
        case atDirect: curl_easy_setopt(easy, CURLOPT_PROXY, ""); break;
        case atUseProxy: {
            const std::string proxy = m_t.proxy.ProxyServer + ":" + std::to_string(m_t.proxy.ProxyPort);
            curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
            const std::string bypass = noProxyList(m_t.proxy.ProxyBypass);
            if (!bypass.empty()) curl_easy_setopt(easy, CURLOPT_NOPROXY, bypass.c_str());
            break;
        }
    }
    if (m_t.proxy.AccessType != atDirect && !m_t.proxy.ProxyUsername.empty() && !m_t.proxy.ProxyPassword.empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, m_t.proxy.ProxyUsername.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, m_t.proxy.ProxyPassword.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    // Certificates are checked unless an option says otherwise.
    const std::string& bundle = CurlLibrary::instance().caBundlePath();
    if (!bundle.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, bundle.c_str());
    if (m_t.internetOptions.count(ioIgnoreUnknownCertificateAuthority) != 0)
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    if (m_t.internetOptions.count(ioIgnoreCertificateInvalid) != 0) curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);

    // No transfer is endless: a server that sends nothing for the time limit ends it.
    long stallSeconds = std::max(1, m_t.lowSpeedSeconds);
    for (const int timeout : {m_t.timeouts.ReceiveTimeout, m_t.timeouts.SendTimeout})
        if (timeout > 0) stallSeconds = std::min<long>(stallSeconds, (timeout + 999) / 1000);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(std::max(1, m_t.lowSpeedBytes)));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stallSeconds);
    if (m_t.timeLimit > 0) {
        // The time left of the whole transfer, over retries and redirects.
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - m_t.startTick);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                         std::max<long>(1, m_t.timeLimit * 1000L - static_cast<long>(spent.count())));
    }
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     m_t.timeouts.ConnectTimeout > 0 ? static_cast<long>(m_t.timeouts.ConnectTimeout)
                                                     : stallSeconds * 1000L);

    curl_slist_free_all(m_headerList);
    m_headerList = nullptr;
    auto addHeader = [this](const std::string& line) { m_headerList = curl_slist_append(m_headerList, line.c_str()); };
    addHeader("Accept: " + m_t.acceptTypes);
    if (m_t.cacheOptions.count(coPragmaNoCache) != 0) addHeader("Pragma: no-cache");
    for (const std::string& line : m_t.additionalHeaders)
        if (!trimmed(line).empty()) addHeader(trimmed(line));
    if (lengthQuery) {
        addHeader("Range: bytes=0-");
    } else if (m_t.resumeOffset > 0 || m_t.rangeEnd > 0) {
        addHeader("Range: bytes=" + std::to_string(m_t.resumeOffset) + "-" +
                  (m_t.rangeEnd > 0 ? std::to_string(m_t.rangeEnd) : std::string{}));
    }
    if (m_t.post && !lengthQuery) {
        addHeader("Content-Type: application/x-www-form-urlencoded");
        addHeader("Expect:");
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_t.postData.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, m_t.postData.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headerList);

    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE,
                     std::clamp<long>(static_cast<long>(std::min<std::size_t>(m_t.bufferSize, kMaxCurlBuffer)),
                                      kMinCurlBuffer, kMaxCurlBuffer));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TupWorker::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TupWorker::onWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &TupWorker::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    return true;
}

void TupWorker::runHttp(const TupUrlParts& parts) {
    if (m_t.workOffline) return;  // offline: nothing is asked of the network, no status
    CurlLibrary::instance();
    CurlEasy easy(curl_easy_init());
    if (!easy) return;
    struct HeaderListOwner {
        curl_slist*& list;
        ~HeaderListOwner() { curl_slist_free_all(list); }
    } headerListOwner{m_headerList};

    for (;;) {
        if (check()) return;
        configure(easy.get(), parts, false);
        m_stop = Stop::None;
        m_headersDone = false;
        m_headerLines.clear();
        m_t.status = -1;
        const CURLcode result = curl_easy_perform(easy.get());
        if (abandoned()) return;
        if (check()) return;
        switch (m_stop) {
            case Stop::Retry: continue;
            case Stop::Restart: {
                // 416 with a resume offset: the whole length decides whether the file is complete.
                configure(easy.get(), parts, true);
                m_lengthQuery = true;
                m_queriedLength = -1;
                m_stop = Stop::None;
                m_headerLines.clear();
                curl_easy_perform(easy.get());
                m_lengthQuery = false;
                if (abandoned()) return;
                if (check()) return;
                if (m_queriedLength == m_t.resumeOffset) {
                    m_t.status = 206;
                    m_t.contentLength = 0;
                    m_t.success = true;
                    return;
                }
                m_t.resumeOffset = 0;
                continue;
            }
            case Stop::Declined: m_t.continueFlag = false; return;
            case Stop::OutputFailed: m_t.outputFailed = true; return;
            case Stop::None:
            case Stop::LengthKnown: break;
        }
        if (result == CURLE_OPERATION_TIMEDOUT) m_t.timedOut = true;
        // A broken connection is a broken body, whether or not a length was announced.
        m_t.success = result == CURLE_OK && isSuccessStatus(m_t.status) &&
                      (m_t.contentLength == 0 || m_t.bytesRead == m_t.contentLength);
        return;
    }
}

std::size_t TupWorker::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto& worker = *static_cast<TupWorker*>(self);
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    if (startsWithNoCase(line, "HTTP/")) worker.m_headerLines.clear();
    if (trimmed(line).empty()) {
        return worker.headersComplete() ? length : 0;
    }
    std::string text(line);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    worker.m_headerLines.push_back(std::move(text));
    return length;
}

bool TupWorker::headersComplete() {
    if (m_headerLines.empty()) return true;
    int status = -1;
    {
        const std::string& statusLine = m_headerLines.front();
        const std::size_t space = statusLine.find(' ');
        if (space != std::string::npos) status = static_cast<int>(parseLength(statusLine.substr(space + 1)));
    }
    auto header = [this](std::string_view name) -> std::optional<std::string> {
        for (std::size_t i = 1; i < m_headerLines.size(); ++i) {
            const std::string& line = m_headerLines[i];
            if (line.size() > name.size() && line[name.size()] == ':' && startsWithNoCase(line, name))
                return trimmed(std::string_view(line).substr(name.size() + 1));
        }
        return std::nullopt;
    };
    if (status < 200) {  // an interim answer; the real one follows
        m_headerLines.clear();
        return true;
    }
    const std::optional<std::string> location = header("Location");
    if (m_t.internetOptions.count(ioNoAutoRedirect) == 0 && location && !location->empty() &&
        (status == 301 || status == 302 || status == 303 || status == 307 || status == 308)) {
        if (m_t.wantRedirect && m_engine.OnRedirect) m_engine.OnRedirect(m_engine, *location);
        m_headerLines.clear();
        return true;  // libcurl follows it
    }

    const std::int64_t contentLength = header("Content-Length") ? parseLength(*header("Content-Length")) : 0;
    if (m_lengthQuery) {
        m_queriedLength = contentLength;
        if (const auto range = header("Content-Range")) {
            const std::size_t slash = range->rfind('/');
            if (slash != std::string::npos) m_queriedLength = parseLength(range->substr(slash + 1));
        }
        m_stop = Stop::LengthKnown;
        return false;
    }

    m_t.status = status;
    if (status == 416 && m_t.resumeOffset > 0) {
        m_stop = Stop::Restart;
        return false;
    }
    const auto shared = m_transferOwner;
    TupCustomHTTP* engine = &m_engine;
    if (status == 401 && m_t.wantPassword) {
        // The realm: what follows the first `="`, without the text's last character.
        std::string realm;
        if (const auto challenge = header("WWW-Authenticate")) {
            const std::size_t start = challenge->find("=\"");
            if (start != std::string::npos) {
                realm = challenge->substr(start + 2);
                if (!realm.empty()) realm.pop_back();
            }
        }
        auto tryAgain = std::make_shared<bool>(false);
        if (!m_thread.Synchronize([engine, shared, realm, tryAgain] {
                if (engine->OnPasswordRequest) engine->OnPasswordRequest(*engine, realm, *tryAgain);
                shared->username = engine->HTTPUsername();
                shared->password = engine->HTTPPassword();
            }))
            return false;
        if (*tryAgain) {
            m_stop = Stop::Retry;
            return false;
        }
    }
    if (status == 407 && m_t.wantProxyAuthentication) {
        auto tryAgain = std::make_shared<bool>(false);
        if (!m_thread.Synchronize([engine, shared, tryAgain] {
                if (engine->OnProxyAuthenticationRequest)
                    engine->OnProxyAuthenticationRequest(*engine, engine->Proxy.ProxyUsername,
                                                         engine->Proxy.ProxyPassword, *tryAgain);
                shared->proxy.ProxyUsername = engine->Proxy.ProxyUsername;
                shared->proxy.ProxyPassword = engine->Proxy.ProxyPassword;
            }))
            return false;
        if (*tryAgain) {
            m_stop = Stop::Retry;
            return false;
        }
    }

    m_t.contentLength = contentLength;
    if (!header("Content-Range")) m_t.resumeOffset = 0;
    // A memory body announced longer than it may grow is not read at all.
    if (m_t.outputFileName.empty() && isSuccessStatus(status) && m_t.maxMemoryBody > 0 &&
        contentLength > m_t.maxMemoryBody) {
        m_t.tooLarge = true;
        return false;
    }
    TupHeaderInfo& info = m_t.headers;
    info = TupHeaderInfo{};
    info.StatusCode = status;
    info.ContentType = header("Content-Type").value_or("");
    info.ContentLength = contentLength + m_t.resumeOffset;
    if (m_t.wantHeaderInfo) {
        for (const std::string& line : m_headerLines) info.RawHeaders += line + "\r\n";
        info.ContentLanguage = header("Content-Language").value_or("");
        info.ContentEncoding = header("Content-Encoding").value_or("");
        info.Location = location.value_or("");
        info.ETag = header("ETag").value_or("");
        info.Date = parseHeaderDate(header("Date").value_or(""));
        info.LastModified = parseHeaderDate(header("Last-Modified").value_or(""));
        info.Expires = parseHeaderDate(header("Expires").value_or(""));
        if (!m_thread.Synchronize([engine, shared] {
                bool keepOn = true;
                if (engine->OnHeaderInfo) engine->OnHeaderInfo(*engine, shared->headers, keepOn);
                shared->continueFlag = keepOn;
            }))
            return false;
        if (!m_t.continueFlag) {
            m_stop = Stop::Declined;
            return false;
        }
    }
    if (!openOutput()) {
        m_stop = Stop::OutputFailed;
        return false;
    }
    m_headersDone = true;
    return true;
}

bool TupWorker::openOutput() {
    std::lock_guard lock(m_t.outputMutex);
    if (m_t.closed) return false;
    m_t.stream.clear();
    if (!isSuccessStatus(m_t.status) || m_t.outputFileName.empty()) {
        m_t.fileName.clear();
        std::int64_t presize = std::clamp<std::int64_t>(m_t.contentLength, 0, kMaxPresize);
        if (m_t.maxMemoryBody > 0) presize = std::min(presize, m_t.maxMemoryBody);
        m_t.stream.reserve(static_cast<std::size_t>(presize));
        return true;
    }
    const std::string& path = m_t.outputFileName;
    if (m_t.file != nullptr) {  // an answer before this one opened it
        std::fclose(m_t.file);
        m_t.file = nullptr;
    }
    const auto failed = [this, &path](int fd) {
        m_t.outputError = path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    };
    // Never through a link: a fresh file replaces whatever has its name (a link planted there is
    // removed, not followed), and a file resumed must be a regular file of its own.
    int fd = -1;
    if (m_t.resumeOffset > 0) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
            ::chmod(path.c_str(), info.st_mode | S_IWUSR);  // read-only left by an earlier transfer
        fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return failed(fd);
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            errno = EINVAL;
            return failed(fd);
        }
        if (::lseek(fd, static_cast<off_t>(m_t.resumeOffset), SEEK_SET) < 0) return failed(fd);
    } else {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) return failed(fd);
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) return failed(fd);
    }
    std::FILE* file = ::fdopen(fd, m_t.resumeOffset > 0 ? "r+b" : "wb");
    if (file == nullptr) return failed(fd);
    // Chunks of TransferBufferSize (4 KB by default) are gathered into larger writes.
    std::setvbuf(file, nullptr, _IOFBF, kFileBuffer);
    m_t.file = file;
    m_t.fileName = path;
    applyAttributes(path, m_t.attributes.Incomplete);
    return true;
}

bool TupWorker::deliverChunk(const char* data, std::size_t size) {
    while (size > 0) {
        if (check()) return false;
        const std::size_t count = std::min(size, m_t.bufferSize);
        {
            std::lock_guard lock(m_t.outputMutex);
            if (m_t.closed) return false;
            if (m_t.file != nullptr) {
                if (std::fwrite(data, 1, count, m_t.file) != count) {
                    m_t.outputFailed = true;
                    m_t.outputError = m_t.fileName + ": " + std::strerror(errno);
                    return false;
                }
            } else if (m_t.maxMemoryBody > 0 &&
                       static_cast<std::int64_t>(m_t.stream.size() + count) > m_t.maxMemoryBody) {
                // Never past the cap: an error page keeps its beginning, an info file is refused.
                m_t.stream.append(data, static_cast<std::size_t>(m_t.maxMemoryBody) - m_t.stream.size());
                m_t.tooLarge = true;
                return false;
            } else {
                m_t.stream.append(data, count);
            }
        }
        m_t.bytesRead += static_cast<std::int64_t>(count);
        data += count;
        size -= count;
        if (m_t.wantProgress) {
            const auto shared = m_transferOwner;
            TupCustomHTTP* engine = &m_engine;
            if (!m_thread.Synchronize([engine, shared] {
                    TupTransfer& t = *shared;
                    const double elapsed = std::floor(
                        std::chrono::duration<double>(SteadyClock::now() - t.startTick).count());
                    TupProgressInfo info;
                    info.ContentType = t.headers.ContentType;
                    info.TotalSize = t.contentLength + t.resumeOffset;
                    info.BytesRead = t.bytesRead + t.resumeOffset;
                    info.ElapsedTime = static_cast<int>(elapsed);
                    if (info.TotalSize > 0)
                        info.PercentDone = static_cast<std::uint8_t>(
                            std::lround(100.0 * static_cast<double>(info.BytesRead) / static_cast<double>(info.TotalSize)));
                    if (t.bytesRead > 0)
                        info.EstimatedTimeLeft = static_cast<int>(
                            std::lround(static_cast<double>(t.contentLength) / static_cast<double>(t.bytesRead) * elapsed) -
                            static_cast<long>(elapsed));
                    const double kilobytes = static_cast<double>(t.bytesRead) / 1024.0;
                    info.TransferRate = static_cast<float>(elapsed > 0 ? kilobytes / elapsed : kilobytes);
                    info.Stream = t.fileName.empty() ? &t.stream : nullptr;
                    if (engine->OnProgress) engine->OnProgress(*engine, info);
                }))
                return false;
        }
    }
    return true;
}

std::size_t TupWorker::onWrite(char* data, std::size_t size, std::size_t count, void* self) {
    auto& worker = *static_cast<TupWorker*>(self);
    const std::size_t length = size * count;
    if (!worker.m_headersDone) return length;  // the body of an answer that is not the final one
    return worker.deliverChunk(data, length) ? length : 0;
}

int TupWorker::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& worker = *static_cast<TupWorker*>(self);
    return worker.m_thread.Terminated() ? 1 : 0;
}

TupCustomHTTP::TupCustomHTTP(TupDispatcher& dispatcher) : m_dispatcher(dispatcher), m_thread(dispatcher) {
    CurlLibrary::instance();
}

TupCustomHTTP::~TupCustomHTTP() {
    if (m_busy && m_transfer) {
        m_thread.AbandonCurrent();
        closeAbandoned(*m_transfer, false);
    }
}

void TupCustomHTTP::closeAbandoned(TupTransfer& transfer, bool deleteOutput) {
    std::lock_guard lock(transfer.outputMutex);
    transfer.closed = true;
    transfer.ended = true;
    if (transfer.file != nullptr) {
        std::fclose(transfer.file);
        transfer.file = nullptr;
        applyAttributes(transfer.fileName, transfer.attributes.Incomplete);
        if (deleteOutput) std::remove(transfer.fileName.c_str());
    }
    transfer.stream.clear();
    transfer.stream.shrink_to_fit();
}

bool TupCustomHTTP::Start(bool wait) {
    if (m_busy) return false;
    auto t = std::make_shared<TupTransfer>();
    t->url = URL;
    t->outputFileName = OutputFileName;
    t->acceptTypes = AcceptTypes;
    t->agent = Agent;
    t->additionalHeaders = AdditionalHeaders;
    t->postData = PostData;
    t->referer = Referer;
    t->post = RequestMethod == rmPost || (RequestMethod == rmAutomatic && !PostData.empty());
    t->cacheOptions = CacheOptions;
    t->internetOptions = InternetOptions;
    t->timeouts = Timeouts;
    t->proxy = Proxy;
    t->workOffline = WorkOffline;
    t->attributes = OutputFileAttributes;
    t->lowSpeedSeconds = LowSpeedTimeLimit;
    t->lowSpeedBytes = LowSpeedLimit;
    t->timeLimit = TimeLimit;
    t->maxMemoryBody = MaxMemoryBody;
    t->bufferSize = static_cast<std::size_t>(m_bufferSize);
    t->username = HTTPUsername();
    t->password = HTTPPassword();
    t->wantHeaderInfo = static_cast<bool>(OnHeaderInfo);
    t->wantProgress = static_cast<bool>(OnProgress);
    t->wantPassword = static_cast<bool>(OnPasswordRequest);
    t->wantProxyAuthentication = static_cast<bool>(OnProxyAuthenticationRequest);
    t->wantRedirect = static_cast<bool>(OnRedirect);
    t->resumeOffset = std::max<std::int64_t>(0, Range.StartRange);
    t->rangeEnd = std::max<std::int64_t>(0, Range.EndRange);
    m_busy = true;
    m_transfer = t;

    TupEventThread& thread = m_thread.NewThread();
    thread.OnExecute = [this, t](TupEventThread& self) {
        TupWorker worker(*this, t, self);
        worker.run();
    };
    thread.OnFinish = [this, t](TupEventThread&) { wrapUp(t); };
    thread.OnException = [this](TupEventThread&, std::exception_ptr error) {
        if (OnException) OnException(*this, error);
    };
    thread.Resume();

    if (wait || m_thread.WaitThread) {
        bool expired = false;
        int timer = 0;
        if (m_thread.WaitTimeout > 0)
            timer = m_dispatcher.startTimer(m_thread.WaitTimeout, [&expired] { expired = true; });
        m_dispatcher.waitUntil([&] { return t->ended || expired; });
        if (timer != 0) m_dispatcher.stopTimer(timer);
        if (!t->ended && expired) {
            bool terminate = true;
            if (OnWaitTimeout) OnWaitTimeout(*this, terminate);
            if (terminate && m_transfer == t) {
                m_thread.AbandonCurrent();
                closeAbandoned(*t, false);
                m_busy = false;
            }
        }
    }
    return true;
}

void TupCustomHTTP::Abort(bool deleteOutput, bool hard) {
    if (!m_busy || !m_transfer) return;
    const std::shared_ptr<TupTransfer> t = m_transfer;
    t->deleteOutputOnAbort = deleteOutput;
    if (!hard) {
        if (TupEventThread* thread = m_thread.Current()) thread->Terminate();
        return;
    }
    m_thread.AbandonCurrent();
    closeAbandoned(*t, deleteOutput);
    m_busy = false;
    if (OnAborted) OnAborted(*this);
}

void TupCustomHTTP::wrapUp(const std::shared_ptr<TupTransfer>& transfer) {
    TupTransfer& t = *transfer;
    std::unique_lock lock(t.outputMutex);
    if (t.closed) return;
    if (t.file != nullptr) {
        // The last part of the buffer is written here: its failure is a write failure like any.
        if (std::fclose(t.file) != 0 && !t.aborted && !t.outputFailed) {
            t.outputFailed = true;
            t.success = false;
            t.outputError = t.fileName + ": " + std::strerror(errno);
        }
        t.file = nullptr;
    }
    const std::string fileName = t.fileName;
    t.ended = true;
    lock.unlock();
    // The engine is free again before any handler runs: a handler may start the next transfer,
    // and nothing below touches the engine's state, only this transfer.
    if (m_transfer == transfer) m_busy = false;

    if (t.aborted) {
        if (!fileName.empty()) {
            applyAttributes(fileName, t.attributes.Incomplete);
            if (t.deleteOutputOnAbort) std::remove(fileName.c_str());
        }
        if (OnAborted) OnAborted(*this);
    } else if (!t.continueFlag) {
        if (OnDeclined) OnDeclined(*this);
    } else {
        const std::string* stream = fileName.empty() ? &t.stream : nullptr;
        if (t.success) {
            if (!fileName.empty() && t.attributes.Complete != t.attributes.Incomplete)
                applyAttributes(fileName, t.attributes.Complete);
            if (OnDone) OnDone(*this, t.headers.ContentType, t.bytesRead + t.resumeOffset, stream);
        } else if (t.outputFailed) {
            // What was written of a file that failed is of no use to anyone.
            if (!fileName.empty()) std::remove(fileName.c_str());
            if (OnOutputError)
                OnOutputError(*this, t.outputFileName, t.outputError);
            else if (OnHTTPError)
                OnHTTPError(*this, t.status, nullptr);
        } else if (t.status == -1) {
            if (OnHostUnreachable) OnHostUnreachable(*this);
        } else if (isSuccessStatus(t.status)) {
            if (OnConnectionLost) OnConnectionLost(*this, t.headers.ContentType, t.contentLength, t.bytesRead, stream);
        } else {
            if (OnHTTPError) OnHTTPError(*this, t.status, stream);
        }
        if (OnAfterTransfer) OnAfterTransfer(*this);
    }
    t.stream.clear();
    t.stream.shrink_to_fit();
}

int TupCustomHTTP::StatusCode() const { return m_transfer ? m_transfer->status : -1; }
std::int64_t TupCustomHTTP::ContentLength() const { return m_transfer ? m_transfer->contentLength : 0; }
std::int64_t TupCustomHTTP::BytesRead() const { return m_transfer ? m_transfer->bytesRead : 0; }
std::int64_t TupCustomHTTP::ResumeOffset() const { return m_transfer ? m_transfer->resumeOffset : 0; }
bool TupCustomHTTP::TimedOut() const { return m_transfer && m_transfer->timedOut; }
bool TupCustomHTTP::BodyTooLarge() const { return m_transfer && m_transfer->tooLarge; }

}  // namespace korvex
