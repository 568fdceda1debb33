#pragma once
// "Проверить" of the portals dialog: whether an address leads to a profile's portal, found out
// without a login or password. One GET of the profile's request path at that address (net/page_probe.h:
// no credentials, no cookie, no body, bounded in time and size), and what it showed: an answer or
// none, its HTTP status, the certificate's key against the pin, and what the page is to the profile.
//
// Threads: probePortal may run on any thread; it reads only its arguments (take the pin and the
// proxy on the window's thread and hand them in).
#include <atomic>
#include <string>

#include "checks/provider_profiles.h"
#include "net/page_probe.h"
#include "net/proxy_settings.h"

namespace korvex {

enum class ProbeKey {
    None,    // http, or no handshake
    New,     // the portal has no pin yet: the first balance check pins this key
    Pinned,  // the key the portal is pinned to
    Other,   // another key than the pin: a balance check would be refused
};

enum class ProbePage {
    None,          // no page came
    AccountPage,   // the profile's first pattern step finds its value on it
    LoginPage,     // the portal asks for the login the profile gives: a 401 asking for basic
                   // credentials, or a form with the profile's login and password fields
    Unrecognised,  // neither: another site, or a page the profile no longer fits
};

struct PortalProbe {
    std::string error;  // no answer: why ("" when one came)
    bool badAddress = false;  // the address is no base address: nothing was asked
    bool stopped = false;
    long status = 0;
    ProbeKey key = ProbeKey::None;
    std::string presentedPin;
    ProbePage page = ProbePage::None;
    bool cut = false;  // the page was longer than the probe reads
};

// Probes `address` (a base address as Portals.ini takes it) for `profile` (the one the checks run,
// effectiveProfile), against `pinned` (the pin of the address's origin, "" for none). The proxy
// setting applies as it does to the profile's balance check. `limits` gives the time and size
// bounds (its url and proxy are not read). A raised `stop` ends it soon, as stopped.
PortalProbe probePortal(const ProviderProfile& profile, const std::string& address, const std::string& pinned,
                        const ProxySettings& proxy, const std::atomic<bool>* stop = nullptr,
                        const PageProbeRequest& limits = {});

}  // namespace korvex
