#include "korvex-cli/cli_support.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_keyring.h"
#include "korvex-cli/stop_signals.h"
#include "platform/codepage.h"

namespace korvex {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string rowName(const AccountBook& book, int row) {
    std::string name = "row " + std::to_string(row + 1);
    const std::string& login = book.client.cell(kLogin, row);
    if (!login.empty()) name += " (" + terminalText(cp1251ToUtf8(login)) + ")";
    return name;
}

bool loadSettings(const CliContext& context, AccountBook& book, ProxySettings& proxy, StartupValues* startOut,
                  BookSettings* settingsOut) {
    const std::string& path = context.settingsPath;
    // One open of the file by name: everything below is read from the text it gave, so a save by
    // the window meanwhile (which replaces the file whole) cannot mix two files.
    BookSettings settings = loadBookSettings(path);
    if (settings.state.kind == SettingsFileState::Missing) {
        context.err << kPrefix << "there is no settings file " << path
                    << " (start korvex once, or bring accounts in with korvex-cli import FILE.csv)\n";
        return false;
    }
    // A folder, a file without permission or bytes that are not a settings file would load as an
    // empty book, and a save would write over them.
    if (!settings.state.usable()) {
        context.err << kPrefix << settingsFileProblem(path, settings.state) << '\n';
        return false;
    }
    const StartupValues& start = settings.start;
    proxy = start.proxy;
    settings.readBook(book);
    if (start.countDamaged) {
        context.err << kPrefix << "warning: the account count of " << path << " cannot be read (Count="
                    << quoted(terminalText(cp1251ToUtf8(start.countText))) << "), so " << book.clients
                    << (book.clients == 1 ? " account is" : " accounts are") << " taken; the file holds "
                    << start.accountRows << (start.accountRows == 1 ? " account\n" : " accounts\n");
    }
    if (start.rowsBeyondMax > 0) {
        context.err << kPrefix << "warning: " << path << " holds " << start.rowsBeyondMax
                    << (start.rowsBeyondMax == 1 ? " account" : " accounts") << " beyond row " << kMaxAccounts
                    << ", left unread (Korvex reads " << kMaxAccounts
                    << " accounts); saves keep them in the file as they are\n";
    }
    if (startOut) *startOut = start;
    if (settingsOut) *settingsOut = std::move(settings);
    return true;
}

bool save(const CliContext& context, const AccountBook& book, const ProxySettings& proxy, int emptyRowsTo,
          CliKeyring* keyring, BookSettings* settings) {
    try {
        const SignalHold hold;
        KeyringBook* through = keyring ? keyring->book() : nullptr;
        const BookSaveAnswer answer = settings ? settings->save(book, proxy, through, emptyRowsTo)
                                               : saveBook(book, proxy, context.settingsPath, through, emptyRowsTo);
        if (answer.madePrivate) context.err << kPrefix << context.settingsPath << ' ' << kSettingsMadePrivate << '\n';
        return !keyring || keyring->saidAfterSave(context, answer.keyring);
    } catch (const SettingsWriteError& e) {
        context.err << kPrefix << e.what() << '\n';
        return false;
    }
}

std::string openedFilePath(int fd, const std::string& path) {
    const std::string alias = "/proc/self/fd/" + std::to_string(fd);
    return ::access(alias.c_str(), R_OK) == 0 ? alias : path;
}

bool loadAccountBook(const CliContext& context, AccountBook& book) {
    ProxySettings proxy;
    return loadSettings(context, book, proxy);
}

}  // namespace korvex
