#include "update/updater/program_settings.h"

#include <cstdint>

#include "platform/codepage.h"

namespace korvex {

void applyProgramUpdaterSettings(TupUpdater& updater, const std::string& updateInfoBase,
                                 const std::string& publisherBase, const std::string& applicationTitle) {
    using enum TupUpdaterShowMessage;
    updater.InfoFileURL = updateInfoBase + kUpdateInfoPath;
    updater.VersionControl = byNumber;
    updater.VersionNumber = kRunningVersion;
    updater.VersionDate = "12/26/2008";
    updater.VersionDateAutoSet = true;
    updater.setRestartParams(" ");
    updater.ShowMessages = upShowMessageBit(mAskUpgrade) | upShowMessageBit(mConnLost) |
                           upShowMessageBit(mHostUnreachable) | upShowMessageBit(mLostFile) |
                           upShowMessageBit(mNoUpdateAvailable) | upShowMessageBit(mPasswordRequest);
    updater.Wizard.HideFileLocation = true;
    updater.InfoFile.Files = {publisherBase + "/download/korvex"};
    updater.InfoFile.UpgradeMsg = utf8ToCp1251("Вышла новая версия Korvex.");
    updater.ApplicationTitle = applicationTitle;
}

void applyUpdateProxy(const ProxySettings& setting, TupHTTPProxy& proxy) {
    if (!setting.enabled) {
        proxy.AccessType = atDirect;
        proxy.ProxyServer.clear();
        proxy.ProxyPort = 0;
        return;
    }
    const std::int32_t port = setting.port.empty() ? 0 : proxyPort(setting.port);
    proxy.AccessType = atUseProxy;
    proxy.ProxyServer = setting.address;
    proxy.ProxyPort = port;
}

}  // namespace korvex
