#include "korvex-cli/cli_keyring.h"

#include <ostream>

#include "korvex-cli/balance_table.h"
#include "settings/keyring_advice.h"

namespace korvex {

CliKeyring::CliKeyring(const std::string& settingsPath) {
    if (keyringEnabled(settingsPath)) m_book.emplace(m_keyring, settingsPath);
}

bool CliKeyring::fill(const CliContext& context, AccountBook& book, const char* nothingDone) {
    if (!m_book) return true;
    const KeyringAnswer answer = m_book->fill(book);
    if (answer.ok()) return true;
    const KeyringAdvice advice = keyringAdvice(answer, NoticeLanguage::English);
    context.err << "korvex-cli: the passwords of " << context.settingsPath
                << " are kept in the desktop's keyring, but " << terminalText(advice.reason) << "; "
                << nothingDone << ". " << terminalText(advice.todo) << '\n';
    return false;
}

bool CliKeyring::save(const CliContext& context, const AccountBook& book, const ProxySettings& proxy,
                      int emptyRowsTo) {
    const KeyringAnswer answer = m_book->save(book, proxy, emptyRowsTo);
    if (answer.ok()) return true;
    const KeyringAdvice advice = keyringAdvice(answer, NoticeLanguage::English);
    context.err << "korvex-cli: saved, but the keyring did not take every password ("
                << terminalText(advice.reason) << "); those stay in " << context.settingsPath << ". "
                << terminalText(advice.todo) << '\n';
    return false;
}

}  // namespace korvex
