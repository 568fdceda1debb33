#pragma once
// Where update files go: the folders of the running program, the path macros of a file entry's
// local path, the temporary ".updtmp" names, the queue file for the helper. Folders end with "/".
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii_text.h"
#include "updatehelper/confinement.h"
#include "updatehelper/helper_command_line.h"

namespace korvex::update {

// The file name of an address or a path: the text after its last "/" or "\".
std::string urlFileName(std::string_view url);

// Names that the program and the helper must agree on.
inline constexpr const char* kHelperFileName = "UpdateHelper";
using updatehelper::kQueueFileName;
using updatehelper::kTempSuffix;

struct UpFolders {
    std::string programPath;    // the running executable
    std::string programFolder;  // its folder
    std::string tempFolder;     // the user's private temporary folder ("" when there is none)
    std::string helperPath;     // tempFolder + "UpdateHelper"
    std::string queuePath;      // tempFolder + "UpdateQueue.txt"
};

// The folders of this process, found once (the private temporary folder is made then).
const UpFolders& upFolders();

// The folders for an executable at `programPath` and a temporary folder (for tests and tools).
UpFolders upFoldersFor(const std::string& programPath, const std::string& tempFolder);

// What each path macro stands for on this machine (updatehelper/confinement.h: the helper checks
// the same folders again before it moves a file).
using updatehelper::PathMacroFolders;
using updatehelper::pathMacroFolders;

// Every "%name%" of the table replaced, ignoring case. Nothing else is changed.
std::string expandPathMacros(std::string_view localPath, const PathMacroFolders& folders);

// A file entry of the info file: a URL, optionally "=" and a local path (the first "=" separates).
struct FileEntry {
    std::string url;
    std::string localPath;
    bool hasLocalPath = false;
};
FileEntry splitFileEntry(std::string_view entry);

// Where a file entry's file goes. With a local path: the macros expanded, "\" turned into "/" and
// repeated "/" made one (info files are written for Windows), and a path that does not start
// with "/" taken as relative to the program folder. Without one: the program folder and the URL's
// file name. The final path must then lie below the program folder or the folder of one of the
// macros, and the part below that folder may hold no ".", ".." or empty component and none that
// begins with "." (an update has no business with shell profiles, autostart entries or other
// programs' settings), and no folder below it may be a link (updatehelper::confinedPath). nullopt
// for a path that breaks that rule or cannot name a file here: a
// Windows drive path ("C:\..."), a path ending in a folder, a URL without a file name, a macro
// that stands for no folder on this system.
std::optional<std::string> finalPathOfEntry(std::string_view entry, const PathMacroFolders& folders);

// The first entry of the list for which finalPathOfEntry has no path; one such entry refuses the
// whole info file before anything is downloaded.
std::optional<std::string> refusedEntry(const std::vector<std::string>& entries,
                                        const PathMacroFolders& folders);

// The file an update is downloaded into before the helper puts it in place.
std::string updTmpName(const std::string& finalPath);

// Makes every missing folder of the path's folder part (mode 0755 less the umask). False when one
// cannot be made.
bool makeFoldersOf(const std::string& path);

// The queue for the helper: the final path of each entry that has a local path, in list order,
// each line ended by CR LF; "" when no entry has one.
std::string updateQueueText(const std::vector<std::string>& entries, const PathMacroFolders& folders);

// Writes `text` to `path` whole or not at all (a temporary name beside it, then a rename), with
// `mode`. A link at `path` is replaced, never written through.
bool writeUpdateFile(const std::string& path, std::string_view text, unsigned mode, std::string* error);

// Deletes every "*.updtmp" file of the program folder (never those at queued paths elsewhere).
void deleteProgramFolderTemporaries(const std::string& programFolder);

// True when this user can make, rename and delete files in the program folder, tried for real
// (a read-only mount, a folder of another user), and the folder is none of the system's packages
// (/usr...: updated by the package manager, even when root could write there). `why` says why not.
bool programFolderWritable(const std::string& programFolder, std::string* why = nullptr);

}  // namespace korvex::update
