#pragma once
// korvex-cli's side of passwords kept in the desktop's keyring (settings/keyring_passwords.h): the
// commands that need passwords (refresh, import, export) take them from the keyring when the settings
// file says so, and save through it. import and export stop with one line on `err` when the keyring
// cannot be read; refresh checks the other accounts and names the ones it held back.
#include <optional>
#include <string>
#include <vector>

#include "book/account_book.h"
#include "korvex-cli/cli_commands.h"
#include "net/proxy_settings.h"
#include "platform/secret_service_keyring.h"
#include "settings/keyring_passwords.h"

namespace korvex {

class CliKeyring {
public:
    // `enabled`: the settings file keeps its passwords in the keyring (read from the file when not given).
    explicit CliKeyring(const std::string& settingsPath, std::optional<bool> enabled = std::nullopt);

    // The settings file keeps its passwords in the keyring.
    bool enabled() const { return m_book.has_value(); }
    // What the save goes through: null when the passwords live in the file.
    KeyringBook* book() { return m_book ? &*m_book : nullptr; }

    // After the load: the keyring's passwords into `book`. Answers false, with one line on `err`
    // ending in `nothingDone` ("nothing was exported"), when the keyring cannot be read.
    bool fill(const CliContext& context, AccountBook& book, const char* nothingDone);
    // The same for a refresh: answers the rows whose password the keyring did not give (none when it
    // gave them all), for the run to hold back.
    std::vector<int> fillForRun(AccountBook& book);
    // The one line that says why the keyring gave no passwords, ending in `consequence`.
    void sayNotRead(const CliContext& context, const std::string& consequence) const;

    // After a save through the keyring: a password the keyring did not take stays in the file; that
    // is said on `err` and answered false. Passwords never read (a locked keyring) were said already.
    bool saidAfterSave(const CliContext& context, const KeyringAnswer& answer) const;

private:
    SecretServiceKeyring m_keyring;
    std::optional<KeyringBook> m_book;
    KeyringAnswer m_fillAnswer;
};

}  // namespace korvex
