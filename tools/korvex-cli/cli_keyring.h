#pragma once
// korvex-cli's side of passwords kept in the desktop's keyring (settings/keyring_passwords.h): the
// commands that need passwords (refresh, import, export) take them from the keyring when the settings
// file says so, and save through it. A keyring that cannot be read stops the command with one line
// on `err` before anything is checked or written.
#include <optional>
#include <string>

#include "book/account_book.h"
#include "korvex-cli/cli_commands.h"
#include "net/proxy_settings.h"
#include "platform/secret_service_keyring.h"
#include "settings/keyring_passwords.h"

namespace korvex {

class CliKeyring {
public:
    explicit CliKeyring(const std::string& settingsPath);

    // The settings file keeps its passwords in the keyring.
    bool enabled() const { return m_book.has_value(); }

    // After the load: the keyring's passwords into `book`. Answers false, with one line on `err`
    // ending in `nothingDone` ("nothing was exported"), when the keyring cannot be read.
    bool fill(const CliContext& context, AccountBook& book, const char* nothingDone);

    // zapis through the keyring. Throws SettingsWriteError. A password the keyring did not take stays
    // in the file; that is said on `err` and answered false.
    bool save(const CliContext& context, const AccountBook& book, const ProxySettings& proxy,
              int emptyRowsTo);

private:
    SecretServiceKeyring m_keyring;
    std::optional<KeyringBook> m_book;
};

}  // namespace korvex
