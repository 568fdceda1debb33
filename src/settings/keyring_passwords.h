#pragma once
// Passwords kept in the desktop's keyring instead of Settings.ini, when the user asks for it. Off by
// default: then nothing here is called and the file is what it has always been.
//
// While it is on, section "KEYRING" holds "Passwords=1" and an account's "Password_n" is empty: its
// password is the keyring's entry for the account (the login and plan code of the row, in this book).
// A "Password_n" that holds text wins over the keyring; that is how a password stands that could
// not be put into the keyring (a locked keyring, two rows of one account with different passwords).
//
// A password is never in neither place: a change writes the keyring first and reads it back, and
// only a password the keyring gave back equal is taken out of the file, by a save that replaces the
// file whole (IniFile::save). A kill between the steps leaves each password in the file, in the
// keyring, or in both.
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "book/account_book.h"
#include "net/proxy_settings.h"
#include "platform/password_keyring.h"
#include "settings/ini_file.h"

namespace korvex {

inline constexpr const char* kKeyringSection = "KEYRING";

// True when the settings file at `path` keeps its passwords in the keyring.
bool keyringEnabled(const std::string& path);
bool keyringEnabled(const IniFile& ini);

// Called after each step of a change, by name, so that a test can stop the program there:
//   "keyring-written"  the keyring holds the passwords and gave them back; the file is as it was
//   "file-saved"       the file is written; entries the keyring no longer needs are still there
using KeyringStepHook = std::function<void(std::string_view step)>;

// The passwords of one settings file while they live in the keyring. The window and korvex-cli
// hold one for as long as they work on the file. Not thread-safe: the thread that loads and saves.
class KeyringBook {
public:
    // The keyring must outlive this object.
    KeyringBook(PasswordKeyring& keyring, const std::string& settingsPath);

    // What the keyring's entries are filed under: the settings file's real path.
    const std::string& bookId() const { return m_bookId; }

    // After read(): puts the keyring's passwords into the empty password cells of rows
    // 0..clients-1. When the keyring cannot be read, the cells stay empty and the answer says why;
    // until a later fill succeeds, saves leave the keyring alone (see save).
    KeyringAnswer fill(AccountBook& book);
    // The last fill could not read the keyring.
    bool passwordsMissing() const { return m_missing; }
    // Rows 0..clients-1 whose password is the keyring's and was not read: a login and an empty
    // password cell while passwordsMissing().
    std::vector<int> rowsWaiting(const AccountBook& book) const;

    // zapis while the passwords live in the keyring: the rows' passwords go into the keyring (each
    // read back), then the file is saved with those rows' "Password_n" empty, then the entries of
    // accounts that the file no longer holds, or whose password was emptied, are removed. A password
    // the keyring did not take stays in the file, and the answer says why (the save itself went
    // through). Throws SettingsWriteError as zapis does; the keyring may then hold passwords the
    // file holds as well. `base`: the file as the caller read it (see zapis); `written`, when
    // given, gets the text the save wrote.
    KeyringAnswer save(const AccountBook& book, const ProxySettings& proxy, int emptyRowsTo = 0,
                       const KeyringStepHook& step = {}, const IniFile* base = nullptr,
                       IniFile* written = nullptr);

    // Turning the option on: every password of the file (rows beyond the count too) into the
    // keyring, read back, then "Password_n" emptied and "Passwords=1" in one save. Not Ready:
    // nothing in the file changed. Throws SettingsWriteError when the file cannot be read or written.
    KeyringAnswer turnOn(const KeyringStepHook& step = {});
    // Turning it off: the keyring's passwords into the file's empty "Password_n" and "Passwords=0" in
    // one save, then the book's entries removed from the keyring. A keyring that cannot be read
    // refuses (Not Ready, nothing changed); one that cannot remove its entries is said after the
    // save. Throws SettingsWriteError.
    KeyringAnswer turnOff(const KeyringStepHook& step = {});

private:
    using Account = std::pair<std::string, std::string>;  // login, plan code

    PasswordKeyring& m_keyring;
    std::string m_path;
    std::string m_bookId;
    bool m_missing = false;
    // The accounts whose entry this object read or wrote, with the password the entry held: only
    // these are ever removed, so an entry nobody here has seen (a locked keyring at the load) stays.
    std::map<Account, std::string> m_known;
};

// What the one save of a book answers.
struct BookSaveAnswer {
    KeyringAnswer keyring;     // Ready when the keyring took every password, or was not used
    bool madePrivate = false;  // the file was open to others and is the user's alone now (say it once)
    IniFile written;           // the text the save wrote
};

// The one save of a book, for both fronts: through `keyring` while the file keeps its passwords
// there (not null), into the file otherwise (zapis; `base` as there). Throws SettingsWriteError.
BookSaveAnswer saveBook(const AccountBook& book, const ProxySettings& proxy, const std::string& path,
                        KeyringBook* keyring, int emptyRowsTo = 0, const IniFile* base = nullptr);

}  // namespace korvex
