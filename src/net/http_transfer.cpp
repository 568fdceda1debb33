#include "net/http_transfer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <thread>
#include <utility>

#include "net/curl_library.h"

namespace korvex {

namespace {

// Re-entry of a threaded transfer is reported with code 7, libcurl's "couldn't connect".
constexpr CURLcode kReentryCode = CURLE_COULDNT_CONNECT;
constexpr const char* kReentryText = "Transfer already in progress, cannot re-enter thread.";

// libcurl's answer for a multi-interface failure, as curl_easy_perform would give it.
CURLcode toEasyCode(CURLMcode code) {
    switch (code) {
        case CURLM_OK:
            return CURLE_OK;
        case CURLM_OUT_OF_MEMORY:
            return CURLE_OUT_OF_MEMORY;
        case CURLM_RECURSIVE_API_CALL:
            return CURLE_RECURSIVE_API_CALL;
        default:
            return CURLE_BAD_FUNCTION_ARGUMENT;
    }
}

std::int32_t clampToInt32(curl_off_t value) {
    return static_cast<std::int32_t>(std::clamp<curl_off_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// THttpTransferBase

THttpTransferBase::~THttpTransferBase() {
    if (!m_worker.joinable()) return;
    {
        std::lock_guard lock(m_workerMutex);
        m_quit = true;
    }
    m_jobSignal.notify_one();
    m_worker.join();
}

void THttpTransferBase::setWaitInterval(std::int32_t value) noexcept {
    m_waitInterval = value < 0 ? kDefaultWaitInterval : value;
}

int THttpTransferBase::runTransfer(const std::function<int()>& transfer,
                                   const std::function<void()>& abortTransfer) {
    if (m_threaded) return runThreaded(transfer, abortTransfer);
    struct BusyScope {
        std::atomic<bool>& busy;
        explicit BusyScope(std::atomic<bool>& flag) : busy(flag) {
            busy.store(true, std::memory_order_release);
        }
        ~BusyScope() { busy.store(false, std::memory_order_release); }
    } scope(m_busy);
    return transfer();
}

int THttpTransferBase::runThreaded(const std::function<int()>& transfer,
                                   const std::function<void()>& abortTransfer) {
    if (!m_worker.joinable()) m_worker = std::thread([this] { workerLoop(); });
    m_busy.store(true, std::memory_order_release);
    {
        std::lock_guard lock(m_workerMutex);
        m_job = &transfer;
        m_done = false;
    }
    m_jobSignal.notify_one();
    const auto waitForEnd = [this](std::chrono::milliseconds interval) {
        std::unique_lock lock(m_workerMutex);
        return m_doneSignal.wait_for(lock, interval, [this] { return m_done; });
    };
    try {
        bool done = false;
        do {
            done = waitForEnd(std::chrono::milliseconds(m_waitInterval));
            if (m_onWait) m_onWait(*this);
        } while (!done);
    } catch (...) {
        abortTransfer();
        while (!waitForEnd(std::chrono::hours(1))) {
        }
        throw;
    }
    std::lock_guard lock(m_workerMutex);
    return m_result;
}

void THttpTransferBase::workerLoop() {
    std::unique_lock lock(m_workerMutex);
    for (;;) {
        m_jobSignal.wait(lock, [this] { return m_job != nullptr || m_quit; });
        if (m_quit) return;
        const std::function<int()>& job = *m_job;
        lock.unlock();
        const int result = job();
        lock.lock();
        m_job = nullptr;
        m_result = result;
        m_done = true;
        m_busy.store(false, std::memory_order_release);
        // Notified after unlocking, so that the woken caller does not block on the mutex at once.
        // The condition variable outlives this call: the component's destructor joins this thread.
        lock.unlock();
        m_doneSignal.notify_one();
        lock.lock();
    }
}

// ---------------------------------------------------------------------------------------------
// THttpTransfer: construction

THttpTransfer::THttpTransfer() {
    const CurlLibrary& library = CurlLibrary::instance();
    m_handle.reset(curl_easy_init());
    m_multi.reset(curl_multi_init());
    if (!m_handle || !m_multi) {
        m_resultCode = CURLE_FAILED_INIT;
        throw EHttpTransferError(CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
    }
    CURL* handle = m_handle.get();
    setOption(CURLOPT_COOKIEFILE, "");  // the cookie engine runs from now on, reading no file
    setOption(CURLOPT_PRIVATE, static_cast<void*>(this));
    setOption(CURLOPT_ERRORBUFFER, m_errorText);
    curl_slist* engines = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_SSL_ENGINES, &engines) == CURLE_OK) {
        m_sslEngines = THttpReadOnlyList(CurlStringList(engines));
    }
    setOption(CURLOPT_FOLLOWLOCATION, 1L);
    setOption(CURLOPT_AUTOREFERER, 1L);
    setOption(CURLOPT_MAXREDIRS, 25L);
    if (!library.caBundlePath().empty()) {
        setOption(CURLOPT_CAINFO, library.caBundlePath().c_str());
        setOption(CURLOPT_CAPATH, library.caDirectory().c_str());
    }
    m_cookies = std::make_unique<THttpCookieList>(handle);
}

THttpTransfer::~THttpTransfer() {
    m_destroying = true;
    m_cookies.reset();
    m_handle.reset();  // libcurl writes the cookie jar, when one is set, at this point
    m_multi.reset();
}

// ---------------------------------------------------------------------------------------------
// Failure recording

void THttpTransfer::recordFailure(CURLcode code, CURLoption option) {
    if (code == CURLE_OK || m_resultCode != 0) return;  // the first failure wins
    m_resultCode = code;
    const std::string text = std::string("Error: ") + curl_easy_strerror(code) + " setting option #" +
                             std::to_string(static_cast<int>(option));
    std::memset(m_errorText, 0, sizeof m_errorText);
    text.copy(m_errorText, sizeof m_errorText - 1);
}

void THttpTransfer::recordOwnFailure(CURLcode code, std::string_view text) {
    m_resultCode = code;
    std::memset(m_errorText, 0, sizeof m_errorText);
    text.copy(m_errorText, sizeof m_errorText - 1);
}

void THttpTransfer::clearFailure() noexcept {
    m_resultCode = 0;
    std::memset(m_errorText, 0, sizeof m_errorText);
}

template <typename Value>
void THttpTransfer::setOption(CURLoption option, Value value) {
    recordFailure(curl_easy_setopt(m_handle.get(), option, value), option);
}

void THttpTransfer::applyText(OwnedText& text, CURLoption option, std::string_view value) {
    text.assign(value);
    setOption(option, text.c_str());
}

// ---------------------------------------------------------------------------------------------
// Properties

void THttpTransfer::setURL(std::string_view value) {
    applyText(m_url, CURLOPT_URL, value);
}

void THttpTransfer::setProxy(std::string_view value) {
    applyText(m_proxy, CURLOPT_PROXY, value);
}

void THttpTransfer::setUserPwd(std::string_view value) {
    applyText(m_userPwd, CURLOPT_USERPWD, value);
}

void THttpTransfer::setReferer(std::string_view value) {
    applyText(m_referer, CURLOPT_REFERER, value);
}

void THttpTransfer::setUserAgent(std::string_view value) {
    applyText(m_userAgent, CURLOPT_USERAGENT, value);
}

void THttpTransfer::setCookieJar(std::string_view value) {
    applyText(m_cookieJar, CURLOPT_COOKIEJAR, value);
}

void THttpTransfer::setCookieFile(std::string_view value) {
    recordFailure(m_cookies->clear(), CURLOPT_COOKIELIST);
    m_cookies->loadFile(std::string(value));
    m_cookieFile.assign(value);
    // libcurl adds each cookie file to a list that it reads again before every transfer, and only
    // a null file empties that list, switching the engine off as well. So the old file is dropped
    // first, and then the new one is given, or an empty text that keeps the engine running with
    // no file, as at construction: the new file replaces the old one, and no file keeps cookies.
    setOption(CURLOPT_COOKIEFILE, static_cast<const char*>(nullptr));
    setOption(CURLOPT_COOKIEFILE, m_cookieFile.empty() ? "" : m_cookieFile.c_str());
    if (m_cookieJar.empty()) applyText(m_cookieJar, CURLOPT_COOKIEJAR, value);
}

void THttpTransfer::setOutputFile(std::string_view value) {
    m_outputFile.assign(value);
    if (!m_outputFile.empty()) {
        m_receiveTarget = ReceiveTarget::File;
    } else if (m_receiveTarget == ReceiveTarget::File) {
        m_receiveTarget = ReceiveTarget::StandardOutput;
    }
}

void THttpTransfer::setInputFile(std::string_view value) {
    m_inputFile.assign(value);
    if (!m_inputFile.empty()) {
        m_transmitTarget = TransmitTarget::File;
    } else if (m_transmitTarget == TransmitTarget::File) {
        m_transmitTarget = TransmitTarget::StandardInput;
    }
}

void THttpTransfer::setReceiveStream(void* stream) noexcept {
    m_receiveStream = stream;
    if (stream != nullptr) {
        m_receiveTarget = ReceiveTarget::Stream;
    } else if (m_receiveTarget == ReceiveTarget::Stream) {
        m_receiveTarget = ReceiveTarget::StandardOutput;
    }
}

void THttpTransfer::setPostFields(std::string_view value) {
    setOption(CURLOPT_POST, 1L);
    m_postFields.reset();
    setOption(CURLOPT_POSTFIELDSIZE, static_cast<long>(value.size()));
    m_postFields.assign(value);  // a fresh buffer with a zero byte after the body
    setOption(CURLOPT_POSTFIELDS, m_postFields.c_str());
    m_httpGet = false;
}

void THttpTransfer::setHttpGet(bool value) {
    setOption(CURLOPT_HTTPGET, value ? 1L : 0L);
    m_httpGet = value;
}

void THttpTransfer::setProxyPort(std::int32_t value) {
    // A port libcurl refuses leaves the one it goes on using, so the property tells the truth.
    const CURLcode code = curl_easy_setopt(m_handle.get(), CURLOPT_PROXYPORT, static_cast<long>(value));
    recordFailure(code, CURLOPT_PROXYPORT);
    if (code == CURLE_OK) m_proxyPort = value;
}

void THttpTransfer::setConnectTimeout(std::int32_t value) {
    setOption(CURLOPT_CONNECTTIMEOUT, static_cast<long>(value));
    m_connectTimeout = value;
}

void THttpTransfer::setFailOnError(bool value) {
    setOption(CURLOPT_FAILONERROR, value ? 1L : 0L);
    m_failOnError = value;
}

void THttpTransfer::setUpload(bool value) {
    setOption(CURLOPT_UPLOAD, value ? 1L : 0L);
    m_upload = value;
}

void THttpTransfer::setSslVerifyPeer(bool value) {
    setOption(CURLOPT_SSL_VERIFYPEER, value ? 1L : 0L);
    m_sslVerifyPeer = value;
}

void THttpTransfer::setSslVerifyHost(std::int32_t value) {
    if (value < 0 || value > 2) {
        recordFailure(CURLE_SSL_CERTPROBLEM, CURLOPT_SSL_VERIFYHOST);
        return;
    }
    setOption(CURLOPT_SSL_VERIFYHOST, static_cast<long>(value));
    m_sslVerifyHost = value;
}

void THttpTransfer::setOnProgress(THttpProgressEvent handler) {
    m_onProgress = std::move(handler);
    if (m_onProgress) {
        setOption(CURLOPT_XFERINFOFUNCTION, &THttpTransfer::progressRoutine);
        setOption(CURLOPT_XFERINFODATA, static_cast<void*>(this));
        setOption(CURLOPT_NOPROGRESS, 0L);
    } else {
        setOption(CURLOPT_XFERINFOFUNCTION, static_cast<curl_xferinfo_callback>(nullptr));
        setOption(CURLOPT_NOPROGRESS, 1L);
    }
}

void THttpTransfer::setOnDebug(THttpDebugEvent handler) {
    m_onDebug = std::move(handler);
    if (m_onDebug) {
        setOption(CURLOPT_DEBUGFUNCTION, &THttpTransfer::debugRoutine);
        setOption(CURLOPT_DEBUGDATA, static_cast<void*>(this));
        setOption(CURLOPT_VERBOSE, 1L);
    } else {
        setOption(CURLOPT_DEBUGFUNCTION, static_cast<curl_debug_callback>(nullptr));
        setOption(CURLOPT_VERBOSE, 0L);
    }
}

// ---------------------------------------------------------------------------------------------
// Perform

bool THttpTransfer::Perform() {
    if (Busy()) {
        // Called from an event or the wait hook of the transfer in progress. Preparing would
        // change the channels under that transfer, so nothing is touched.
        if (Threaded()) {
            recordOwnFailure(kReentryCode, kReentryText);
            throw EHttpTransferError(kReentryCode, kReentryText);
        }
        recordOwnFailure(CURLE_RECURSIVE_API_CALL, curl_easy_strerror(CURLE_RECURSIVE_API_CALL));
        return false;
    }
    clearFailure();
    m_eventError = nullptr;
    m_abortRequested.store(false);
    if (m_handleTainted) {
        if (!renewHandle()) {
            // Sending on the old handle could carry the earlier transfer's credentials.
            recordOwnFailure(CURLE_OUT_OF_MEMORY, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
            return false;
        }
        m_handleTainted = false;
    }
    try {
        prepare();
        if (m_resultCode == 0) {
            const int answer = runTransfer(
                [this] {
                    const int result = transfer();
                    if (result == CURLE_OK) m_pinLearned = learnPin();
                    return result;
                },
                [this] { requestAbort(); });
            m_resultCode = answer;
            if (answer != CURLE_OK) m_handleTainted = true;
            if (answer != CURLE_OK && m_errorText[0] == '\0') {
                recordOwnFailure(static_cast<CURLcode>(answer),
                                 curl_easy_strerror(static_cast<CURLcode>(answer)));
            }
            settlePin(answer);
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (m_eventError) std::rethrow_exception(std::exchange(m_eventError, nullptr));
    return m_resultCode == 0;
}

void THttpTransfer::runAbortable(const std::function<void(const std::atomic<bool>& stop)>& work) {
    if (Busy()) throw EHttpTransferError(kReentryCode, kReentryText);
    m_abortRequested.store(false);
    std::exception_ptr error;
    runTransfer(
        [&] {
            try {
                work(m_abortRequested);
            } catch (...) {
                error = std::current_exception();
            }
            return 0;
        },
        [this] { requestAbort(); });
    if (error) std::rethrow_exception(error);
}

void THttpTransfer::requestAbort() noexcept {
    if (!Busy()) return;
    m_abortRequested.store(true);
    curl_multi_wakeup(m_multi.get());
}

void THttpTransfer::prepare() {
    setOption(CURLOPT_HTTPHEADER, m_customHeaders.head());
    setOption(CURLOPT_QUOTE, m_quote.head());
    setOption(CURLOPT_POSTQUOTE, m_postQuote.head());
    setOption(CURLOPT_PREQUOTE, m_preQuote.head());
    setOption(CURLOPT_TELNETOPTIONS, m_telnetOptions.head());
    setOption(CURLOPT_HTTP200ALIASES, m_http200Aliases.head());
    if (m_multipartForm.count() > 0) {
        const CURLcode built = m_multipartForm.build(m_handle.get());
        if (built == CURLE_OK) {
            setOption(CURLOPT_MIMEPOST, m_multipartForm.body());
        } else if (built == CURLE_READ_ERROR) {
            recordOwnFailure(CURLE_READ_ERROR, "Unable to open POST input file");
        } else {
            recordOwnFailure(built, curl_easy_strerror(built));
        }
    }
    recordFailure(m_cookies->handOver(), CURLOPT_COOKIELIST);
    if (m_upload) {
        prepareTransmitChannel();
    } else {
        prepareReceiveChannel();
    }
    if (m_onHeader) {
        setOption(CURLOPT_HEADERFUNCTION, &THttpTransfer::headerRoutine);
        setOption(CURLOPT_HEADERDATA, static_cast<void*>(this));
    } else {
        setOption(CURLOPT_HEADERFUNCTION, static_cast<curl_write_callback>(nullptr));
        setOption(CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
    }
    if (m_url.empty()) recordOwnFailure(CURLE_URL_MALFORMAT, "NULL or empty URL.");
    preparePin();
}

void THttpTransfer::preparePin() {
    m_pinOrigin = m_pins != nullptr ? pinOrigin(m_url.str()) : std::string();
    m_pinExpected = m_pinOrigin.empty() ? std::string() : m_pins->pinOf(m_pinOrigin);
    m_pinLearned.clear();
    if (!m_pinOrigin.empty() && !m_pins->loadError().empty()) {
        // Fail closed: without the pins no portal's key can be told from a forged one.
        recordOwnFailure(CURLE_SSL_CACERT_BADFILE,
                         "the pinned certificates cannot be read: " + m_pins->loadError());
        m_pinOrigin.clear();
        return;
    }
    // Set for every transfer, so that no pin of an earlier portal holds for this one. The
    // certificate information shows the key a portal presented, also when it does not match.
    setOption(CURLOPT_PINNEDPUBLICKEY, m_pinExpected.empty() ? nullptr : m_pinExpected.c_str());
    setOption(CURLOPT_CERTINFO, m_pinOrigin.empty() ? 0L : 1L);
}

std::string THttpTransfer::learnPin() {
    if (m_pinOrigin.empty() || !m_pinExpected.empty()) return {};
    CURL* handle = m_handle.get();
    char* effective = nullptr;
    long redirects = 0;
    curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &effective);
    curl_easy_getinfo(handle, CURLINFO_REDIRECT_COUNT, &redirects);
    // Without a redirect the certificate information is the portal's own handshake. After
    // redirects it may be another site's, so the portal's key is asked for by a handshake of its
    // own (once: from then on the portal has its pin).
    if (redirects == 0 && effective != nullptr && pinOrigin(effective) == m_pinOrigin) {
        std::string pin = presentedPin(handle);
        if (!pin.empty()) return pin;
    }
    return fetchPresentedKey(m_pinOrigin, m_proxy.str(), m_proxyPort, m_connectTimeout, &m_abortRequested).pin;
}

void THttpTransfer::settlePin(int answer) {
    if (m_pinOrigin.empty()) return;
    if (answer == CURLE_OK) {
        if (m_pinLearned.empty()) return;
        // Another transfer may have pinned the portal while this one ran (a parallel run): a key
        // other than the one it pinned is reported like any changed key.
        const std::string held = m_pins->pinIfNew(m_pinOrigin, m_pinLearned);
        if (held != m_pinLearned) m_pins->noteMismatch({m_pinOrigin, held, m_pinLearned});
        return;
    }
    if (answer != CURLE_SSL_PINNEDPUBKEYNOTMATCH) return;
    char* effective = nullptr;
    curl_easy_getinfo(m_handle.get(), CURLINFO_EFFECTIVE_URL, &effective);
    const std::string reached = effective != nullptr ? pinOrigin(effective) : std::string();
    if (reached != m_pinOrigin) {
        // A redirect to another site, whose key cannot be the portal's: not a changed key.
        recordOwnFailure(CURLE_SSL_PINNEDPUBKEYNOTMATCH,
                         "the portal " + m_pinOrigin + " sent the request on to " +
                             (reached.empty() ? std::string("another site") : reached) +
                             ", whose certificate is not the portal's; nothing was sent there");
        return;
    }
    const std::string presented = presentedPin(m_handle.get());
    m_pins->noteMismatch({m_pinOrigin, m_pinExpected, presented});
    recordOwnFailure(CURLE_SSL_PINNEDPUBKEYNOTMATCH,
                     "the certificate of " + m_pinOrigin + " has changed (pinned " + m_pinExpected + ", now " +
                         (presented.empty() ? std::string("another key") : presented) + "); nothing was sent");
}

void THttpTransfer::prepareReceiveChannel() {
    if (m_onReceive) {
        if (m_receiveTarget == ReceiveTarget::File) {
            m_outputStream.reset(std::fopen(m_outputFile.c_str(), "wb"));
            if (!m_outputStream) recordOwnFailure(CURLE_WRITE_ERROR, "Error writing to file");
        }
        setOption(CURLOPT_WRITEFUNCTION, &THttpTransfer::receiveRoutine);
        setOption(CURLOPT_WRITEDATA, static_cast<void*>(this));
        return;
    }
    // Default mode: libcurl's own fwrite() into a C stream.
    std::FILE* stream = nullptr;
    switch (m_receiveTarget) {
        case ReceiveTarget::Stream:
            stream = static_cast<std::FILE*>(m_receiveStream);
            if (stream == nullptr) {
                recordOwnFailure(CURLE_WRITE_ERROR, "Invalid receive stream for internal callback");
            }
            break;
        case ReceiveTarget::File:
            m_outputStream.reset(std::fopen(m_outputFile.c_str(), "wb"));
            stream = m_outputStream.get();
            if (stream == nullptr) recordOwnFailure(CURLE_WRITE_ERROR, "Error writing to local file");
            break;
        case ReceiveTarget::StandardOutput:
            stream = stdout;
            break;
    }
    setOption(CURLOPT_WRITEFUNCTION, static_cast<curl_write_callback>(nullptr));
    setOption(CURLOPT_WRITEDATA, static_cast<void*>(stream));
}

void THttpTransfer::prepareTransmitChannel() {
    // An upload's answer goes to standard output: the receive channel is not set up for it, and
    // a stream left from an earlier download may since have been closed.
    setOption(CURLOPT_WRITEFUNCTION, static_cast<curl_write_callback>(nullptr));
    setOption(CURLOPT_WRITEDATA, static_cast<void*>(stdout));
    if (m_onTransmit) {
        if (m_transmitTarget == TransmitTarget::File) {
            m_inputStream.reset(std::fopen(m_inputFile.c_str(), "rb"));
            if (!m_inputStream) recordOwnFailure(CURLE_READ_ERROR, "Error reading file");
        }
        setOption(CURLOPT_READFUNCTION, &THttpTransfer::transmitRoutine);
        setOption(CURLOPT_READDATA, static_cast<void*>(this));
        return;
    }
    std::FILE* stream = stdin;
    if (m_transmitTarget == TransmitTarget::File) {
        m_inputStream.reset(std::fopen(m_inputFile.c_str(), "rb"));
        stream = m_inputStream.get();
        if (stream == nullptr) recordOwnFailure(CURLE_READ_ERROR, "Error reading local file");
    }
    setOption(CURLOPT_READFUNCTION, static_cast<curl_read_callback>(nullptr));
    setOption(CURLOPT_READDATA, static_cast<void*>(stream));
}

int THttpTransfer::transfer() {
    // The easy handle runs on the component's own multi handle, so that a transfer waiting for
    // the network can be woken by requestAbort() at once; apart from that this is what
    // curl_easy_perform does, and connections are kept for the next transfer the same way.
    CURLM* multi = m_multi.get();
    CURL* handle = m_handle.get();
    CURLMcode state = curl_multi_add_handle(multi, handle);
    if (state != CURLM_OK) return toEasyCode(state);
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        state = curl_multi_perform(multi, &running);
        if (state != CURLM_OK) {
            result = toEasyCode(state);
            break;
        }
        bool done = false;
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == handle) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || running == 0) break;
        // Checked after each step rather than before: an event handler may have asked for the
        // abort during the step, and the wait below would otherwise keep it waiting.
        if (m_abortRequested.load()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        state = curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        if (state != CURLM_OK) {
            result = toEasyCode(state);
            break;
        }
    }
    curl_multi_remove_handle(multi, handle);
    return result;
}

// libcurl keeps, in the easy handle, what a transfer builds on its way and drops only when the
// request goes out. The Authorization header of the account is built while a proxy tunnel is being
// set up; a transfer that ends before its request is sent (stopped, a proxy that refuses or never
// answers the tunnel, a failed TLS handshake behind it) leaves that header in the handle, and the
// next request sends it whatever UserPwd says by then, to whatever site it goes. Options and
// cookies are what the component means to keep, so after such a transfer it goes on with a fresh
// handle that has those and nothing else.
bool THttpTransfer::renewHandle() {
    CURL* old = m_handle.get();
    CURL* fresh = curl_easy_duphandle(old);
    if (fresh == nullptr) return false;
    // A copy takes the options but not the cookies received so far.
    curl_slist* cookies = nullptr;
    if (curl_easy_getinfo(old, CURLINFO_COOKIELIST, &cookies) == CURLE_OK) {
        for (const curl_slist* line = cookies; line != nullptr; line = line->next)
            curl_easy_setopt(fresh, CURLOPT_COOKIELIST, line->data);
        curl_slist_free_all(cookies);
    }
    // The old handle goes quietly: no jar written (the fresh handle writes it at the end), no
    // verbose output, nothing into the error text.
    curl_easy_setopt(old, CURLOPT_COOKIEJAR, static_cast<const char*>(nullptr));
    curl_easy_setopt(old, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(old, CURLOPT_DEBUGFUNCTION, static_cast<curl_debug_callback>(nullptr));
    curl_easy_setopt(old, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
    m_handle.reset(fresh);
    m_cookies->rebind(fresh);
    return true;
}

void THttpTransfer::finish() {
    const int answer = m_resultCode;
    if (m_outputStream && std::fclose(m_outputStream.release()) != 0 && answer == 0)
        m_resultCode = CURLE_WRITE_ERROR;
    if (m_inputStream && std::fclose(m_inputStream.release()) != 0 && answer == 0)
        m_resultCode = CURLE_READ_ERROR;
}

// ---------------------------------------------------------------------------------------------
// libcurl's callbacks. An exception must not cross libcurl's C frames: a handler's exception is
// kept, the transfer is ended, and Perform() throws it again.

std::size_t THttpTransfer::receiveRoutine(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto& self = *static_cast<THttpTransfer*>(userdata);
    const std::size_t len = size * count;
    bool bContinue = true;
    try {
        if (self.m_onReceive) self.m_onReceive(self, data, static_cast<std::uint32_t>(len), bContinue);
    } catch (...) {
        self.m_eventError = std::current_exception();
        return 0;
    }
    if (!bContinue) return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
    if (self.m_receiveTarget == ReceiveTarget::File && self.m_outputStream) {
        return std::fwrite(data, 1, len, self.m_outputStream.get());
    }
    return len;
}

std::size_t THttpTransfer::headerRoutine(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto& self = *static_cast<THttpTransfer*>(userdata);
    const std::size_t len = size * count;
    // The line without its line end: everything before the first CR, LF or zero byte.
    const std::string_view raw(data, len);
    const std::string line(raw.substr(0, raw.find_first_of(std::string_view("\r\n\0", 3))));
    bool bContinue = true;
    try {
        if (self.m_onHeader) self.m_onHeader(self, line, bContinue);
    } catch (...) {
        self.m_eventError = std::current_exception();
        return 0;
    }
    return bContinue ? len : 0;
}

std::size_t THttpTransfer::transmitRoutine(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto& self = *static_cast<THttpTransfer*>(userdata);
    const std::size_t room = size * count;
    auto len =
        static_cast<std::uint32_t>(std::min<std::size_t>(room, std::numeric_limits<std::uint32_t>::max()));
    try {
        if (self.m_onTransmit) self.m_onTransmit(self, data, len);
    } catch (...) {
        self.m_eventError = std::current_exception();
        return CURL_READFUNC_ABORT;
    }
    std::size_t supplied = std::min<std::size_t>(len, room);
    if (self.m_transmitTarget == TransmitTarget::File && supplied != 0 && self.m_inputStream) {
        supplied = std::fread(data, 1, supplied, self.m_inputStream.get());
    }
    return supplied;
}

int THttpTransfer::progressRoutine(void* userdata, curl_off_t downloadTotal, curl_off_t downloadNow,
                                   curl_off_t uploadTotal, curl_off_t uploadNow) {
    auto& self = *static_cast<THttpTransfer*>(userdata);
    const bool uploading = uploadTotal + uploadNow != 0;
    const std::int32_t total = clampToInt32(uploading ? uploadTotal : downloadTotal);
    const std::int32_t now = clampToInt32(uploading ? uploadNow : downloadNow);
    bool bContinue = true;
    try {
        if (self.m_onProgress) self.m_onProgress(self, total, now, bContinue);
    } catch (...) {
        self.m_eventError = std::current_exception();
        return 1;
    }
    return bContinue ? 0 : 1;  // non-zero: libcurl ends the transfer with CURLE_ABORTED_BY_CALLBACK
}

int THttpTransfer::debugRoutine(CURL*, curl_infotype type, char* data, std::size_t size, void* userdata) {
    auto& self = *static_cast<THttpTransfer*>(userdata);
    if (self.m_destroying || !self.m_onDebug) return 0;
    bool bContinue = true;
    try {
        if (type == CURLINFO_TEXT) {
            // Line ends become zero bytes and do not count; a text that is only a line end is
            // not reported.
            std::string text(data, size);
            auto len = static_cast<std::uint32_t>(size);
            for (char& c : text) {
                if (c == '\r' || c == '\n') {
                    c = '\0';
                    --len;
                }
            }
            if (!text.empty() && text[0] != '\0') self.m_onDebug(self, type, text.c_str(), len, bContinue);
        } else {
            self.m_onDebug(self, type, data, static_cast<std::uint32_t>(size), bContinue);
        }
    } catch (...) {
        self.m_eventError = std::current_exception();
        bContinue = false;
    }
    // libcurl ignores the debug routine's answer; a cleared bContinue ends the transfer as an abort.
    if (!bContinue) self.m_abortRequested.store(true);
    return 0;
}

}  // namespace korvex
