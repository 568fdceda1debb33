#include "settings/keyring_passwords.h"

#include <filesystem>
#include <set>

#include "platform/codepage.h"
#include "settings/enc_dec.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"

namespace korvex {

namespace {

constexpr const char* kEnabledKey = "Passwords";

using Account = std::pair<std::string, std::string>;

std::string fullName(const std::string& path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

// The settings file's real path: links followed, so that the window and korvex-cli, started from
// anywhere, file the passwords of one book under one name.
std::string realPath(const std::string& path) {
    std::error_code ec;
    const auto real = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return ec ? fullName(path) : real.string();
}

std::string keyOf(const char* prefix, int row) {
    return prefix + std::to_string(row);
}

// What the keyring manager shows: "Korvex: login (plan), holder".
std::string labelOf(const std::string& login, const std::string& planCode, const std::string& holder) {
    std::string label = "Korvex: " + cp1251ToUtf8(login) + " (" + cp1251ToUtf8(planCode) + ")";
    if (!holder.empty()) label += ", " + cp1251ToUtf8(holder);
    return label;
}

// One account row as the keyring sees it.
struct AccountRow {
    int row = 0;
    Account account;
    std::string holder;
    std::string password;
};

// The password each account's rows agree on. Rows of one account with different passwords cannot
// share one entry: those passwords stay in the file.
struct Wanted {
    std::string password;
    std::string label;
    bool conflict = false;
};

std::map<Account, Wanted> wantedPasswords(const std::vector<AccountRow>& rows) {
    std::map<Account, Wanted> wanted;
    for (const AccountRow& r : rows) {
        if (r.password.empty()) continue;
        const auto [at, added] = wanted.try_emplace(
            r.account, Wanted{r.password, labelOf(r.account.first, r.account.second, r.holder)});
        if (!added && at->second.password != r.password) at->second.conflict = true;
    }
    return wanted;
}

std::map<Account, std::string> byAccount(const std::vector<KeyringEntry>& entries) {
    std::map<Account, std::string> held;
    for (const KeyringEntry& e : entries) held[{e.login, e.planCode}] = e.password;
    return held;
}

// Writes each wanted password the keyring does not hold yet, then reads the keyring back. `held`
// becomes what the keyring gave back; a password not there equal must stay in the file. Answers
// the first problem.
KeyringAnswer putAndReadBack(PasswordKeyring& keyring, const std::string& book,
                             const std::map<Account, Wanted>& wanted, std::map<Account, std::string>& held) {
    held.clear();
    std::vector<KeyringEntry> entries;
    KeyringAnswer answer = keyring.readAll(book, entries);
    if (!answer.ok()) return answer;
    held = byAccount(entries);
    std::set<Account> written;
    for (const auto& [account, want] : wanted) {
        if (want.conflict) continue;
        const auto there = held.find(account);
        if (there != held.end() && there->second == want.password) continue;
        answer = keyring.write(book, {account.first, account.second, want.password}, want.label);
        if (!answer.ok()) break;
        written.insert(account);
    }
    if (written.empty() && answer.ok()) return answer;
    // Only what the keyring gives back counts as kept.
    const KeyringAnswer reread = keyring.readAll(book, entries);
    if (!reread.ok()) {
        for (const Account& account : written) held.erase(account);
        return answer.ok() ? reread : answer;
    }
    held = byAccount(entries);
    if (answer.ok()) {
        for (const Account& account : written) {
            const auto there = held.find(account);
            if (there == held.end() || there->second != wanted.at(account).password)
                return {KeyringState::Failed, "the keyring gave a password back changed or not at all"};
        }
    }
    return answer;
}

// Every row of the file that holds anything of an account, rows beyond the count included.
std::vector<AccountRow> fileRows(const IniFile& ini) {
    std::vector<AccountRow> rows;
    for (int n = 0; n < kMaxAccounts; ++n) {
        AccountRow r{n,
                     {decode(ini.value(kAuthSection, keyOf("Login_", n))),
                      decode(ini.value(kAuthSection, keyOf("Sputnik_", n)))},
                     decode(ini.value(kAuthSection, keyOf("FIO_", n))),
                     decode(ini.value(kAuthSection, keyOf("Password_", n)))};
        if (!r.account.first.empty() || !r.account.second.empty() || !r.holder.empty() || !r.password.empty())
            rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<AccountRow> bookRows(const AccountBook& book) {
    std::vector<AccountRow> rows;
    for (int n = 0; n < book.clients; ++n) {
        rows.push_back({n,
                        {book.client.cell(kLogin, n), book.client.cell(kPlanCode, n)},
                        book.client.cell(kHolder, n),
                        book.client.cell(kPassword, n)});
    }
    return rows;
}

bool keeps(const std::map<Account, Wanted>& wanted, const std::map<Account, std::string>& held,
           const AccountRow& r) {
    if (r.password.empty()) return false;
    const auto want = wanted.find(r.account);
    const auto there = held.find(r.account);
    return want != wanted.end() && !want->second.conflict && there != held.end() &&
           there->second == r.password;
}

void step(const KeyringStepHook& hook, std::string_view name) {
    if (hook) hook(name);
}

}  // namespace

bool keyringEnabled(const std::string& path) {
    IniFile ini;
    ini.load(path);
    return keyringEnabled(ini);
}

bool keyringEnabled(const IniFile& ini) {
    return ini.value(kKeyringSection, kEnabledKey) == "1";
}

KeyringBook::KeyringBook(PasswordKeyring& keyring, const std::string& settingsPath)
    : m_keyring(keyring), m_path(settingsPath), m_bookId(realPath(settingsPath)) {}

KeyringAnswer KeyringBook::fill(AccountBook& book) {
    m_missing = false;
    std::vector<KeyringEntry> entries;
    const KeyringAnswer answer = m_keyring.readAll(m_bookId, entries);
    if (!answer.ok()) {
        m_missing = true;
        return answer;
    }
    const std::map<Account, std::string> held = byAccount(entries);
    for (int n = 0; n < book.clients; ++n) {
        if (!book.client.cell(kPassword, n).empty()) continue;
        const Account account{book.client.cell(kLogin, n), book.client.cell(kPlanCode, n)};
        const auto there = held.find(account);
        if (there == held.end()) continue;
        book.client.setCell(kPassword, n, there->second);
        m_known[account] = there->second;
    }
    return answer;
}

std::vector<int> KeyringBook::rowsWaiting(const AccountBook& book) const {
    std::vector<int> rows;
    if (!m_missing) return rows;
    for (int n = 0; n < book.clients; ++n)
        if (!book.client.cell(kLogin, n).empty() && book.client.cell(kPassword, n).empty()) rows.push_back(n);
    return rows;
}

KeyringAnswer KeyringBook::save(const AccountBook& book, const ProxySettings& proxy, int emptyRowsTo,
                                const KeyringStepHook& hook, const IniFile* base, IniFile* written) {
    const std::vector<AccountRow> rows = bookRows(book);
    const std::map<Account, Wanted> wanted = wantedPasswords(rows);
    std::map<Account, std::string> held;
    KeyringAnswer answer;
    if (m_missing) {
        // The passwords were never read: an empty cell says nothing, and the keyring is left alone
        // until a load reads it. Typed passwords stay in the file.
        answer = {KeyringState::Failed, "the passwords were not read from the keyring"};
    } else {
        answer = putAndReadBack(m_keyring, m_bookId, wanted, held);
        // A keyring that cannot be read now still holds what it gave out before.
        if (!answer.ok() && held.empty()) held = m_known;
    }
    step(hook, "keyring-written");

    AccountBook stored = book;
    std::set<Account> emptied;
    for (const AccountRow& r : rows) {
        if (keeps(wanted, held, r)) {
            stored.client.setCell(kPassword, r.row, std::string());
            m_known[r.account] = r.password;
        } else if (r.password.empty() && !wanted.contains(r.account)) {
            emptied.insert(r.account);
        }
    }
    const IniFile ini = zapis(stored, proxy, m_path, emptyRowsTo, base);
    if (written) *written = ini;
    step(hook, "file-saved");
    if (m_missing || !answer.ok()) return answer;

    // Entries no row needs any more: the account was deleted or renamed (the file holds it nowhere,
    // rows beyond the count included), or its password was emptied.
    std::set<Account> inFile;
    for (const AccountRow& r : fileRows(ini)) inFile.insert(r.account);
    for (auto at = m_known.begin(); at != m_known.end();) {
        if (inFile.contains(at->first) && !emptied.contains(at->first)) {
            ++at;
            continue;
        }
        answer = m_keyring.remove(m_bookId, at->first.first, at->first.second);
        if (!answer.ok()) return answer;
        at = m_known.erase(at);
    }
    return answer;
}

KeyringAnswer KeyringBook::turnOn(const KeyringStepHook& hook) {
    IniFile ini = loadSettingsForUpdate(m_path);
    const std::vector<AccountRow> rows = fileRows(ini);
    const std::map<Account, Wanted> wanted = wantedPasswords(rows);
    std::map<Account, std::string> held;
    const KeyringAnswer answer = putAndReadBack(m_keyring, m_bookId, wanted, held);
    if (!answer.ok()) return answer;
    step(hook, "keyring-written");
    for (const AccountRow& r : rows) {
        if (!keeps(wanted, held, r)) continue;
        ini.setValue(kAuthSection, keyOf("Password_", r.row), encode(""));
        m_known[r.account] = r.password;
    }
    ini.setValue(kKeyringSection, kEnabledKey, "1");
    storeSettings(ini, m_path);
    step(hook, "file-saved");
    m_missing = false;
    return answer;
}

KeyringAnswer KeyringBook::turnOff(const KeyringStepHook& hook) {
    IniFile ini = loadSettingsForUpdate(m_path);
    std::vector<KeyringEntry> entries;
    KeyringAnswer answer = m_keyring.readAll(m_bookId, entries);
    if (!answer.ok()) return answer;
    const std::map<Account, std::string> held = byAccount(entries);
    for (const AccountRow& r : fileRows(ini)) {
        const auto there = held.find(r.account);
        if (r.password.empty() && there != held.end())
            ini.setValue(kAuthSection, keyOf("Password_", r.row), encode(there->second));
    }
    ini.setValue(kKeyringSection, kEnabledKey, "0");
    storeSettings(ini, m_path);
    step(hook, "file-saved");
    m_known.clear();
    m_missing = false;
    return m_keyring.removeAll(m_bookId);
}

BookSaveAnswer saveBook(const AccountBook& book, const ProxySettings& proxy, const std::string& path,
                        KeyringBook* keyring, int emptyRowsTo, const IniFile* base) {
    BookSaveAnswer answer;
    const bool wasOpen = settingsOpenToOthers(path);
    if (keyring)
        answer.keyring = keyring->save(book, proxy, emptyRowsTo, {}, base, &answer.written);
    else
        answer.written = zapis(book, proxy, path, emptyRowsTo, base);
    answer.madePrivate = wasOpen && !settingsOpenToOthers(path);
    return answer;
}

}  // namespace korvex
