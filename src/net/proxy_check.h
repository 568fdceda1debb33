#pragma once
// proxycheck: applies the proxy setting of the settings tab to the transfer component; the update
// component goes through the setting that stands afterwards.
#include <cstdint>
#include <string_view>

#include "net/proxy_settings.h"
#include "net/str_to_int.h"

namespace korvex {

class THttpTransfer;

// Box ticked: a non-empty address becomes the component's Proxy as typed, a non-empty port its
// ProxyPort (a separate setting, never joined to the address). An empty edit leaves the previous
// value. Box clear: the component's ProxyPort goes to 0 and its Proxy to none (null).
// A port that is not an integer throws EConvertError at the point of conversion, so what was set
// before it stays set and nothing after it is done; so does a port outside 0..65535, which libcurl
// would refuse ("'<text>' is not a valid proxy port (0 to 65535)").
void proxycheck(const ProxySettings& proxy, THttpTransfer& curl);

// The setting in force once proxycheck has applied `proxy` over `before`, the one the update
// component goes through: with the box ticked an empty edit keeps the address or port of `before`,
// a clear box is no proxy at all ({}), and a port that proxycheck refuses leaves `before` as it was.
ProxySettings proxyInForce(const ProxySettings& before, const ProxySettings& proxy);

// The port text as proxycheck takes it: strToInt, then 0..65535, or EConvertError.
std::int32_t proxyPort(std::string_view text);

}  // namespace korvex
