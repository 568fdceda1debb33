#include "update/engine/http.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/curl_library.h"
#include "update/engine/transfer.h"
#include "update/engine/worker.h"

namespace korvex {

void applyFileAttributes(const std::string& path, const TupFileAttributes& attributes) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    mode_t mode = info.st_mode & 07777;
    mode = attributes.count(atrReadOnly) != 0 ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
    if (mode != (info.st_mode & 07777)) ::chmod(path.c_str(), mode);
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
        applyFileAttributes(transfer.fileName, transfer.attributes.Incomplete);
        if (deleteOutput) std::remove(transfer.fileName.c_str());
    }
    transfer.stream.clear();
    transfer.stream.shrink_to_fit();
}

bool TupCustomHTTP::Start(bool wait) {
    if (m_busy) return false;
    const std::shared_ptr<TupTransfer> t = newTransfer();
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
    if (wait || m_thread.WaitThread) waitFor(t);
    return true;
}

std::shared_ptr<TupTransfer> TupCustomHTTP::newTransfer() const {
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
    return t;
}

void TupCustomHTTP::waitFor(const std::shared_ptr<TupTransfer>& t) {
    bool expired = false;
    int timer = 0;
    if (m_thread.WaitTimeout > 0)
        timer = m_dispatcher.startTimer(m_thread.WaitTimeout, [&expired] { expired = true; });
    m_dispatcher.waitUntil([&] { return t->ended || expired; });
    if (timer != 0) m_dispatcher.stopTimer(timer);
    if (t->ended || !expired) return;
    bool terminate = true;
    if (OnWaitTimeout) OnWaitTimeout(*this, terminate);
    if (terminate && m_transfer == t) {
        m_thread.AbandonCurrent();
        closeAbandoned(*t, false);
        m_busy = false;
    }
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
    std::string fileName;
    {
        std::lock_guard lock(t.outputMutex);
        if (t.closed) return;
        closeOutput(t);
        fileName = t.fileName;
        t.ended = true;
    }
    // The engine is free again before any handler runs: a handler may start the next transfer,
    // and nothing below touches the engine's state, only this transfer.
    if (m_transfer == transfer) m_busy = false;

    if (t.aborted) {
        if (!fileName.empty()) {
            applyFileAttributes(fileName, t.attributes.Incomplete);
            if (t.deleteOutputOnAbort) std::remove(fileName.c_str());
        }
        if (OnAborted) OnAborted(*this);
    } else if (!t.continueFlag) {
        if (OnDeclined) OnDeclined(*this);
    } else {
        notifyOutcome(t, fileName);
        if (OnAfterTransfer) OnAfterTransfer(*this);
    }
    t.stream.clear();
    t.stream.shrink_to_fit();
}

// Under the output mutex. The last part of the buffer is written here: its failure is a write
// failure like any.
void TupCustomHTTP::closeOutput(TupTransfer& t) {
    if (t.file == nullptr) return;
    if (std::fclose(t.file) != 0 && !t.aborted && !t.outputFailed) {
        t.outputFailed = true;
        t.success = false;
        t.outputError = t.fileName + ": " + std::strerror(errno);
    }
    t.file = nullptr;
}

// Exactly one of Done, OutputError (or HTTPError), HostUnreachable, ConnectionLost, HTTPError.
void TupCustomHTTP::notifyOutcome(TupTransfer& t, const std::string& fileName) {
    const std::string* stream = fileName.empty() ? &t.stream : nullptr;
    if (t.success) {
        if (!fileName.empty() && t.attributes.Complete != t.attributes.Incomplete)
            applyFileAttributes(fileName, t.attributes.Complete);
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
        if (OnConnectionLost)
            OnConnectionLost(*this, t.headers.ContentType, t.contentLength, t.bytesRead, stream);
    } else {
        if (OnHTTPError) OnHTTPError(*this, t.status, stream);
    }
}

int TupCustomHTTP::StatusCode() const {
    return m_transfer ? m_transfer->status : -1;
}
std::int64_t TupCustomHTTP::ContentLength() const {
    return m_transfer ? m_transfer->contentLength : 0;
}
std::int64_t TupCustomHTTP::BytesRead() const {
    return m_transfer ? m_transfer->bytesRead : 0;
}
std::int64_t TupCustomHTTP::ResumeOffset() const {
    return m_transfer ? m_transfer->resumeOffset : 0;
}
bool TupCustomHTTP::TimedOut() const {
    return m_transfer && m_transfer->timedOut;
}
bool TupCustomHTTP::RedirectRefused() const {
    return m_transfer && m_transfer->redirectRefused;
}
bool TupCustomHTTP::BodyTooLarge() const {
    return m_transfer && m_transfer->tooLarge;
}

}  // namespace korvex
