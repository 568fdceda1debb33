#pragma once
// The user's own folders on Linux: the private temporary folder, the XDG base and user folders.
// Every folder answered here ends with "/" ("" when there is none).
#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>

namespace korvex {

// A folder that only `owner` can write into: a real folder (not a link), owned by `owner`,
// with no write permission for group or others.
bool isPrivateFolder(const struct stat& st, uid_t owner);

// A folder in which no one but `owner` (or root) can replace an entry of `owner`: owned by
// `owner` or root, and either not writable by group and others or sticky (like /tmp).
bool isSafeParentFolder(const struct stat& st, uid_t owner);

// The private temporary folder of this user, made when missing: "korvex" inside
// $XDG_RUNTIME_DIR, else "korvex/tmp" inside the XDG cache folder, else /tmp/korvex-<uid>. Each
// candidate is taken only when it passes isPrivateFolder() and its parent isSafeParentFolder();
// a folder that someone else made, or that others can write into, is never used, since a
// program we write there and run would run their code as ours. "" when no candidate passes;
// `why` then says what was refused.
std::string privateTempFolder(std::string* why = nullptr);

// The same test for one given folder (made with mode 0700 when missing, its parent must exist).
bool usePrivateFolder(const std::string& folder, std::string* why = nullptr);

// $HOME, else the password database's home folder.
std::string homeFolder();

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share/.
std::string xdgDataHome();

// $XDG_CACHE_HOME when it is an absolute path, else ~/.cache/.
std::string xdgCacheHome();

// userConfigHome() (paths.h) with a trailing "/".
std::string xdgConfigHome();

// A user folder of user-dirs.dirs ("DESKTOP", "DOCUMENTS", "PICTURES", ...): the value of
// XDG_<name>_DIR there. When the file does not set it: ~/Desktop for DESKTOP, the home folder
// for any other (what xdg-user-dir answers).
std::string xdgUserDir(std::string_view name);

// The value of XDG_<name>_DIR in the text of a user-dirs.dirs file ("$HOME/" expanded with
// `home`); "" when the text does not set it.
std::string userDirFromText(std::string_view text, std::string_view name, const std::string& home);

}  // namespace korvex
