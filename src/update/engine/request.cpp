// The request set-up of TupWorker: libcurl's options for one send, made from the transfer's
// settings.
#include <algorithm>
#include <chrono>

#include "net/curl_library.h"
#include "update/engine/worker.h"

namespace korvex {

namespace {

// libcurl reads the socket in pieces of at least this size; the engine still hands out and writes
// chunks of TransferBufferSize.
constexpr long kMinCurlBuffer = 16 * 1024;
constexpr long kMaxCurlBuffer = CURL_MAX_READ_SIZE;
constexpr long kMaxRedirects = 20;

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

// Certificates are checked unless an option says otherwise.
void setCertificates(CURL* easy, const TupInternetOptions& options) {
    const std::string& bundle = CurlLibrary::instance().caBundlePath();
    if (!bundle.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, bundle.c_str());
    if (options.count(ioIgnoreUnknownCertificateAuthority) != 0)
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    if (options.count(ioIgnoreCertificateInvalid) != 0) curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
}

}  // namespace

void TupWorker::configure(CURL* easy, const TupUrlParts& parts, bool lengthQuery) {
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
    setCredentials(easy, parts);
    setProxy(easy);
    setCertificates(easy, m_t.internetOptions);
    setTimeLimits(easy);
    setHeaders(easy, lengthQuery);
    setCallbacks(easy);
}

// Credentials: those of the address, an empty one replaced by HTTPUsername / HTTPPassword.
void TupWorker::setCredentials(CURL* easy, const TupUrlParts& parts) const {
    if (m_t.internetOptions.count(ioNoAuthentication) != 0) return;
    const std::string user = parts.user.empty() ? m_t.username : percentDecode(parts.user);
    const std::string password = parts.password.empty() ? m_t.password : percentDecode(parts.password);
    if (user.empty() && password.empty()) return;
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
}

void TupWorker::setProxy(CURL* easy) const {
    const TupHTTPProxy& proxy = m_t.proxy;
    switch (proxy.AccessType) {
        case atPreconfig:
            break;
        case atDirect:
            curl_easy_setopt(easy, CURLOPT_PROXY, "");
            break;
        case atUseProxy: {
            const std::string address = proxy.ProxyServer + ":" + std::to_string(proxy.ProxyPort);
            curl_easy_setopt(easy, CURLOPT_PROXY, address.c_str());
            const std::string bypass = noProxyList(proxy.ProxyBypass);
            if (!bypass.empty()) curl_easy_setopt(easy, CURLOPT_NOPROXY, bypass.c_str());
            break;
        }
    }
    if (proxy.AccessType != atDirect && !proxy.ProxyUsername.empty() && !proxy.ProxyPassword.empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy.ProxyUsername.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy.ProxyPassword.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
}

// No transfer is endless: a server that sends nothing for the time limit ends it.
void TupWorker::setTimeLimits(CURL* easy) const {
    long stallSeconds = std::max(1, m_t.lowSpeedSeconds);
    for (const int timeout : {m_t.timeouts.ReceiveTimeout, m_t.timeouts.SendTimeout})
        if (timeout > 0) stallSeconds = std::min<long>(stallSeconds, (timeout + 999) / 1000);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(std::max(1, m_t.lowSpeedBytes)));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stallSeconds);
    if (m_t.timeLimit > 0) {
        // The time left of the whole transfer, over retries and redirects.
        const auto spent =
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - m_t.startTick);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                         std::max<long>(1, m_t.timeLimit * 1000L - static_cast<long>(spent.count())));
    }
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     m_t.timeouts.ConnectTimeout > 0 ? static_cast<long>(m_t.timeouts.ConnectTimeout)
                                                     : stallSeconds * 1000L);
}

void TupWorker::setHeaders(CURL* easy, bool lengthQuery) {
    m_headerList.clear();
    m_headerList.add("Accept: " + m_t.acceptTypes);
    if (m_t.cacheOptions.count(coPragmaNoCache) != 0) m_headerList.add("Pragma: no-cache");
    for (const std::string& line : m_t.additionalHeaders)
        if (!trimmed(line).empty()) m_headerList.add(trimmed(line));
    if (lengthQuery) {
        m_headerList.add("Range: bytes=0-");
    } else if (m_t.resumeOffset > 0 || m_t.rangeEnd > 0) {
        m_headerList.add("Range: bytes=" + std::to_string(m_t.resumeOffset) + "-" +
                         (m_t.rangeEnd > 0 ? std::to_string(m_t.rangeEnd) : std::string{}));
    }
    if (m_t.post && !lengthQuery) {
        m_headerList.add("Content-Type: application/x-www-form-urlencoded");
        m_headerList.add("Expect:");
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_t.postData.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, m_t.postData.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headerList.head());
}

void TupWorker::setCallbacks(CURL* easy) {
    curl_easy_setopt(
        easy, CURLOPT_BUFFERSIZE,
        std::clamp<long>(static_cast<long>(std::min<std::size_t>(m_t.bufferSize, kMaxCurlBuffer)),
                         kMinCurlBuffer, kMaxCurlBuffer));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TupWorker::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TupWorker::onWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &TupWorker::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
}

}  // namespace korvex
