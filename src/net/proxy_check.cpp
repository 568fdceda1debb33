#include "net/proxy_check.h"

#include <cstdint>

#include "net/http_transfer.h"

namespace korvex {

// The port as libcurl takes it (0 leaves libcurl's default). A number it would refuse must not be
// kept silently while requests go out through the port set before.
std::int32_t proxyPort(std::string_view text) {
    const std::int32_t port = strToInt(text);
    if (port < 0 || port > 65535)
        throw EConvertError("'" + std::string(text) + "' is not a valid proxy port (0 to 65535)");
    return port;
}

void proxycheck(const ProxySettings& proxy, THttpTransfer& curl) {
    if (proxy.enabled) {
        if (!proxy.address.empty()) curl.setProxy(proxy.address);
        if (!proxy.port.empty()) curl.setProxyPort(proxyPort(proxy.port));
        return;
    }
    curl.setProxyPort(0);
    curl.setProxy("");
}

ProxySettings proxyInForce(const ProxySettings& before, const ProxySettings& proxy) {
    if (!proxy.enabled) return {};
    if (!proxy.port.empty()) {
        try {
            proxyPort(proxy.port);
        } catch (const EConvertError&) {
            return before;
        }
    }
    ProxySettings result = before;
    result.enabled = true;
    if (!proxy.address.empty()) result.address = proxy.address;
    if (!proxy.port.empty()) result.port = proxy.port;
    return result;
}

}  // namespace korvex
