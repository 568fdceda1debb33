#pragma once
// The configuration of the main window's transfer component Curl1, shared by the window and the
// command-line front so that both send the same requests.
#include "net/http_transfer.h"
#include "net/proxy_check.h"

namespace korvex {

// The browser-like user agent of every request.
inline constexpr const char* kCurl1UserAgent =
    "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.0.1) Gecko/2008070208 Firefox/3.0.1";

// Seconds to connect to a portal, as the window's creation sets it.
inline constexpr std::int32_t kPortalConnectTimeout = 15;

// The stored properties of Curl1, applied when the window is loaded, in this order: OnWait =
// `onWait` (the window's Curl1Wait; none for a front without events to process), Threaded False,
// ConnectTimeout 0, FailOnError False, Upload False, UserAgent kCurl1UserAgent, OnReceive =
// appendToReceiveStream.
void applyCurl1StoredProperties(THttpTransfer& curl, TNotifyEvent onWait = {});

// What the window's creation sets afterwards: ConnectTimeout 15, proxycheck, SslVerifyPeer False,
// SslVerifyHost 0, WaitInterval 500, Threaded False. A bad proxy port throws EConvertError out of
// proxycheck, and the settings after it are then not applied.
void configureCurl1AtStart(THttpTransfer& curl, const ProxySettings& proxy);

// Transfers that must leave their caller responsive (the window's runs, korvex-cli's refresh): while
// the object lives Curl1 runs threaded and calls its wait hook every kResponsiveWaitInterval ms, so a
// stop is seen at once; afterwards it is back to what the start-up set (not threaded, 500 ms).
class ResponsiveTransfers {
public:
    static constexpr std::int32_t kResponsiveWaitInterval = 20;

    explicit ResponsiveTransfers(THttpTransfer& curl);
    ~ResponsiveTransfers();
    ResponsiveTransfers(const ResponsiveTransfers&) = delete;
    ResponsiveTransfers& operator=(const ResponsiveTransfers&) = delete;

private:
    THttpTransfer& m_curl;
};

}  // namespace korvex
