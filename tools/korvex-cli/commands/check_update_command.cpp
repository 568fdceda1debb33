#include "korvex-cli/stop_signals.h"
#include "korvex-cli/command_table.h"
#include "korvex-cli/commands/check_update_command.h"

#include <ostream>

#include "net/http_transfer.h"
#include "net/proxy_check.h"
#include "platform/codepage.h"
#include "settings/settings_file.h"
#include "update/engine/dispatcher.h"
#include "update/install/handover.h"
#include "update/updater/previous_version.h"
#include "update/updater/program_settings.h"
#include "update/engine/url.h"

namespace korvex {

namespace {

constexpr const char* kPrefix = "korvex-cli: ";

// One line that tells the causes of a failed check apart; "" when it did not fail.
std::string failureLine(const TupUpdater& updater) {
    const std::string url = printableText(updater.InfoFileURL);
    const auto parts = crackUrl(updater.InfoFileURL);
    const std::string host = printableText(parts ? parts->host : std::string{});
    if (!updater.RefusedEntry().empty())
        return "the update information at " + url +
               " names a file outside the folders an update may write: " + printableText(updater.RefusedEntry());
    switch (updater.CheckFailure()) {
        case UpCheckFailure::None:
            return {};
        case UpCheckFailure::NoConnection:
            return "the update server " + host + " cannot be reached (" + url + ")";
        case UpCheckFailure::RedirectRefused:
            return "the update server redirected to a scheme Korvex does not follow (" + url + ")";
        case UpCheckFailure::TimedOut:
            return "the update server " + host + " did not send the update information within " +
                   std::to_string(updater.InfoFileTimeLimit) + " s (" + url + ")";
        case UpCheckFailure::HttpStatus:
            return "the update server has no update information at " + url + " (status " +
                   std::to_string(updater.StatusCode()) + ")";
        case UpCheckFailure::ConnectionLost:
            return "the connection broke off while reading " + url;
        case UpCheckFailure::TooLarge:
            return "the update information at " + url + " is larger than " +
                   std::to_string(update::kMaxInfoFileSize) + " bytes and was not read";
        case UpCheckFailure::NotTrusted:
        case UpCheckFailure::Expired:
            return "the update information at " + url +
                   " is not trusted: " + update::infoTrustText(updater.InfoFileTrust());
        case UpCheckFailure::NotAnInfoFile:
            return "the file at " + url +
                   " is not update information (it names no version, no date and no file)";
    }
    return {};
}

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
    if (context.updatePublicKey) updater.UpdatePublicKey = *context.updatePublicKey;
    applyUpdateProxy(proxyInForce({}, proxy), updater.Proxy);
    updater.UndoneVersion = update::readUndoneVersion(context.settingsPath);

    const bool offered = updater.CheckUpdate(true);
    std::string failure = failureLine(updater);
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
                << (updater.OfferedUndone() ? ", which was undone here; a newer one will be offered" : "") << ")\n";
    return kExitNoUpdate;
}

int updateCommand(const CliContext& context, bool undo) {
    const update::UpFolders& folders = update::upFolders();
    std::string refusal;
    const auto kept = update::keptPreviousVersion(folders, &refusal);
    if (!kept) {
        context.err << kPrefix << (refusal.empty() ? "no previous version is kept: there is nothing to undo" : refusal)
                    << '\n';
        return kExitFailed;
    }
    if (!undo) {
        context.out << "Version " << cp1251ToUtf8(printableText(kept->previous)) << " is kept; the last update "
                    << "replaced it with " << cp1251ToUtf8(printableText(kept->running))
                    << ". 'korvex-cli update --undo' puts it back.\n";
        return kExitOk;
    }
    if (const std::string failure = update::undoNow(folders, context.settingsPath); !failure.empty()) {
        context.err << kPrefix << failure << '\n';
        return kExitFailed;
    }
    context.out << update::releaseNews(folders.programFolder, NoticeLanguage::English, false) << '\n';
    return kExitOk;
}

namespace {

int runUpdate(CliContext& context, const CliInvocation& call) {
    return updateCommand(context, call.undo);
}

int runCheckUpdate(CliContext& context, const CliInvocation&) {
    const StopSignals signals;
    context.stop = &StopSignals::flag();
    return checkUpdateCommand(context);
}

}  // namespace

const CliCommandRow kCheckUpdateRow{
    .command = CliCommand::CheckUpdate,
    .name = "check-update",
    .summary = "ask whether a newer version of Korvex is offered",
    .description = "Asks the publisher's update information, as \"Авто-Обновить\" in the window does,\n"
                   "and prints the newer version offered with its message. Nothing is downloaded.\n"
                   "The proxy is the one of the settings file. It runs beside the window.\n",
    .epilogue = "Exit status 0 when a newer version is offered, 1 when not, 2 when the check failed,\n"
                "with one line on standard error that says why: no connection, no answer within\n"
                "60 s, an HTTP status, larger than 1 MiB, not trusted (and by which rule), or not\n"
                "update information at all.\n",
    .onlyReads = alwaysReads,
    .readsPortals = true,
    .finish = takesNoOperand,
    .run = runCheckUpdate,
};

constexpr CliOption kUpdateOptions[] = {
    {.name = "--undo",
     .help = "put the kept previous version back",
     .set = [](CliInvocation& call, const std::string&, int) { call.undo = true; }},
};

const CliCommandRow kUpdateRow{
    .command = CliCommand::Update,
    .name = "update",
    .summary = "name the version the last update replaced, or go back to it",
    .description = "Says which version the last update replaced and keeps for going back. With --undo\n"
                   "puts it back, every file or none, and takes away the files the update added; the\n"
                   "undone version is remembered in the settings file and not offered again until a\n"
                   "newer one appears. The Korvex window must be closed for --undo.\n",
    .epilogue = "Exit status 0 when a previous version is kept (or was put back), 1 with one line\n"
                "on standard error that says why not.\n",
    .options = kUpdateOptions,
    .onlyReads = [](const CliInvocation& call) { return !call.undo; },
    .finish = takesNoOperand,
    .run = runUpdate,
};

}  // namespace korvex
