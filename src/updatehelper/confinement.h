#pragma once
// Where an update may write, as korvex checks it before anything is downloaded and as the helper
// checks it again before anything is moved: inside the program folder or the folder of one of the
// path macros, with nothing below that folder that climbs out, names a dot file or is a link.
// Every folder is compared after "." and ".." are removed from its text (lexically: a link is
// never followed to find out where a path leads). Folders end with "/".
#include <string>
#include <string_view>

namespace korvex::updatehelper {

// What each path macro stands for on this machine; one table in confinement.cpp says why. "": the
// macro stands for no folder here, and an entry that names it is refused.
struct PathMacroFolders {
    std::string current, desktop, myDocuments, myPictures, appData, programFiles, windows, system, temp, help,
        media, cursors;
};

// The macros and the member each stands for, in the order they are replaced.
struct PathMacro {
    const char* macro;
    std::string PathMacroFolders::*folder;
};
inline constexpr PathMacro kPathMacros[] = {
    {"%current%", &PathMacroFolders::current},
    {"%desktop%", &PathMacroFolders::desktop},
    {"%mydocuments%", &PathMacroFolders::myDocuments},
    {"%mypictures%", &PathMacroFolders::myPictures},
    {"%appdata%", &PathMacroFolders::appData},
    {"%programfiles%", &PathMacroFolders::programFiles},
    {"%windows%", &PathMacroFolders::windows},
    {"%system%", &PathMacroFolders::system},
    {"%temp%", &PathMacroFolders::temp},
    {"%help%", &PathMacroFolders::help},
    {"%media%", &PathMacroFolders::media},
    {"%cursors%", &PathMacroFolders::cursors},
};

// The folders of the user running this process, with the program folder and temporary folder given.
PathMacroFolders pathMacroFolders(const std::string& programFolder, const std::string& tempFolder);

// `path` with repeated "/" made one, every "." component dropped and every ".." taking away the
// component before it (none above "/"); a trailing "/" stays. Only the text is read.
std::string resolvedPath(std::string_view path);

// The part of `path` below `root` names a file an update may write: no "." or ".." component,
// none that begins with "." (shell profiles, autostart entries, other programs' settings), no
// empty one, and not the root itself.
bool cleanBelow(std::string_view path, std::string_view root);

// No folder between `root` and the last component of `path` is a link: each is opened from the
// root down without following a link. A folder that is not there yet, or a file where one must
// go, passes (nothing can be reached through it; writing below it fails). `path` lies below `root`.
bool noLinkBelow(const std::string& root, const std::string& path);

// `path` lies cleanly below the program folder or one of the macros' folders (cleanBelow) and no
// link stands between that folder and its file (noLinkBelow).
bool confinedPath(const std::string& path, const PathMacroFolders& folders);

}  // namespace korvex::updatehelper
