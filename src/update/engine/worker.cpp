// The send loop of TupWorker: an address read from a local file, or sent over libcurl until an
// answer ends the transfer; a retry asked for by a password handler and the length query after a
// 416 stay within the same worker.
#include "update/engine/worker.h"

#include <sys/stat.h>

#include <memory>

#include "net/curl_library.h"

namespace korvex {

namespace {

struct CurlEasyDeleter {
    void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

}  // namespace

bool TupWorker::check() {
    if (!m_thread.Terminated()) return false;
    m_t.aborted = true;
    return true;
}

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
        if (m_t.resumeOffset > info.st_size ||
            std::fseek(input, static_cast<long>(m_t.resumeOffset), SEEK_SET) != 0)
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
    m_t.success =
        ok && isSuccessStatus(m_t.status) && (m_t.contentLength == 0 || m_t.bytesRead == m_t.contentLength);
}

void TupWorker::runHttp(const TupUrlParts& parts) {
    if (m_t.workOffline) return;  // offline: nothing is asked of the network, no status
    CurlLibrary::instance();
    CurlEasy easy(curl_easy_init());
    if (!easy) return;
    for (;;) {
        if (check()) return;
        const CURLcode result = send(easy.get(), parts);
        if (abandoned()) return;
        if (check()) return;
        switch (m_stop) {
            case Stop::Retry:
                continue;
            case Stop::Restart:
                if (lengthQueryEnds(easy.get(), parts)) return;
                continue;
            case Stop::Declined:
                m_t.continueFlag = false;
                return;
            case Stop::OutputFailed:
                m_t.outputFailed = true;
                return;
            case Stop::None:
            case Stop::LengthKnown:
                break;
        }
        if (result == CURLE_OPERATION_TIMEDOUT) m_t.timedOut = true;
        // The address itself is http or https: only a redirect can have led elsewhere.
        if (result == CURLE_UNSUPPORTED_PROTOCOL && m_t.redirected) m_t.redirectRefused = true;
        // A broken connection is a broken body, whether or not a length was announced.
        m_t.success = result == CURLE_OK && isSuccessStatus(m_t.status) &&
                      (m_t.contentLength == 0 || m_t.bytesRead == m_t.contentLength);
        return;
    }
}

CURLcode TupWorker::send(CURL* easy, const TupUrlParts& parts) {
    configure(easy, parts, false);
    m_stop = Stop::None;
    m_headersDone = false;
    m_headerLines.clear();
    m_t.status = -1;
    m_t.redirected = false;
    return curl_easy_perform(easy);
}

bool TupWorker::lengthQueryEnds(CURL* easy, const TupUrlParts& parts) {
    configure(easy, parts, true);
    m_lengthQuery = true;
    m_queriedLength = -1;
    m_stop = Stop::None;
    m_headerLines.clear();
    curl_easy_perform(easy);
    m_lengthQuery = false;
    if (abandoned()) return true;
    if (check()) return true;
    if (m_queriedLength == m_t.resumeOffset) {
        m_t.status = 206;
        m_t.contentLength = 0;
        m_t.success = true;
        return true;
    }
    m_t.resumeOffset = 0;
    return false;
}

}  // namespace korvex
