#pragma once
// A keyring of the test's own, for tests of the layers above the Secret Service (the real one is
// tests/settings/keyring_passwords_test.cpp).
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/password_keyring.h"
#include "settings/enc_dec.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"

namespace korvex::test {

// The password the settings file at `path` holds for the account of `row` (0-based), decoded;
// "" when it holds none, as while the keyring keeps them.
inline std::string filePassword(const std::string& path, int row) {
    IniFile ini;
    ini.load(path);
    return decode(ini.value(kAuthSection, "Password_" + std::to_string(row)));
}

// Entries in a map, by book and account; `state` (and `absence`) answers every call when not Ready, and
// `spoil` changes what write() keeps.
class MapKeyring final : public PasswordKeyring {
public:
    using Key = std::pair<std::string, std::pair<std::string, std::string>>;
    std::map<Key, std::string> entries;
    KeyringState state = KeyringState::Ready;
    KeyringAbsence absence = KeyringAbsence::NoSecretService;  // with state Absent
    std::string spoil;
    int changes = 0;  // writes and removals asked for

    KeyringAnswer readAll(const std::string& book, std::vector<KeyringEntry>& out) override {
        out.clear();
        if (state != KeyringState::Ready) return notReady();
        for (const auto& [key, password] : entries)
            if (key.first == book) out.push_back({key.second.first, key.second.second, password});
        return {};
    }
    KeyringAnswer write(const std::string& book, const KeyringEntry& e, const std::string&) override {
        ++changes;
        if (state != KeyringState::Ready) return notReady();
        entries[{book, {e.login, e.planCode}}] = e.password + spoil;
        return {};
    }
    KeyringAnswer remove(const std::string& book, const std::string& login,
                         const std::string& plan) override {
        ++changes;
        if (state != KeyringState::Ready) return notReady();
        entries.erase({book, {login, plan}});
        return {};
    }
    KeyringAnswer removeAll(const std::string& book) override {
        ++changes;
        if (state != KeyringState::Ready) return notReady();
        std::erase_if(entries, [&](const auto& e) { return e.first.first == book; });
        return {};
    }

private:
    KeyringAnswer notReady() const { return {state, "not ready", absence}; }
};

}  // namespace korvex::test
