// The receiving of TupWorker: the answer's headers (redirects, the length query, the password
// questions, OnHeaderInfo), the output it is written to, and its chunks with their progress.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/ascii_text.h"
#include "update/engine/worker.h"

namespace korvex {

namespace {

// A memory output is pre-sized to the announced length, but never beyond this: a server's
// Content-Length alone must not make the program claim gigabytes.
constexpr std::int64_t kMaxPresize = 16LL * 1024 * 1024;
constexpr std::size_t kFileBuffer = 64 * 1024;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (korvex::lowerAscii(text[i]) != korvex::lowerAscii(prefix[i])) return false;
    return true;
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

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The realm of a WWW-Authenticate challenge: what follows the first `="`, without the text's last
// character.
std::string realmOf(const std::string& challenge) {
    const std::size_t start = challenge.find("=\"");
    if (start == std::string::npos) return {};
    std::string realm = challenge.substr(start + 2);
    if (!realm.empty()) realm.pop_back();
    return realm;
}

}  // namespace

std::optional<std::string> TupWorker::Answer::header(std::string_view name) const {
    for (std::size_t i = 1; i < lines->size(); ++i) {
        const std::string& line = (*lines)[i];
        if (line.size() > name.size() && line[name.size()] == ':' && startsWithNoCase(line, name))
            return trimmed(std::string_view(line).substr(name.size() + 1));
    }
    return std::nullopt;
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
    Answer answer{-1, &m_headerLines};
    const std::string& statusLine = m_headerLines.front();
    const std::size_t space = statusLine.find(' ');
    if (space != std::string::npos)
        answer.status = static_cast<int>(parseLength(statusLine.substr(space + 1)));
    if (answer.status < 200 || followsRedirect(answer)) {  // an interim answer or a redirect: another follows
        m_headerLines.clear();
        return true;
    }
    if (m_lengthQuery) return lengthKnown(answer);
    m_t.status = answer.status;
    if (answer.status == 416 && m_t.resumeOffset > 0) {
        m_stop = Stop::Restart;
        return false;
    }
    if (!credentialsAnswered(answer)) return false;
    m_t.contentLength = answer.header("Content-Length") ? parseLength(*answer.header("Content-Length")) : 0;
    if (!answer.header("Content-Range")) m_t.resumeOffset = 0;
    // A memory body announced longer than it may grow is not read at all.
    if (m_t.outputFileName.empty() && isSuccessStatus(answer.status) && m_t.maxMemoryBody > 0 &&
        m_t.contentLength > m_t.maxMemoryBody) {
        m_t.tooLarge = true;
        return false;
    }
    if (!headerInfoAccepted(answer)) return false;
    if (!openOutput()) {
        m_stop = Stop::OutputFailed;
        return false;
    }
    m_headersDone = true;
    return true;
}

// A redirect libcurl follows (reported to OnRedirect on the way).
bool TupWorker::followsRedirect(const Answer& answer) {
    const std::optional<std::string> location = answer.header("Location");
    if (m_t.internetOptions.count(ioNoAutoRedirect) != 0 || !location || location->empty() ||
        !isRedirectStatus(answer.status))
        return false;
    if (m_t.wantRedirect && m_engine.OnRedirect) m_engine.OnRedirect(m_engine, *location);
    m_t.redirected = true;
    return true;
}

// The answer to the length query: the whole length, from Content-Range or else Content-Length.
bool TupWorker::lengthKnown(const Answer& answer) {
    m_queriedLength = answer.header("Content-Length") ? parseLength(*answer.header("Content-Length")) : 0;
    if (const auto range = answer.header("Content-Range")) {
        const std::size_t slash = range->rfind('/');
        if (slash != std::string::npos) m_queriedLength = parseLength(range->substr(slash + 1));
    }
    m_stop = Stop::LengthKnown;
    return false;
}

// A 401 or 407 whose handler asks to try again sends the request again (false, m_stop Retry).
bool TupWorker::credentialsAnswered(const Answer& answer) {
    if (answer.status == 401 && m_t.wantPassword) {
        return askToRetry([realm = realmOf(answer.header("WWW-Authenticate").value_or(""))](
                              TupCustomHTTP& engine, TupTransfer& transfer, bool& tryAgain) {
            if (engine.OnPasswordRequest) engine.OnPasswordRequest(engine, realm, tryAgain);
            transfer.username = engine.HTTPUsername();
            transfer.password = engine.HTTPPassword();
        });
    }
    if (answer.status == 407 && m_t.wantProxyAuthentication) {
        return askToRetry([](TupCustomHTTP& engine, TupTransfer& transfer, bool& tryAgain) {
            if (engine.OnProxyAuthenticationRequest)
                engine.OnProxyAuthenticationRequest(engine, engine.Proxy.ProxyUsername,
                                                    engine.Proxy.ProxyPassword, tryAgain);
            transfer.proxy.ProxyUsername = engine.Proxy.ProxyUsername;
            transfer.proxy.ProxyPassword = engine.Proxy.ProxyPassword;
        });
    }
    return true;
}

// Asks on the user-interface thread; false ends this send: given up meanwhile, or to be retried.
bool TupWorker::askToRetry(RetryQuestion question) {
    auto tryAgain = std::make_shared<bool>(false);
    if (!m_thread.Synchronize([engine = &m_engine, shared = m_transferOwner, tryAgain,
                               question = std::move(question)] { question(*engine, *shared, *tryAgain); }))
        return false;
    if (!*tryAgain) return true;
    m_stop = Stop::Retry;
    return false;
}

// The headers as TupHeaderInfo; with an OnHeaderInfo handler, the rest of them and its verdict.
bool TupWorker::headerInfoAccepted(const Answer& answer) {
    TupHeaderInfo& info = m_t.headers;
    info = TupHeaderInfo{};
    info.StatusCode = answer.status;
    info.ContentType = answer.header("Content-Type").value_or("");
    info.ContentLength = m_t.contentLength + m_t.resumeOffset;
    if (!m_t.wantHeaderInfo) return true;
    for (const std::string& line : m_headerLines) info.RawHeaders += line + "\r\n";
    info.ContentLanguage = answer.header("Content-Language").value_or("");
    info.ContentEncoding = answer.header("Content-Encoding").value_or("");
    info.Location = answer.header("Location").value_or("");
    info.ETag = answer.header("ETag").value_or("");
    info.Date = parseHeaderDate(answer.header("Date").value_or(""));
    info.LastModified = parseHeaderDate(answer.header("Last-Modified").value_or(""));
    info.Expires = parseHeaderDate(answer.header("Expires").value_or(""));
    if (!m_thread.Synchronize([engine = &m_engine, shared = m_transferOwner] {
            bool keepOn = true;
            if (engine->OnHeaderInfo) engine->OnHeaderInfo(*engine, shared->headers, keepOn);
            shared->continueFlag = keepOn;
        }))
        return false;
    if (m_t.continueFlag) return true;
    m_stop = Stop::Declined;
    return false;
}

bool TupWorker::openOutput() {
    std::lock_guard lock(m_t.outputMutex);
    if (m_t.closed) return false;
    m_t.stream.clear();
    if (isSuccessStatus(m_t.status) && !m_t.outputFileName.empty()) return openOutputFile();
    m_t.fileName.clear();
    std::int64_t presize = std::clamp<std::int64_t>(m_t.contentLength, 0, kMaxPresize);
    if (m_t.maxMemoryBody > 0) presize = std::min(presize, m_t.maxMemoryBody);
    m_t.stream.reserve(static_cast<std::size_t>(presize));
    return true;
}

// Under the output mutex. Never through a link: a fresh file replaces whatever has its name (a link
// planted there is removed, not followed), and a file resumed must be a regular file of its own.
bool TupWorker::openOutputFile() {
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
    applyFileAttributes(path, m_t.attributes.Incomplete);
    return true;
}

bool TupWorker::deliverChunk(const char* data, std::size_t size) {
    while (size > 0) {
        if (check()) return false;
        const std::size_t count = std::min(size, m_t.bufferSize);
        if (!storeChunk(data, count)) return false;
        m_t.bytesRead += static_cast<std::int64_t>(count);
        data += count;
        size -= count;
        if (m_t.wantProgress && !reportProgress()) return false;
    }
    return true;
}

bool TupWorker::storeChunk(const char* data, std::size_t count) {
    std::lock_guard lock(m_t.outputMutex);
    if (m_t.closed) return false;
    if (m_t.file != nullptr) {
        if (std::fwrite(data, 1, count, m_t.file) == count) return true;
        m_t.outputFailed = true;
        m_t.outputError = m_t.fileName + ": " + std::strerror(errno);
        return false;
    }
    if (m_t.maxMemoryBody > 0 && static_cast<std::int64_t>(m_t.stream.size() + count) > m_t.maxMemoryBody) {
        // Never past the cap: an error page keeps its beginning, an info file is refused.
        m_t.stream.append(data, static_cast<std::size_t>(m_t.maxMemoryBody) - m_t.stream.size());
        m_t.tooLarge = true;
        return false;
    }
    m_t.stream.append(data, count);
    return true;
}

bool TupWorker::reportProgress() {
    return m_thread.Synchronize([engine = &m_engine, shared = m_transferOwner] {
        const TupTransfer& t = *shared;
        const double elapsed =
            std::floor(std::chrono::duration<double>(SteadyClock::now() - t.startTick).count());
        TupProgressInfo info;
        info.ContentType = t.headers.ContentType;
        info.TotalSize = t.contentLength + t.resumeOffset;
        info.BytesRead = t.bytesRead + t.resumeOffset;
        info.ElapsedTime = static_cast<int>(elapsed);
        if (info.TotalSize > 0)
            info.PercentDone = static_cast<std::uint8_t>(std::lround(
                100.0 * static_cast<double>(info.BytesRead) / static_cast<double>(info.TotalSize)));
        if (t.bytesRead > 0)
            info.EstimatedTimeLeft =
                static_cast<int>(std::lround(static_cast<double>(t.contentLength) /
                                             static_cast<double>(t.bytesRead) * elapsed) -
                                 static_cast<long>(elapsed));
        const double kilobytes = static_cast<double>(t.bytesRead) / 1024.0;
        info.TransferRate = static_cast<float>(elapsed > 0 ? kilobytes / elapsed : kilobytes);
        info.Stream = t.fileName.empty() ? &t.stream : nullptr;
        if (engine->OnProgress) engine->OnProgress(*engine, info);
    });
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

}  // namespace korvex
