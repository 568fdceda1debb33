#pragma once
// TupCustomHTTP: the download engine of the update component. It fetches one address at a time on
// a worker thread, over libcurl (one easy handle per transfer, never the balance checks' Curl1),
// into a file or into memory, and tells its owner what happened through notifications that all
// run on the user-interface thread.
//
// Outcome of a transfer, exactly one of (then OnAfterTransfer, except after Declined and Aborted):
//   OnDone            the body arrived whole with status 200 or 206
//   OnDeclined        an OnHeaderInfo handler cleared Continue; no body was read
//   OnConnectionLost  status 200 or 206, but the body broke off (shorter than announced, a broken
//                     connection, a server too slow for the stall rule or TimeLimit, or a memory
//                     body longer than MaxMemoryBody)
//   OnHostUnreachable no status at all: bad address, name, connection, proxy, TLS, or a server
//                     that accepted the request and never answered within LowSpeedTimeLimit
//   OnOutputError     the output file could not be made or written (no permission, a full disk,
//                     a name taken by a folder), or its last flush failed: the file's name and
//                     the system's reason; what was written is removed. Without a handler,
//                     OnHTTPError with the status the server gave and no stream: the owner must
//                     hear of it, or an upgrade would wait for a file that never comes
//   OnHTTPError       any other status (its body in memory)
//   OnAborted         after Abort
//
// Threads: every member is used on the user-interface thread (the dispatcher's), and every
// notification runs there, except OnRedirect, which runs on the worker. The settings are read once,
// by Start; changing them during a transfer affects the next one. HTTPUsername, HTTPPassword and
// Proxy may be changed by OnPasswordRequest and OnProxyAuthenticationRequest handlers for the
// retry they ask for. While a notification runs, the worker waits for it to return.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "update/engine/dispatcher.h"
#include "update/engine/header_date.h"
#include "update/engine/login_component.h"
#include "update/engine/thread.h"

namespace korvex {

// Request flags of the Windows internet API, kept as settings. Here a local cache does not exist:
// every request goes to the server, and each option says below what it still means.
enum TupCacheOption {
    coAlwaysReload,                 // no-op: nothing is ever served from a cache
    coReloadIfNoExpireInformation,  // no-op, likewise
    coReloadUpdatedObjects,         // no-op, likewise
    coPragmaNoCache,                // sends "Pragma: no-cache", so that proxies ask the server too
    coNoCacheWrite,                 // no-op: nothing is written to a cache
    coCreateTempFilesIfCantCache,   // no-op: the body goes only where the engine puts it
    coUseCacheIfNetFail,            // no-op: there is no cache to fall back on
};
using TupCacheOptions = std::set<TupCacheOption>;

enum TupInternetOption {
    ioIgnoreCertificateInvalid,           // the certificate need not name the host
    ioIgnoreCertificateDateInvalid,       // no-op: libcurl cannot accept an expired certificate alone
    ioIgnoreUnknownCertificateAuthority,  // the certificate need not chain to a known authority
    ioIgnoreRedirectToHTTP,               // no-op: redirects between http and https are followed
    ioIgnoreRedirectToHTTPS,              // no-op, likewise
    ioKeepConnection,                     // no-op: each transfer has its own connection
    ioNoAuthentication,                   // credentials are never sent
    ioNoAutoRedirect,                     // redirects are not followed (their status is the answer)
    ioNoCookies,                          // no-op: the engine keeps no cookies
};
using TupInternetOptions = std::set<TupInternetOption>;

enum TupAccessType {
    atPreconfig,  // the system's proxy: libcurl's http_proxy, https_proxy, no_proxy environment
    atDirect,     // no proxy at all, whatever the environment says
    atUseProxy,   // ProxyServer:ProxyPort, except for the hosts of ProxyBypass
};

struct TupHTTPProxy {
    TupAccessType AccessType = atPreconfig;
    int ProxyPort = 8080;
    std::string ProxyServer;
    std::string ProxyBypass = "127.0.0.1;";  // hosts separated by ';' (or ',' or blanks)
    std::string ProxyUsername;
    std::string ProxyPassword;
};

struct TupHTTPRange {
    std::int64_t StartRange = 0;  // bytes already present: the resume offset
    std::int64_t EndRange = 0;    // last byte wanted, 0: to the end
};

struct TupHTTPTimeouts {
    int ConnectTimeout = 0;  // ms; 0: LowSpeedTimeLimit
    int ReceiveTimeout = 0;  // ms; a non-zero receive or send time-out shortens LowSpeedTimeLimit
    int SendTimeout = 0;     // ms
};

enum TupFileAttribute {
    atrArchive,    // no-op on Linux
    atrHidden,     // no-op: a hidden file on Linux is a name starting with '.', never imposed
    atrReadOnly,   // the write permissions are taken away
    atrSystem,     // no-op
    atrTemporary,  // no-op
    atrOffline,    // no-op
};
using TupFileAttributes = std::set<TupFileAttribute>;

struct TupOutputFileAttributes {
    TupFileAttributes Complete{atrArchive};
    TupFileAttributes Incomplete{atrArchive, atrTemporary};
};

enum TupRequestMethod { rmAutomatic, rmGet, rmPost };

// The answer's headers, for OnHeaderInfo.
struct TupHeaderInfo {
    int StatusCode = -1;
    std::string RawHeaders;  // the status line and every header line, each ended by CR LF
    std::string ContentType;
    std::string ContentLanguage;
    std::string ContentEncoding;
    std::int64_t ContentLength = 0;  // plus the resume offset
    std::string Location;
    TDateTime Date = 0;  // local time; 0: no such header
    TDateTime LastModified = 0;
    TDateTime Expires = 0;
    std::string ETag;
};

struct TupProgressInfo {
    std::string ContentType;
    std::int64_t TotalSize = 0;  // plus the resume offset
    std::int64_t BytesRead = 0;  // plus the resume offset
    int ElapsedTime = 0;         // whole seconds
    int EstimatedTimeLeft = 0;   // seconds
    std::uint8_t PercentDone = 0;
    float TransferRate = 0;         // KB/s
    const std::string* Stream = nullptr;  // the memory output so far; null for a file
};

class TupCustomHTTP;
using TupNotifyEvent = std::function<void(TupCustomHTTP& Sender)>;
using TupHeaderInfoEvent = std::function<void(TupCustomHTTP& Sender, const TupHeaderInfo& Info, bool& Continue)>;
using TupProgressEvent = std::function<void(TupCustomHTTP& Sender, const TupProgressInfo& Info)>;
using TupDoneEvent = std::function<void(TupCustomHTTP& Sender, const std::string& ContentType, std::int64_t Size,
                                        const std::string* Stream)>;
using TupConnectionLostEvent =
    std::function<void(TupCustomHTTP& Sender, const std::string& ContentType, std::int64_t ContentLength,
                       std::int64_t BytesRead, const std::string* Stream)>;
using TupHTTPErrorEvent = std::function<void(TupCustomHTTP& Sender, int StatusCode, const std::string* Stream)>;
using TupPasswordRequestEvent = std::function<void(TupCustomHTTP& Sender, const std::string& Realm, bool& TryAgain)>;
using TupProxyAuthenticationRequestEvent = std::function<void(TupCustomHTTP& Sender, std::string& ProxyUsername,
                                                              std::string& ProxyPassword, bool& TryAgain)>;
using TupOutputErrorEvent =
    std::function<void(TupCustomHTTP& Sender, const std::string& FileName, const std::string& Reason)>;
using TupRedirectEvent = std::function<void(TupCustomHTTP& Sender, const std::string& NewURL)>;
using TupExceptionEvent = std::function<void(TupCustomHTTP& Sender, std::exception_ptr Error)>;
using TupWaitTimeoutEvent = std::function<void(TupCustomHTTP& Sender, bool& Terminate)>;

struct TupTransfer;

class TupCustomHTTP : public TupLoginComponent {
public:
    static constexpr int kDefaultBufferSize = 4096;
    static constexpr int kMinBufferSize = 255;
    static constexpr int kDefaultLowSpeedTimeLimit = 60;
    static constexpr std::int64_t kDefaultMaxMemoryBody = 1024 * 1024;

    explicit TupCustomHTTP(TupDispatcher& dispatcher);
    // A running transfer is given up without any notification; its worker ends on its own, and
    // this waits for it (at most about a second).
    ~TupCustomHTTP() override;
    TupCustomHTTP(const TupCustomHTTP&) = delete;
    TupCustomHTTP& operator=(const TupCustomHTTP&) = delete;

    // Settings.
    std::string URL;  // without "://" taken as "http://" followed by it
    // "": the body goes to memory. A file of that name (or a link) is replaced by a new file,
    // never written through; a resumed one must be a regular file.
    std::string OutputFileName;
    std::string AcceptTypes = "text/html, */*";
    std::string Agent = "Korvex updater";
    std::vector<std::string> AdditionalHeaders;  // one header line each
    std::string PostData;
    std::string Referer;
    TupRequestMethod RequestMethod = rmAutomatic;  // automatic: POST when PostData is set
    TupCacheOptions CacheOptions{coReloadIfNoExpireInformation, coReloadUpdatedObjects, coCreateTempFilesIfCantCache};
    TupInternetOptions InternetOptions{ioKeepConnection};
    TupHTTPRange Range;
    TupHTTPTimeouts Timeouts;
    TupHTTPProxy Proxy;
    bool WorkOffline = false;  // every transfer fails as if no server answered
    bool GoOnline = false;     // no-op: Linux has no offline mode to leave
    TupOutputFileAttributes OutputFileAttributes;
    // Seconds without a single byte after which a transfer ends (a stalled server); at least 1.
    int LowSpeedTimeLimit = kDefaultLowSpeedTimeLimit;
    // Bytes a second that a transfer must average over LowSpeedTimeLimit seconds, or it counts as
    // stalled (a server that drips a byte at a time); at least 1.
    int LowSpeedLimit = 1;
    // Seconds the whole transfer may take, the connection included; 0: no limit. A transfer that
    // runs out of time ends as a stalled one does (TimedOut()).
    int TimeLimit = 0;
    // The most bytes a body kept in memory may hold (an info file, an error page). A longer one ends
    // the transfer once this much has arrived (or at once when its length is announced): an error
    // status keeps what arrived, a 200 or 206 ends as OnConnectionLost with BodyTooLarge().
    std::int64_t MaxMemoryBody = kDefaultMaxMemoryBody;

    int TransferBufferSize() const noexcept { return m_bufferSize; }
    void setTransferBufferSize(int value) noexcept { m_bufferSize = value < kMinBufferSize ? kMinBufferSize : value; }
    TThreadPriority ThreadPriority() const noexcept { return m_thread.Priority; }
    void setThreadPriority(TThreadPriority value) noexcept { m_thread.Priority = value; }
    TupCustomThread& Thread() noexcept { return m_thread; }

    // Notifications.
    TupHeaderInfoEvent OnHeaderInfo;
    TupProgressEvent OnProgress;
    TupDoneEvent OnDone;
    TupNotifyEvent OnDeclined;
    TupConnectionLostEvent OnConnectionLost;
    TupNotifyEvent OnHostUnreachable;
    TupHTTPErrorEvent OnHTTPError;
    TupOutputErrorEvent OnOutputError;  // Reason: "<file>: <the system's reason>"
    TupPasswordRequestEvent OnPasswordRequest;
    TupProxyAuthenticationRequestEvent OnProxyAuthenticationRequest;
    TupNotifyEvent OnAborted;
    TupNotifyEvent OnAfterTransfer;  // after Done, ConnectionLost, HostUnreachable or HTTPError
    TupRedirectEvent OnRedirect;     // on the worker thread
    TupExceptionEvent OnException;   // a notification handler threw (Thread().HandleExceptions)
    TupWaitTimeoutEvent OnWaitTimeout;

    // Starts a transfer of URL with the current settings. False, with nothing changed, while a
    // transfer runs. With `wait` (or Thread().WaitThread) it returns when the transfer has ended,
    // running the dispatcher's loop meanwhile; after Thread().WaitTimeout ms (when not 0) the
    // transfer is given up without notification unless OnWaitTimeout clears Terminate.
    bool Start(bool wait = false);
    // Ends the running transfer; nothing when none runs. Soft: the worker stops at its next step
    // or chunk. Hard: the transfer is over when Abort returns. Either way OnAborted follows (for a
    // hard abort, before Abort returns); an output file is kept or, with `deleteOutput`, deleted.
    void Abort(bool deleteOutput, bool hard);
    bool Busy() const noexcept { return m_busy; }

    // What the latest transfer found (for readers in notifications).
    int StatusCode() const;
    std::int64_t ContentLength() const;
    std::int64_t BytesRead() const;
    std::int64_t ResumeOffset() const;
    // Whether it ended because it ran out of time (TimeLimit, or the stall rule).
    bool TimedOut() const;
    // Whether it ended because its memory body would have passed MaxMemoryBody.
    bool BodyTooLarge() const;
    // Whether it ended because a redirect led to a scheme that is not followed (only http and
    // https are); it counts as an unreachable host.
    bool RedirectRefused() const;

protected:
    TupDispatcher& Dispatcher() noexcept { return m_dispatcher; }

private:
    friend class TupWorker;
    // The transfer Start runs: a copy of the settings.
    std::shared_ptr<TupTransfer> newTransfer() const;
    // Start's wait: the dispatcher's loop runs until `transfer` ends or Thread().WaitTimeout passes.
    void waitFor(const std::shared_ptr<TupTransfer>& transfer);
    // The wrap-up of a transfer on the user-interface thread: its output closed, its outcome told.
    void wrapUp(const std::shared_ptr<TupTransfer>& transfer);
    static void closeOutput(TupTransfer& transfer);
    void notifyOutcome(TupTransfer& transfer, const std::string& fileName);
    // Closes the output of a transfer that ends without wrap-up; true when it was still open.
    void closeAbandoned(TupTransfer& transfer, bool deleteOutput);

    TupDispatcher& m_dispatcher;
    int m_bufferSize = kDefaultBufferSize;
    bool m_busy = false;
    std::shared_ptr<TupTransfer> m_transfer;  // the latest transfer
    TupCustomThread m_thread;                 // last: its workers end before the rest goes
};

}  // namespace korvex
