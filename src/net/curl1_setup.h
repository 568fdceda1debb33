#pragma once
// The configuration of the main window's transfer component Curl1, shared by the window and the
// command-line front so that both send the same requests.
#include "http_transfer.h"
#include "proxy_check.h"

namespace korvex {

// The browser-like user agent of every request.
inline constexpr const char* kCurl1UserAgent =
    "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.0.1) Gecko/2008070208 Firefox/3.0.1";

// The stored properties of Curl1, applied when the window is loaded, in this order: OnWait =
// `onWait` (the window's Curl1Wait; none for a front without events to process), Threaded False,
// ConnectTimeout 0, FailOnError False, Upload False, UserAgent kCurl1UserAgent, OnReceive =
// appendToReceiveStream.
void applyCurl1StoredProperties(THttpTransfer& curl, TNotifyEvent onWait = {});

// What the window's creation sets afterwards: ConnectTimeout 15, proxycheck, SslVerifyPeer False,
// SslVerifyHost 0, WaitInterval 500, Threaded False. A bad proxy port throws EConvertError out of
// proxycheck, and the settings after it are then not applied.
void configureCurl1AtStart(THttpTransfer& curl, const ProxySettings& proxy, UpdateProxySettings& update);

}  // namespace korvex
