#include "korvex-cli/cli_keyring.h"

#include <ostream>

#include "korvex-cli/balance_table.h"

namespace korvex {

CliKeyring::CliKeyring(const std::string& settingsPath) {
    if (keyringEnabled(settingsPath)) m_book.emplace(m_keyring, settingsPath);
}

bool CliKeyring::fill(const CliContext& context, AccountBook& book, const char* nothingDone) {
    if (!m_book) return true;
    const KeyringAnswer answer = m_book->fill(book);
    if (answer.ok()) return true;
    context.err << "korvex-cli: the passwords of " << context.settingsPath
                << " are kept in the desktop's keyring, and " << terminalText(answer.message) << "; "
                << nothingDone << " (unlock the keyring in the desktop session)\n";
    return false;
}

bool CliKeyring::save(const CliContext& context, const AccountBook& book, const ProxySettings& proxy,
                      int emptyRowsTo) {
    const KeyringAnswer answer = m_book->save(book, proxy, emptyRowsTo);
    if (answer.ok()) return true;
    context.err << "korvex-cli: saved, but the keyring did not take every password ("
                << terminalText(answer.message) << "); those stay in " << context.settingsPath << '\n';
    return false;
}

}  // namespace korvex
