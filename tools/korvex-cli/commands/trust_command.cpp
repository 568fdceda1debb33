#include <ostream>

#include "korvex-cli/command_table.h"
#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/cli_support.h"
#include "net/curl1_setup.h"
#include "net/portal_pins.h"
#include "net/str_to_int.h"

namespace korvex {

namespace {

// The proxy of the settings file, through which the checks reach the portals; answers false with the
// message written when its port is not a number.
bool proxyOfSettings(const CliContext& context, std::string& host, long& port) {
    if (!settingsFileExists(context.settingsPath)) return true;
    const ProxySettings proxy = readStartup(context.settingsPath).proxy;
    if (!proxy.enabled) return true;
    host = proxy.address;
    try {
        if (!proxy.port.empty()) port = strToInt(proxy.port);
    } catch (const EConvertError& e) {
        context.err << kPrefix << e.what() << " (the proxy port of " << context.settingsPath << ")\n";
        return false;
    }
    return true;
}

}  // namespace

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

    std::string proxyHost;
    long proxyPort = 0;
    if (!proxyOfSettings(context, proxyHost, proxyPort)) return kExitFailed;

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

namespace {

constexpr CliOption kTrustOptions[] = {
    {.name = "--all",
     .help = "every portal pinned so far",
     .set = [](CliInvocation& call, const std::string&, int) { call.all = true; }},
};

void trustFinish(CliInvocation& call, const std::vector<std::string>& operands) {
    if (call.all && !operands.empty()) throw CliUsageError("trust takes portals or --all, not both", call.command);
    if (!call.all && operands.empty())
        throw CliUsageError("trust needs a portal (https://HOST:PORT) or --all", call.command);
    call.portals = operands;
}

int runTrust(CliContext& context, const CliInvocation& call) {
    return trustCommand(context, call.portals, call.all);
}

}  // namespace

const CliCommandRow kTrustRow{
    .command = CliCommand::Trust,
    .name = "trust",
    .operands = "PORTAL...",
    .summary = "accept a portal's new certificate",
    .description =
        "The first connection to a portal pins the public key of its certificate in\n"
        "Portals.pins beside the settings file; a portal that later shows another key gets\n"
        "no request, as its certificate may be forged to catch the passwords. When the\n"
        "portal has changed its certificate itself, trust asks it for its key now (a TLS\n"
        "handshake through the proxy of the settings file, nothing sent) and pins that key,\n"
        "printing the old and the new one. PORTAL is https://HOST:PORT as the error named it;\n"
        "--all in place of the portals takes every one pinned.\n",
    .options = kTrustOptions,
    .onlyReads = alwaysWrites,
    .readsPortals = true,
    .finish = trustFinish,
    .run = runTrust,
};

}  // namespace korvex
