#pragma once
// What the commands of korvex-cli share: loading and saving the settings file as the window does,
// and the words of their messages.
#include <string>

#include "book/account_book.h"
#include "korvex-cli/cli_commands.h"
#include "net/proxy_settings.h"
#include "run/book_settings.h"
#include "settings/settings_file.h"

namespace korvex {

class CliKeyring;

inline constexpr const char* kPrefix = "korvex-cli: ";

std::string quoted(const std::string& text);

// "row 3 (login)" for messages; the login in UTF-8, without control characters.
std::string rowName(const AccountBook& book, int row);

// Loads the settings file the way the window's start does (count and proxy, then both tables).
// Answers false, with the message written, when there is no file to load or it cannot be read.
// Everything is read from the one file that was there when it was opened (BookSettings, handed
// back in `settingsOut`): a save by the window meanwhile replaces the file whole, so the commands
// that read without the single-copy lock still see one consistent file. A count that cannot be read
// is said, with how many accounts the file holds.
bool loadSettings(const CliContext& context, AccountBook& book, ProxySettings& proxy,
                  StartupValues* startOut = nullptr, BookSettings* settingsOut = nullptr);

// The one save (saveBook: through the keyring when it keeps the passwords; rows up to `emptyRowsTo`
// beyond the count emptied), onto the text of `settings` when given; answers false with the message
// written.
bool save(const CliContext& context, const AccountBook& book, const ProxySettings& proxy, int emptyRowsTo = 0,
          CliKeyring* keyring = nullptr, BookSettings* settings = nullptr);

}  // namespace korvex
