#pragma once
// BookSettings: everything of Settings.ini that a front and its runs go by, read once from the one
// file that was there when it was opened, and passed down: the account count and the proxy, the
// tables' rows, the refresh settings, the summary's thresholds and where the passwords live. A
// save through it updates that same text, so a korvex-cli run opens the file by name once.
#include <string>

#include "book/account_book.h"
#include "run/refresh_settings.h"
#include "settings/ini_file.h"
#include "settings/keyring_passwords.h"
#include "settings/settings_file.h"

namespace korvex {

struct BookSettings {
    std::string path;
    SettingsFileState state;  // what stood at `path`; nothing below is read unless it is usable()
    IniFile file;             // the text as read (and as the last save through `save` wrote it)
    StartupValues start;
    RefreshSettings refresh;
    double lowBalance = 0;
    int daysLeft = kDefaultDaysLeft;
    bool keyringPasswords = false;  // the passwords live in the desktop's keyring

    // Sizes `book` to the count and reads both tables from the text.
    void readBook(AccountBook& book) const;
    // The one save of the book (saveBook), onto the text read here. Throws SettingsWriteError.
    BookSaveAnswer save(const AccountBook& book, const ProxySettings& proxy, KeyringBook* keyring,
                        int emptyRowsTo = 0);
};

// Opens `path` once and reads all of the above from it. A file that is missing reads as a new book;
// one that cannot be used says so in `state` and gives the defaults.
BookSettings loadBookSettings(const std::string& path);

}  // namespace korvex
