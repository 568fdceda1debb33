#include "korvex-cli/cli_support.h"

#include <fcntl.h>
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

bool loadSettings(const CliContext& context, AccountBook& book, ProxySettings& proxy,
                  StartupValues* startOut) {
    const std::string& path = context.settingsPath;
    // Non-blocking: a FIFO in the file's place must not hang the command.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    const int openError = errno;
    if (fd < 0 && openError == ENOENT) {
        context.err << kPrefix << "there is no settings file " << path
                    << " (start korvex once, or bring accounts in with korvex-cli import FILE.csv)\n";
        return false;
    }
    // A folder, a file without permission or bytes that are not a settings file would load as an
    // empty book, and a save would write over them.
    SettingsFileState state = settingsFileState(fd < 0 ? path : openedFilePath(fd, path));
    if (fd < 0 && state.usable()) state = {SettingsFileState::Unreadable, {openError, std::generic_category()}};
    if (!state.usable()) {
        if (fd >= 0) ::close(fd);
        context.err << kPrefix << settingsFileProblem(path, state) << '\n';
        return false;
    }
    const std::string opened = openedFilePath(fd, path);
    const StartupValues start = readStartup(opened);
    proxy = start.proxy;
    book.setCount(start.count);
    read(book, opened);
    ::close(fd);
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
    return true;
}

bool save(const CliContext& context, const AccountBook& book, const ProxySettings& proxy, int emptyRowsTo,
          CliKeyring* keyring) {
    try {
        const SignalHold hold;
        const bool wasOpen = settingsOpenToOthers(context.settingsPath);
        const bool saved = keyring && keyring->enabled() ? keyring->save(context, book, proxy, emptyRowsTo)
                                                         : (zapis(book, proxy, context.settingsPath, emptyRowsTo), true);
        if (wasOpen && !settingsOpenToOthers(context.settingsPath))
            context.err << kPrefix << context.settingsPath << ' ' << kSettingsMadePrivate << '\n';
        return saved;
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
