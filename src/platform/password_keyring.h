#pragma once
// The desktop's keyring as the settings layer sees it: passwords kept per account of one settings
// file ("book"), an account being its login and plan code. secret_service_keyring.h is the real one;
// tests of the layers above may hand in their own.
//
// Texts are cp1251 bytes, as the tables hold them; the implementation converts what the keyring
// needs in another form.
#include <string>
#include <vector>

namespace korvex {

enum class KeyringState {
    Ready,   // the answer is what the keyring holds
    Locked,  // the keyring is there but locked: nothing could be read or written
    Absent,  // there is no keyring to ask (see KeyringAbsence)
    Failed   // the keyring answered with an error
};

// Why there is no keyring to ask; each wants another step of the user (settings/keyring_advice.h).
enum class KeyringAbsence {
    NoSessionBus,      // DBUS_SESSION_BUS_ADDRESS is not set: Korvex starts no bus of its own
    BusUnreachable,    // the bus that DBUS_SESSION_BUS_ADDRESS names does not answer
    NoSecretService,   // the bus answers, but no keyring (Secret Service) is on it
    NoDefaultKeyring,  // the keyring has no default collection to keep passwords in
};

struct KeyringAnswer {
    KeyringState state = KeyringState::Ready;
    std::string message;  // why not Ready, in English (UTF-8)
    KeyringAbsence absence = KeyringAbsence::NoSecretService;  // with Absent
    std::string reason;  // the system's own words (D-Bus, the keyring), "" when it gave none
    bool ok() const { return state == KeyringState::Ready; }
};

struct KeyringEntry {
    std::string login;
    std::string planCode;
    std::string password;
};

class PasswordKeyring {
public:
    virtual ~PasswordKeyring() = default;
    // Every password kept for the book `book` (the settings file's real path).
    virtual KeyringAnswer readAll(const std::string& book, std::vector<KeyringEntry>& entries) = 0;
    // Keeps `entry` for `book`, in place of an entry of the same account; `label` (UTF-8) is what the
    // desktop's keyring manager shows.
    virtual KeyringAnswer write(const std::string& book, const KeyringEntry& entry,
                                const std::string& label) = 0;
    // Removes the account's entry (none being there is no error).
    virtual KeyringAnswer remove(const std::string& book, const std::string& login,
                                 const std::string& planCode) = 0;
    // Removes every entry of `book`.
    virtual KeyringAnswer removeAll(const std::string& book) = 0;
};

}  // namespace korvex
