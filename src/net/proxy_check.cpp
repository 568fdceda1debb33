#include "proxy_check.h"

#include <cstdint>

#include "http_transfer.h"

namespace korvex {

namespace {

// The port as libcurl takes it (0 leaves libcurl's default). A number it would refuse must not be
// kept silently while requests go out through the port set before.
std::int32_t proxyPort(std::string_view text) {
    const std::int32_t port = strToInt(text);
    if (port < 0 || port > 65535)
        throw EConvertError("'" + std::string(text) + "' is not a valid proxy port (0 to 65535)");
    return port;
}

}  // namespace

void proxycheck(const ProxySettings& proxy, THttpTransfer& curl, UpdateProxySettings& update) {
    if (proxy.enabled) {
        if (!proxy.address.empty()) curl.setProxy(proxy.address);
        if (!proxy.port.empty()) curl.setProxyPort(proxyPort(proxy.port));
        update.AccessType = UpdateProxySettings::atUseProxy;
        if (!proxy.address.empty()) update.ProxyServer = proxy.address;
        if (!proxy.port.empty()) update.ProxyPort = proxyPort(proxy.port);
        return;
    }
    update.AccessType = UpdateProxySettings::atDirect;
    curl.setProxyPort(0);
    curl.setProxy("");
    update.ProxyPort = 0;
    update.ProxyServer.clear();
}

}  // namespace korvex
