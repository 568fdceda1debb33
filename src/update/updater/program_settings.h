#pragma once
// The program's own settings of its update component upUpdater1, and the proxy the settings tab
// gives it.
#include <string>

#include "net/proxy_check.h"
#include "update/updater/updater.h"

namespace korvex {

inline constexpr const char* kUpdateInfoPath = "/inf";
inline constexpr const char* kRunningVersion = "3.2.0.1";

// InfoFileURL = `updateInfoBase` (scheme, host, optional port) followed by "/inf"; byNumber,
// "3.2.0.1", "12/26/2008", RestartParams " ", the program's ShowMessages set, the wizard without
// the file address, the design-time copy of the info file naming `publisherBase`'s executable.
void applyProgramUpdaterSettings(TupUpdater& updater, const std::string& updateInfoBase,
                                 const std::string& publisherBase, const std::string& applicationTitle);

// The proxy setting in force after proxycheck (proxyInForce) as the component's Proxy: a ticked box
// atUseProxy with its address and port (an empty port 0), a clear box atDirect with no server and
// port 0. A port that proxycheck would refuse throws EConvertError and leaves the Proxy as it was.
void applyUpdateProxy(const ProxySettings& setting, TupHTTPProxy& proxy);

}  // namespace korvex
