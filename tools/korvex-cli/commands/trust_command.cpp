#include <ostream>

#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/cli_support.h"
#include "net/curl1_setup.h"
#include "net/portal_pins.h"
#include "net/str_to_int.h"

namespace korvex {

int trustCommand(const CliContext& context, const std::vector<std::string>& portals, bool all) {
    PortalPins pins(pinsPathBeside(context.settingsPath));
    if (!pins.loadError().empty()) {
        context.err << kPrefix << pins.loadError() << '\n';
        return kExitFailed;
    }
    std::vector<std::string> origins;
    if (all) {
        origins = pins.origins();
        if (origins.empty()) {
            context.out << "no portal is pinned yet (" << pins.path() << ")\n";
            context.out.flush();
            return kExitOk;
        }
    }
    for (const std::string& portal : portals) {
        const std::string origin = pinOrigin(portal);
        if (origin.empty()) {
            context.err << kPrefix << quoted(terminalText(portal))
                        << " is not the address of an HTTPS portal (https://HOST:PORT)\n";
            return kExitUsage;
        }
        origins.push_back(origin);
    }

    // Asked for through the proxy of the settings file, the way the checks reach the portals.
    std::string proxyHost;
    long proxyPort = 0;
    if (settingsFileExists(context.settingsPath)) {
        const ProxySettings proxy = readStartup(context.settingsPath).proxy;
        if (proxy.enabled) {
            proxyHost = proxy.address;
            try {
                if (!proxy.port.empty()) proxyPort = strToInt(proxy.port);
            } catch (const EConvertError& e) {
                context.err << kPrefix << e.what() << " (the proxy port of " << context.settingsPath << ")\n";
                return kExitFailed;
            }
        }
    }

    bool failed = false;
    for (const std::string& origin : origins) {
        const PresentedKey key = fetchPresentedKey(origin, proxyHost, proxyPort, kPortalConnectTimeout);
        if (key.pin.empty()) {
            failed = true;
            context.err << kPrefix << "cannot reach " << origin << ": " << terminalText(key.error) << '\n';
            continue;
        }
        const std::string old = pins.pinOf(origin);
        if (old == key.pin) {
            context.out << origin << ": shows the pinned key " << key.pin << '\n';
            continue;
        }
        if (const std::string error = pins.setPin(origin, key.pin); !error.empty()) {
            failed = true;
            context.err << kPrefix << "cannot write " << error << '\n';
            continue;
        }
        context.out << origin << ": now trusting " << key.pin
                    << (old.empty() ? std::string(" (not pinned before)") : " in place of " + old) << '\n';
    }
    context.out.flush();
    return failed ? kExitFailed : kExitOk;
}

}  // namespace korvex
