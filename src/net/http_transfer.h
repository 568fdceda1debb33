#pragma once
// THttpTransfer: the program's HTTP/HTTPS transfer component, a thin owner of one libcurl easy
// handle. Every property assignment goes to libcurl at once and holds for every later transfer
// until it is assigned again; nothing is reset between transfers. Perform() runs one transfer
// with the current settings.
//
// Naming: a property P of the component is read with P() and assigned with setP(value), events
// included (OnReceive() / setOnReceive()). Text properties are byte strings (8-bit, no code-page
// conversion); reading one returns a fresh copy, empty when no text is held.
//
// Failures: the component itself throws only from the constructor (no easy handle) and from a
// threaded Perform() re-entered while its transfer runs; an exception thrown by an event handler
// ends the transfer and leaves Perform() once the transfer is over. Everything else is reported
// by Perform()'s answer with ResultCode() (libcurl's CURLcode, 0 = no failure) and ErrorText().
// A failure is recorded only while ResultCode() is 0 (the first one wins), except the
// component's own failures (no URL, a file or stream that cannot be used, re-entry), which always
// overwrite. Perform() starts from a clear ResultCode() and ErrorText(), so one failed request
// never stops the next one; a failure recorded by a setter is therefore visible until the next
// Perform().
//
// Threads: the component belongs to the thread that made it; all properties are assigned and
// Perform() is called there. With Threaded() False, Perform() runs the transfer on that thread
// and the events are called on it. With Threaded() True, Perform() hands the transfer to the
// component's worker thread, which then alone touches the easy handle and calls OnReceive,
// OnHeader, OnTransmit, OnProgress and OnDebug; the calling thread waits and calls OnWait between
// waits. No property may be assigned while a transfer runs (from an event or OnWait), except
// through requestAbort(), which any thread may call at any time.
#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "net/curl_string_list.h"
#include "net/http_cookie_list.h"
#include "net/http_multipart_form.h"
#include "net/owned_text.h"
#include "net/portal_pins.h"

namespace korvex {

class THttpTransferBase;
class THttpTransfer;

// The component's exception: construction without an easy handle (code 2) and re-entry of a
// threaded transfer (code 7). code() is the libcurl result code that was recorded.
class EHttpTransferError : public std::runtime_error {
public:
    EHttpTransferError(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

// Events. bContinue is True when a handler is called; a handler clears it to abort the transfer.
// A chunk of the response body; `data` is valid during the call only.
using THttpReceiveEvent =
    std::function<void(THttpTransfer& Sender, const char* data, std::uint32_t len, bool& bContinue)>;
// One response header line, without its line end.
using THttpHeaderEvent = std::function<void(THttpTransfer& Sender, const std::string& data, bool& bContinue)>;
// Upload body: fill `data` with up to `len` bytes (the room on entry) and set `len` to the count.
using THttpTransmitEvent = std::function<void(THttpTransfer& Sender, char* data, std::uint32_t& len)>;
// Upload figures while uploading, download figures otherwise, in bytes.
using THttpProgressEvent = std::function<void(THttpTransfer& Sender, std::int32_t BytesTotal,
                                              std::int32_t BytesNow, bool& bContinue)>;
// libcurl's verbose output. For CURLINFO_TEXT `data` is one line without its line end.
using THttpDebugEvent = std::function<void(THttpTransfer& Sender, curl_infotype infotype, const char* data,
                                           std::uint32_t len, bool& bContinue)>;
// The wait hook of a threaded transfer, called on the calling thread.
using TNotifyEvent = std::function<void(THttpTransferBase& Sender)>;

// The threading part: the busy flag, threaded mode and its wait hook.
class THttpTransferBase {
public:
    static constexpr std::int32_t kDefaultWaitInterval = 1000;

    virtual ~THttpTransferBase();
    THttpTransferBase(const THttpTransferBase&) = delete;
    THttpTransferBase& operator=(const THttpTransferBase&) = delete;

    bool Threaded() const noexcept { return m_threaded; }
    void setThreaded(bool value) noexcept { m_threaded = value; }
    // Milliseconds between calls of OnWait during a threaded transfer; a negative value is
    // stored as kDefaultWaitInterval.
    std::int32_t WaitInterval() const noexcept { return m_waitInterval; }
    void setWaitInterval(std::int32_t value) noexcept;
    const TNotifyEvent& OnWait() const noexcept { return m_onWait; }
    void setOnWait(TNotifyEvent handler) { m_onWait = std::move(handler); }

    // True while a transfer runs, in both modes. Any thread may ask.
    bool Busy() const noexcept { return m_busy.load(std::memory_order_acquire); }

protected:
    THttpTransferBase() = default;

    // Runs `transfer` with the busy flag set and answers its result. Not threaded: on the calling
    // thread. Threaded: on the component's worker thread, while the calling thread waits until
    // the transfer ends or WaitInterval() passes, whichever is first, then calls OnWait, and so
    // on until the transfer has ended. Should OnWait throw, `abortTransfer` is called, the end of
    // the transfer is awaited, and the exception passes on. The caller has checked that no
    // transfer runs.
    int runTransfer(const std::function<int()>& transfer, const std::function<void()>& abortTransfer);

private:
    int runThreaded(const std::function<int()>& transfer, const std::function<void()>& abortTransfer);
    void workerLoop();

    std::atomic<bool> m_busy{false};
    bool m_threaded = false;
    std::int32_t m_waitInterval = kDefaultWaitInterval;
    TNotifyEvent m_onWait;

    // The worker thread of threaded mode: started by the first threaded transfer and kept, parked
    // on m_jobSignal, until the component goes, so that a transfer costs two hand-overs rather
    // than a thread start. The calling thread hands it one job at a time and waits on
    // m_doneSignal; everything below is guarded by m_workerMutex.
    std::mutex m_workerMutex;
    std::condition_variable m_jobSignal;
    std::condition_variable m_doneSignal;
    const std::function<int()>* m_job = nullptr;  // the transfer to run, set by the calling thread
    bool m_done = false;                          // the worker has run m_job
    int m_result = 0;                             // its answer
    bool m_quit = false;                          // the component goes: the worker ends
    std::thread m_worker;
};

class THttpTransfer : public THttpTransferBase {
public:
    // Makes the easy handle and applies the defaults: cookie engine on (no file read), error
    // buffer, redirects followed (at most 25) with automatic referer, the CA bundle when found.
    // Throws EHttpTransferError (code 2) when libcurl cannot make a handle.
    THttpTransfer();
    ~THttpTransfer() override;

    // Runs one transfer with the current settings; True exactly when it ended with code 0.
    bool Perform();
    // Ends the transfer in progress as soon as possible, from any thread (also from an event or
    // OnWait): Perform() then answers False with CURLE_ABORTED_BY_CALLBACK. Without a transfer in
    // progress it does nothing, so it cannot stop a later transfer.
    void requestAbort() noexcept;
    // Runs `work` as Perform() runs a transfer, so that whatever ends a transfer ends it too: Busy()
    // meanwhile, on the worker thread with OnWait called between waits when Threaded(), and
    // requestAbort() from any thread (OnWait included) raises `stop`, which `work` reads and ends
    // soon after. What `work` throws passes on once it has ended. The balance checks search their
    // pages this way, so that a stop or a time limit ends a search as it ends a transfer.
    void runAbortable(const std::function<void(const std::atomic<bool>& stop)>& work);

    std::int32_t ResultCode() const noexcept { return m_resultCode; }
    std::string ErrorText() const { return std::string(m_errorText); }

    // Text properties; an empty value hands libcurl a null pointer.
    std::string URL() const { return m_url.str(); }
    void setURL(std::string_view value);
    std::string Proxy() const { return m_proxy.str(); }
    // The proxy host as typed; its port is ProxyPort, a separate setting. Empty hands libcurl a
    // null pointer, and libcurl then follows the usual proxy environment variables.
    void setProxy(std::string_view value);
    std::string UserPwd() const { return m_userPwd.str(); }
    void setUserPwd(std::string_view value);  // "user:password"
    std::string Referer() const { return m_referer.str(); }
    void setReferer(std::string_view value);
    std::string UserAgent() const { return m_userAgent.str(); }
    void setUserAgent(std::string_view value);
    // A cookie file: the engine forgets its cookies, the file's cookie lines are queued for the
    // next transfer, the file is read by libcurl as well and, unless a cookie jar is set, becomes
    // the jar that libcurl writes when the component is destroyed.
    std::string CookieFile() const { return m_cookieFile.str(); }
    void setCookieFile(std::string_view value);
    std::string CookieJar() const { return m_cookieJar.str(); }
    void setCookieJar(std::string_view value);
    // Non-empty selects the file target of the receive channel; empty, while the file target is
    // selected, selects standard output.
    std::string OutputFile() const { return m_outputFile.str(); }
    void setOutputFile(std::string_view value);
    // Non-empty selects the file target of the transmit channel; empty, while the file target is
    // selected, selects standard input.
    std::string InputFile() const { return m_inputFile.str(); }
    void setInputFile(std::string_view value);

    // The request body: POST mode, the bytes as they are (an empty value posts an empty body).
    // HttpGet(True) leaves POST mode; assigning PostFields again enters it.
    std::string PostFields() const { return m_postFields.str(); }
    void setPostFields(std::string_view value);
    bool HttpGet() const noexcept { return m_httpGet; }
    void setHttpGet(bool value);

    std::int32_t ProxyPort() const noexcept { return m_proxyPort; }
    void setProxyPort(std::int32_t value);
    std::int32_t ConnectTimeout() const noexcept { return m_connectTimeout; }  // seconds, 0 = libcurl's
    void setConnectTimeout(std::int32_t value);
    bool FailOnError() const noexcept { return m_failOnError; }
    void setFailOnError(bool value);
    bool Upload() const noexcept { return m_upload; }
    void setUpload(bool value);
    bool SslVerifyPeer() const noexcept { return m_sslVerifyPeer; }
    void setSslVerifyPeer(bool value);
    // 0, 1 or 2; any other level is not passed on and records CURLE_SSL_CERTPROBLEM (58).
    std::int32_t SslVerifyHost() const noexcept { return m_sslVerifyHost; }
    void setSslVerifyHost(std::int32_t value);

    // The receive channel's stream target. Non-null selects it; null, while it is selected,
    // selects standard output. The component never owns it. Without OnReceive it must be a
    // FILE* (libcurl fwrite()s to it); with OnReceive it is whatever the handler expects (the
    // program's handler, appendToReceiveStream, expects a ReceiveBuffer).
    void* ReceiveStream() const noexcept { return m_receiveStream; }
    void setReceiveStream(void* stream) noexcept;

    // Assigning OnReceive, OnHeader or OnTransmit selects the event mode of its channel, clearing
    // it the default mode. OnProgress and OnDebug switch libcurl's progress and verbose output.
    const THttpReceiveEvent& OnReceive() const noexcept { return m_onReceive; }
    void setOnReceive(THttpReceiveEvent handler) { m_onReceive = std::move(handler); }
    const THttpHeaderEvent& OnHeader() const noexcept { return m_onHeader; }
    void setOnHeader(THttpHeaderEvent handler) { m_onHeader = std::move(handler); }
    const THttpTransmitEvent& OnTransmit() const noexcept { return m_onTransmit; }
    void setOnTransmit(THttpTransmitEvent handler) { m_onTransmit = std::move(handler); }
    const THttpProgressEvent& OnProgress() const noexcept { return m_onProgress; }
    void setOnProgress(THttpProgressEvent handler);
    const THttpDebugEvent& OnDebug() const noexcept { return m_onDebug; }
    void setOnDebug(THttpDebugEvent handler);

    // Companion lists, handed to libcurl by every Perform() (an empty list as a null list).
    CurlStringList& CustomHeaders() noexcept { return m_customHeaders; }  // CURLOPT_HTTPHEADER
    CurlStringList& Quote() noexcept { return m_quote; }
    CurlStringList& PostQuote() noexcept { return m_postQuote; }
    CurlStringList& PreQuote() noexcept { return m_preQuote; }
    CurlStringList& TelnetOptions() noexcept { return m_telnetOptions; }
    CurlStringList& Http200Aliases() noexcept { return m_http200Aliases; }
    THttpCookieList& Cookies() noexcept { return *m_cookies; }
    THttpMultipartForm& MultipartForm() noexcept { return m_multipartForm; }
    const THttpReadOnlyList& SslEngines() const noexcept { return m_sslEngines; }

    // Portal pins (portal_pins.h). With a store attached, every HTTPS request carries the pin of its
    // portal (the origin of URL), and a portal without one is pinned after its first successful
    // request. A key that does not match ends the transfer before anything is sent, with
    // ResultCode() CURLE_SSL_PINNEDPUBKEYNOTMATCH (90), an ErrorText() naming the portal and both
    // keys, and the mismatch noted in the store for the front to ask about. A store whose file could
    // not be read (loadError) refuses every HTTPS request: ResultCode() CURLE_SSL_CACERT_BADFILE (77),
    // nothing sent. New pins stay in the store until the front saves them. Null: nothing pinned.
    // The store must outlive the component's transfers; it is used on the calling thread only.
    PortalPins* Pins() const noexcept { return m_pins; }
    void setPins(PortalPins* pins) noexcept { m_pins = pins; }

    // The easy handle, for curl_easy_getinfo() after a transfer (response code, redirect count).
    // Options must be set through the component only.
    CURL* Handle() const noexcept { return m_handle.get(); }

private:
    enum class ReceiveTarget { Stream, File, StandardOutput };
    enum class TransmitTarget { File, StandardInput };

    struct EasyCleanup {
        void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
    };
    // Closes a C stream that the component opened itself.
    struct FileClose {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };
    using OwnedFile = std::unique_ptr<std::FILE, FileClose>;

    // libcurl's callbacks; `userdata` is the component.
    static std::size_t receiveRoutine(char* data, std::size_t size, std::size_t count, void* userdata);
    static std::size_t headerRoutine(char* data, std::size_t size, std::size_t count, void* userdata);
    static std::size_t transmitRoutine(char* data, std::size_t size, std::size_t count, void* userdata);
    static int progressRoutine(void* userdata, curl_off_t downloadTotal, curl_off_t downloadNow,
                               curl_off_t uploadTotal, curl_off_t uploadNow);
    static int debugRoutine(CURL* handle, curl_infotype type, char* data, std::size_t size, void* userdata);

    // Sets an option and records libcurl's refusal as a failure of that option.
    template <typename Value>
    void setOption(CURLoption option, Value value);
    void applyText(OwnedText& text, CURLoption option, std::string_view value);
    // A refusal by libcurl: recorded only while no failure is recorded.
    void recordFailure(CURLcode code, CURLoption option);
    // The component's own failures: always recorded.
    void recordOwnFailure(CURLcode code, std::string_view text);
    void clearFailure() noexcept;

    // Steps of Perform().
    void prepare();
    void prepareReceiveChannel();
    void prepareTransmitChannel();
    int transfer();  // runs the easy handle to its end on the current thread; answers the CURLcode
    void finish();
    void preparePin();
    // On the thread of the transfer, after a successful one: the key to pin for a portal that had
    // none, "" when there is none to learn.
    std::string learnPin();
    void settlePin(int answer);
    // Moves the component to a fresh easy handle with the same options and cookies; false when
    // libcurl cannot make one (the old handle then stays).
    bool renewHandle();

    // Declared first, destroyed last: libcurl may read the texts until the handle is gone.
    OwnedText m_url, m_proxy, m_userPwd, m_referer, m_userAgent, m_cookieFile, m_cookieJar;
    OwnedText m_outputFile, m_inputFile;
    OwnedText m_postFields;                  // the bytes are what libcurl sends; it does not copy them
    char m_errorText[CURL_ERROR_SIZE] = {};  // libcurl's error buffer, always zero-terminated

    std::int32_t m_resultCode = 0;
    bool m_failOnError = false;
    bool m_upload = false;
    bool m_httpGet = false;
    bool m_sslVerifyPeer = true;
    std::int32_t m_sslVerifyHost = 2;  // libcurl's default
    std::int32_t m_connectTimeout = 0;
    std::int32_t m_proxyPort = 0;

    ReceiveTarget m_receiveTarget = ReceiveTarget::StandardOutput;
    TransmitTarget m_transmitTarget = TransmitTarget::StandardInput;
    void* m_receiveStream = nullptr;
    THttpReceiveEvent m_onReceive;
    THttpHeaderEvent m_onHeader;
    THttpTransmitEvent m_onTransmit;
    THttpProgressEvent m_onProgress;
    THttpDebugEvent m_onDebug;

    // Files opened by prepare() for one transfer, closed by finish().
    OwnedFile m_outputStream;
    OwnedFile m_inputStream;

    CurlStringList m_customHeaders, m_quote, m_postQuote, m_preQuote, m_telnetOptions, m_http200Aliases;
    THttpMultipartForm m_multipartForm;
    THttpReadOnlyList m_sslEngines;

    PortalPins* m_pins = nullptr;
    std::string m_pinOrigin;    // this transfer's portal, "" when it is not pinned
    std::string m_pinExpected;  // its pin, "" when it has none yet
    std::string m_pinLearned;   // what learnPin() found

    std::atomic<bool> m_abortRequested{false};
    bool m_destroying = false;  // the debug routine stays silent while the handle is cleaned up
    // The last transfer did not end cleanly: the handle may hold what that transfer had begun (see
    // renewHandle), and the next Perform() moves to a fresh one first.
    bool m_handleTainted = false;
    // An exception thrown by an event handler inside libcurl: the transfer is ended, and
    // Perform() throws it again once the transfer is over.
    std::exception_ptr m_eventError;

    // The multi handle runs the easy handle, so that requestAbort() can wake a waiting transfer.
    struct MultiCleanup {
        void operator()(CURLM* multi) const noexcept { curl_multi_cleanup(multi); }
    };
    std::unique_ptr<CURLM, MultiCleanup> m_multi;
    std::unique_ptr<CURL, EasyCleanup> m_handle;
    std::unique_ptr<THttpCookieList> m_cookies;  // uses m_handle, so it goes first
};

}  // namespace korvex
