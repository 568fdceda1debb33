#include "korvex-cli/check_update_command.h"

#include <ostream>

#include "net/http_transfer.h"
#include "net/proxy_check.h"
#include "platform/codepage.h"
#include "settings/settings_file.h"
#include "update/up_dispatcher.h"
#include "update/up_program_settings.h"

namespace korvex {

namespace {
constexpr const char* kPrefix = "korvex-cli: ";
}  // namespace

int checkUpdateCommand(const CliContext& context) {
    // The proxy of the settings tab, applied as the window applies it at start.
    ProxySettings proxy;
    if (settingsFileExists(context.settingsPath)) proxy = readStartup(context.settingsPath).proxy;
    try {
        THttpTransfer curl;
        proxycheck(proxy, curl);
    } catch (const EConvertError& e) {
        context.err << kPrefix << e.what() << " (the proxy port of " << context.settingsPath << ")\n";
        return kExitCheckFailed;
    }

    TupPumpedDispatcher dispatcher(context.stop);
    TupUpdater updater(dispatcher, nullptr, nullptr);
    applyProgramUpdaterSettings(updater, context.addresses.updateInfo, context.addresses.publisher, {});
    updater.ShowMessages = 0;  // a terminal gets lines, not boxes
    applyUpdateProxy(proxyInForce({}, proxy), updater.Proxy);

    std::string failure;
    updater.OnHostUnreachable = [&failure](TupUpdater&, const std::string& url, const std::string& host) {
        failure = "the update server " + host + " cannot be reached (" + url + ")";
    };
    updater.OnNoInfoFile = [&failure](TupUpdater& sender) {
        if (!sender.RefusedEntry().empty()) {
            failure = "the update information at " + sender.InfoFileURL +
                      " names a file outside the folders an update may write: " + sender.RefusedEntry();
            return;
        }
        if (sender.InfoFileTrust() != update::InfoTrust::Accepted) {
            failure = "the update information at " + sender.InfoFileURL +
                      " is not trusted: " + update::infoTrustText(sender.InfoFileTrust());
            return;
        }
        failure = "the update server has no update information at " + sender.InfoFileURL + " (status " +
                  std::to_string(sender.StatusCode()) + ")";
    };
    updater.OnConnLost = [&failure](TupUpdater& sender) {
        failure = "the connection broke off while reading " + sender.InfoFileURL;
    };

    const bool offered = updater.CheckUpdate(true);
    if (failure.empty() && updater.Busy()) failure = "the check was stopped";
    if (!failure.empty()) {
        context.err << kPrefix << failure << '\n';
        return kExitCheckFailed;
    }
    if (offered) {
        context.out << "Newer version offered: " << cp1251ToUtf8(updater.OfferedVersion()) << " (running "
                    << kRunningVersion << ")\n";
        if (!updater.UpgradeMsg().empty()) context.out << cp1251ToUtf8(updater.UpgradeMsg()) << '\n';
        return kExitOk;
    }
    const std::string version = updater.OfferedVersion();
    context.out << "No newer version offered (running " << kRunningVersion
                << (version.empty() ? std::string(", the info file names none") : ", offered " + cp1251ToUtf8(version))
                << ")\n";
    return kExitNoUpdate;
}

}  // namespace korvex
