#pragma once
#include <string>

namespace korvex {

// The running executable's path ("" when it cannot be found).
std::string executablePath();
// The folder of the running executable, with a trailing "/" ("" when it cannot be found).
std::string executableDir();

// The user's configuration folder by the XDG rule, without a trailing "/": $XDG_CONFIG_HOME when it
// is an absolute path, otherwise the home folder followed by "/.config" (the home folder from $HOME,
// or from the password database when $HOME is unset or relative). "" when no home folder is known.
std::string userConfigHome();

// True when this process may create files in `dir`: it is a folder, writable and searchable for the
// effective user, on a file system mounted writable.
bool folderWritable(const std::string& dir);

// True for the folders the system's packages own (/usr and everything under it, /bin, /sbin): a
// program there is an installed one, and nothing of the user's belongs beside it, even when the
// user (root) could write there.
bool systemProgramFolder(const std::string& dir);

// The place of Settings.ini, decided by this rule:
//   1. `programDir` + "Settings.ini" when that name exists there already (a portable copy in use;
//      the file is kept wherever it is, as it always has been),
//   2. the same when `programDirWritable` and the folder is no system folder (a portable copy
//      unpacked into a folder of the user's, or the build folder),
//   3. otherwise `configHome` + "/korvex/Settings.ini" (the installed program). The folder
//      "korvex" and any missing folder above it are created with mode 0700; IniFile::save gives
//      the file itself mode 0600 when it first writes it. A folder that cannot be created is left
//      to the first save, which reports the file it could not write.
// `programDir` ends with "/" or is "" (the executable's folder unknown: rule 3). With no
// `configHome` either, rule 3 falls back to the program's folder. Without `makeFolder` (a command
// that only reads) nothing is created: the path is the same, the folder may not be there.
std::string settingsPathFor(const std::string& programDir, bool programDirWritable, const std::string& configHome,
                            bool makeFolder = true);

// The settings file of the program: settingsPathFor applied to this executable's folder and the
// user's configuration folder. Every file that goes with the settings (the balance history, the
// portal pins...) lies in the folder of the settings file in use, which is this one unless the user
// named another (korvex-cli --settings). `makeFolder` as for settingsPathFor.
std::string defaultSettingsPath(bool makeFolder = true);

}  // namespace korvex
