#pragma once
// One request to a portal that carries nothing of an account: a GET of one address with no login, no
// password, no cookie and no body, redirects not followed, so that a user may see whether an address
// leads to a portal before any password goes there. The certificate is not verified (the portals'
// are self-signed): its key is read so that the caller can hold it against the pin.
//
// What comes back is the portal's to write: the answer is cut at `maxBytes`, the whole request ends
// after `timeout` seconds, and a raised `stop` ends it at once.
#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace korvex {

struct PageProbeRequest {
    std::string url;
    std::string proxy;   // as THttpTransfer's Proxy: "" follows the usual environment variables
    long proxyPort = 0;  // as THttpTransfer's ProxyPort
    long connectTimeout = 10;
    long timeout = 20;
    std::size_t maxBytes = std::size_t{1} << 20;
};

struct PageProbeAnswer {
    int resultCode = 0;         // libcurl's; a cut page is no failure
    std::string error;          // "" when an HTTP answer came
    long status = 0;            // the HTTP status, 0 without an answer
    std::string presentedPin;   // the key of an HTTPS portal, "" for http or without a handshake
    std::string body;           // at most maxBytes of it
    bool cut = false;           // the body went on beyond maxBytes
    bool asksBasicLogin = false;  // a WWW-Authenticate: Basic header came
    bool stopped = false;       // ended by `stop`
};

PageProbeAnswer probePage(const PageProbeRequest& request, const std::atomic<bool>* stop = nullptr);

// The options a bare request of ours shares with the pin's handshake: the error buffer, the address,
// no certificate check but its information kept, the connect time-out, the proxy, and `stop` read
// between libcurl's steps.
void setUnverifiedRequest(CURL* handle, const std::string& url, const std::string& proxy, long proxyPort,
                          long connectTimeout, const std::atomic<bool>* stop, char* errorText);

}  // namespace korvex
