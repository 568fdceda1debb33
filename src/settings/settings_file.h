#pragma once
// Settings.ini: the account count, the proxy setting, every account row and the last results of every
// balance row, each value passed through the value encoding (enc_dec.h). The window and korvex-cli
// both load and save through these routines.
//
// Section "AUTHENTICATION": "Count", "Proxy" ("-1" or "0"), "Adress", "Port", and per account row n
// "Login_n", "Password_n", "Sputnik_n", "FIO_n" (account columns 0..3). Section "DATA": per row n
// "Balans_n", "Past_n", "Plan_n", "Date_n", "Active_n" (balance columns 1..5). Balance columns 0, 6 and
// 7 are derived and not stored. Keys of rows at or beyond the account count stay in the file untouched,
// so lowering the count and raising it again brings those rows back; only a row that fell off the end
// because an account was deleted is written empty, so that the deleted password does not stay.
//
// The file is opened by name for every load and save; nothing stays open or cached in between.
#include <stdexcept>
#include <string>
#include <system_error>

#include "book/account_book.h"
#include "net/proxy_settings.h"
#include "settings/ini_file.h"

namespace korvex {

inline constexpr const char* kAuthSection = "AUTHENTICATION";
inline constexpr const char* kDataSection = "DATA";

// A save or the creation of the file failed. what() is "Unable to write to " and the file's full name,
// the text the window shows in its message box, then ": " and the reason: the step that failed and
// the system's reason, or why the file was not read first. The file on disk is as it was before the
// attempt.
class SettingsWriteError : public std::runtime_error {
public:
    SettingsWriteError(const std::string& fullName, const std::string& reason);
    const std::string& fileName() const { return m_fileName; }

private:
    std::string m_fileName;
};

// A Settings.ini that holds a password is its owner's alone (README): every save of such a text takes
// the permissions of group and others away from the file, so that an older file of mode 0644 becomes
// 0600. The bits a save of `ini` takes away: 077 when it holds a password, 0 otherwise.
unsigned settingsModeBitsToDrop(const IniFile& ini);
// True when the file at `path` grants group or others any permission. A front that finds it true
// before a save and false after says kSettingsMadePrivate once.
bool settingsOpenToOthers(const std::string& path);
inline constexpr const char* kSettingsMadePrivate =
    "holds passwords and could be read by other users of this computer; it is now readable by you alone "
    "(mode 0600)";

// True when `path` names an existing regular file (a symbolic link to one counts).
bool settingsFileExists(const std::string& path);

// What stands at the settings file's place, judged before anything is read from it or written to it.
// Only a missing file and a file of profile text (an empty one too) are a book; anything else is read
// as nothing and never written over (every save refuses it).
struct SettingsFileState {
    enum Kind {
        Missing,      // no file: a first start makes it
        Book,         // a file that reads as a book
        Folder,       // a folder stands there
        Unreadable,   // no permission, a device or a pipe, a failed read: `error` says why
        NotSettings,  // bytes that are not a settings file (UTF-16, binary, no section): `error` says which
    };
    Kind kind = Missing;
    std::error_code error;
    bool usable() const { return kind == Missing || kind == Book; }
};
SettingsFileState settingsFileState(const std::string& path);
// The same of a load already made (IniFile::load's answer).
SettingsFileState settingsFileState(IniFile::LoadStatus status, const std::error_code& error);
// What korvex-cli says of a state that is not usable: what the file is and the reason.
std::string settingsFileProblem(const std::string& path, const SettingsFileState& state);

// What start-up takes from the file before the tables are sized. Unusable values never stop it:
// "Count" that is not a whole number gives 1, others are brought into 1..500; "Proxy" is on only when
// it is a number other than 0 or the word true in any letter case; "Adress" and "Port" are taken as
// they decode. A missing or unreadable file gives the same as an empty one.
struct StartupValues {
    int count = 1;
    ProxySettings proxy;
    // "Count" is not a whole number (or is missing from a file that holds more than one account), so
    // `count` is 1 whatever the file holds. `countText` is the value as it decodes, for the message.
    bool countDamaged = false;
    std::string countText;
    // One more than the last of rows 0..499 with an account (any of its four keys holds text): what
    // the file holds, whatever "Count" says; 0 for none. Rows beyond the count are kept on purpose
    // (lowering the count hides them), so this may exceed `count` in a sound file too.
    int accountRows = 0;
    // Rows from 500 on that hold an account: never read, and never written by a save (see zapis).
    int rowsBeyondMax = 0;
};
StartupValues readStartup(const std::string& path);
StartupValues readStartup(const IniFile& ini);

// Section "SUMMARY" (newer versions only; older files have none and read as before): "LowBalance",
// the balance below which the run summary names an account, as plain decimal text ("0", "-50",
// "100.5"; a comma serves as the point too). Answers `fallback` when the file, the key or a number
// is not there.
inline constexpr const char* kSummarySection = "SUMMARY";
double readLowBalance(const std::string& path, double fallback);
double readLowBalance(const IniFile& ini, double fallback);
// "DaysLeft" of the same section: the run summary names an account whose balance, spent as its history
// shows, lasts fewer days than this; 0 turns it off. A whole number from 0 to kMaxDaysLeft; answers
// `fallback` when the file, the key or such a number is not there.
inline constexpr int kDefaultDaysLeft = 7;
inline constexpr int kMaxDaysLeft = 36500;
int readDaysLeft(const std::string& path, int fallback = kDefaultDaysLeft);
int readDaysLeft(const IniFile& ini, int fallback = kDefaultDaysLeft);

// Loads rows 0..clients-1: account columns 0..3, balance column 0 (a copy of the login) and balance
// columns 1..5. The caller has sized both tables already; cells outside them are not written. Balance
// columns 6 and 7 are left as they are. A missing key, file or unreadable file loads as empty text.
void read(AccountBook& book, const std::string& path);
void read(AccountBook& book, const IniFile& ini);

// Saves the four single keys and rows 0..clients-1 of both tables, keeping every other line of the file
// (rows from 500 on among them; a "Count" beyond 500 stays as it is while the book holds 500 rows);
// rows the book marks as dropped by a delete (AccountBook::droppedFirst..droppedEnd) are written empty,
// and so are rows clients..emptyRowsTo-1 (an import that replaces the accounts leaves none of the old
// ones hidden beyond the count). The whole file is replaced in one step (see IniFile::save). Throws
// SettingsWriteError. `base`: the file as the caller read it, so that it is not read again (the
// caller holds the book's lock, so nothing else has written it since); none: read now. Answers the
// text written.
IniFile zapis(const AccountBook& book, const ProxySettings& proxy, const std::string& path, int emptyRowsTo = 0,
              const IniFile* base = nullptr);

// The file as a first start makes it: count 1, the proxy setting, empty entries for account 0.
// Throws SettingsWriteError. Called on an existing file it updates those keys in place and keeps the rest.
void createNewFile(const std::string& path, const ProxySettings& proxy);

// The file as it stands, for a save to update (every save of the file goes through these two). A file
// that exists but cannot be read, or is not a settings file, cannot be updated without losing what it
// holds: both throw SettingsWriteError, the file untouched.
IniFile loadSettingsForUpdate(const std::string& path);
void storeSettings(const IniFile& ini, const std::string& path);

}  // namespace korvex
