#include "korvex-cli/cli_keyring.h"

#include <ostream>

#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_support.h"
#include "settings/keyring_advice.h"

namespace korvex {

CliKeyring::CliKeyring(const std::string& settingsPath, std::optional<bool> enabled) {
    // Asked of the file only when the caller has not read it already.
    if (enabled ? *enabled : keyringEnabled(settingsPath)) m_book.emplace(m_keyring, settingsPath);
}

bool CliKeyring::fill(const CliContext& context, AccountBook& book, const char* nothingDone) {
    if (fillForRun(book).empty() && m_fillAnswer.ok()) return true;
    sayNotRead(context, nothingDone);
    return false;
}

std::vector<int> CliKeyring::fillForRun(AccountBook& book) {
    if (!m_book) return {};
    m_fillAnswer = m_book->fill(book);
    return m_book->rowsWaiting(book);
}

void CliKeyring::sayNotRead(const CliContext& context, const std::string& consequence) const {
    const KeyringAdvice advice = keyringAdvice(m_fillAnswer, NoticeLanguage::English);
    context.err << kPrefix << "the passwords of " << context.settingsPath
                << " are kept in the desktop's keyring, but " << terminalText(advice.reason) << "; "
                << consequence << ". " << terminalText(advice.todo) << '\n';
}

bool CliKeyring::saidAfterSave(const CliContext& context, const KeyringAnswer& answer) const {
    if (answer.ok() || (m_book && m_book->passwordsMissing())) return true;
    const KeyringAdvice advice = keyringAdvice(answer, NoticeLanguage::English);
    context.err << kPrefix << "saved, but the keyring did not take every password ("
                << terminalText(advice.reason) << "); those stay in " << context.settingsPath << ". "
                << terminalText(advice.todo) << '\n';
    return false;
}

}  // namespace korvex
