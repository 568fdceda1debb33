#pragma once
// The Secret Service (GNOME Keyring, KWallet) through libsecret. Each entry is one item in the
// default keyring, with the attributes "program" ("korvex"), "book", "login" and "plan" (UTF-8; the
// cells' cp1251 converted) and the password as its text secret.
//
// Nothing here asks the user to unlock the keyring: a locked one is answered as Locked, so that a
// cron job does not wait for a prompt that nobody sees. Every call is synchronous, on the calling
// thread, and bounded by D-Bus's own time-out.
#include "platform/password_keyring.h"

namespace korvex {

class SecretServiceKeyring final : public PasswordKeyring {
public:
    KeyringAnswer readAll(const std::string& book, std::vector<KeyringEntry>& entries) override;
    KeyringAnswer write(const std::string& book, const KeyringEntry& entry,
                        const std::string& label) override;
    KeyringAnswer remove(const std::string& book, const std::string& login,
                         const std::string& planCode) override;
    KeyringAnswer removeAll(const std::string& book) override;
};

}  // namespace korvex
