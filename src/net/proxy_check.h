#pragma once
// proxycheck: applies the proxy setting of the settings tab to the transfer component and to the
// proxy settings of the update component.
#include <cstdint>
#include <string>

#include "proxy_settings.h"
#include "str_to_int.h"

namespace korvex {

class THttpTransfer;

// The update component's proxy settings, which it uses for its own downloads.
struct UpdateProxySettings {
    enum TAccessType { atDirect, atUseProxy };
    TAccessType AccessType = atDirect;
    std::string ProxyServer;
    std::int32_t ProxyPort = 0;

    bool operator==(const UpdateProxySettings&) const = default;
};

// Box ticked: a non-empty address becomes the component's Proxy as typed, a non-empty port its
// ProxyPort (a separate setting, never joined to the address); then the update settings go to
// atUseProxy with the same address and port. An empty edit leaves the previous value.
// Box clear: the update settings go to atDirect, the component's ProxyPort to 0 and its Proxy to
// none (null), the update settings' port to 0 and server to "".
// A port that is not an integer throws EConvertError at the point of conversion, so what was set
// before it stays set and nothing after it is done; so does a port outside 0..65535, which libcurl
// would refuse ("'<text>' is not a valid proxy port (0 to 65535)").
void proxycheck(const ProxySettings& proxy, THttpTransfer& curl, UpdateProxySettings& update);

}  // namespace korvex
