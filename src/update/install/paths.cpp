#include "update/install/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/user_folders.h"

namespace korvex::update {
namespace {

std::string parentFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? folder : path.substr(0, slash + 1);
}

// True when `folder` is `home` or a folder above it ("/home/", "/"), compared with one "/" at the
// end of each, or when it is no absolute folder at all.
bool homeOrAbove(std::string folder, std::string home) {
    if (folder.empty() || folder.front() != '/') return true;
    if (folder.back() != '/') folder += '/';
    if (home.empty()) return folder == "/";
    if (home.back() != '/') home += '/';
    return home.compare(0, folder.size(), folder) == 0;
}

// The macros and the member each stands for, in the order they are replaced.
struct MacroRow {
    const char* macro;
    std::string PathMacroFolders::*folder;
};
constexpr MacroRow kMacros[] = {
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

// The part of `path` below `root` names a file an update may write: no "." or ".." component,
// none that begins with "." (shell profiles, autostart entries, other programs' settings), no
// empty one, and not the root itself.
bool cleanBelow(std::string_view path, std::string_view root) {
    if (root.empty() || path.size() <= root.size() || path.substr(0, root.size()) != root) return false;
    const std::string_view rest = path.substr(root.size());
    for (size_t start = 0;;) {
        const size_t slash = rest.find('/', start);
        const std::string_view part =
            rest.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (part.empty() || part.front() == '.') return false;
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

}  // namespace

UpFolders upFoldersFor(const std::string& programPath, const std::string& tempFolder) {
    UpFolders f;
    f.programPath = programPath;
    const size_t slash = programPath.rfind('/');
    f.programFolder = slash == std::string::npos ? std::string() : programPath.substr(0, slash + 1);
    f.tempFolder = tempFolder;
    if (!tempFolder.empty()) {
        f.helperPath = tempFolder + kHelperFileName;
        f.queuePath = tempFolder + kQueueFileName;
    }
    return f;
}

const UpFolders& upFolders() {
    static const UpFolders folders = [] {
        char buffer[4096];
        const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        const std::string program = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
        return upFoldersFor(program, privateTempFolder());
    }();
    return folders;
}

// What each Windows folder of the macros becomes here. Everything stays inside the user's own
// folders: a system-wide folder could not be written by a per-user update anyway. No macro stands
// for the home folder or a folder above it, where everything a user's session runs lives.
//   %current%       the program folder
//   %desktop%       XDG_DESKTOP_DIR of user-dirs.dirs (~/Desktop)
//   %mydocuments%   XDG_DOCUMENTS_DIR (~/Documents when unset or set to the home folder, which
//                   is how user-dirs.dirs turns a folder off)
//   %mypictures%    XDG_PICTURES_DIR (likewise ~/Pictures)
//   %appdata%       $XDG_DATA_HOME (~/.local/share), the per-user application data
//   %programfiles%  the folder holding the program folder: where this copy was installed beside
//                   others, as "Program Files" holds one folder per program; none when that is
//                   the home folder or above (a copy in ~/korvex)
//   %windows%       $XDG_DATA_HOME/korvex/windows: a folder of our own, since nothing of the user's
//                   stands for the operating system's folder
//   %system%        ~/.local/lib, where a user's own shared libraries go (the system folder
//                   holds the shared libraries on Windows)
//   %temp%          the private temporary folder
//   %help%          $XDG_DATA_HOME/help, where desktop help documents of the user live
//   %media%         $XDG_DATA_HOME/sounds, the user's sound themes
//   %cursors%       $XDG_DATA_HOME/icons, where the user's cursor themes live
PathMacroFolders pathMacroFolders(const std::string& programFolder, const std::string& tempFolder) {
    const std::string home = homeFolder();
    const auto userDir = [&home](std::string_view name, const char* fallback) {
        const std::string dir = xdgUserDir(name);
        return homeOrAbove(dir, home) ? home + fallback : dir;
    };
    const std::string data = xdgDataHome();
    PathMacroFolders f;
    f.current = programFolder;
    f.desktop = userDir("DESKTOP", "Desktop/");
    f.myDocuments = userDir("DOCUMENTS", "Documents/");
    f.myPictures = userDir("PICTURES", "Pictures/");
    f.appData = data;
    f.programFiles = parentFolder(programFolder);
    f.windows = data + "korvex/windows/";
    f.system = home + ".local/lib/";
    f.temp = tempFolder;
    f.help = data + "help/";
    f.media = data + "sounds/";
    f.cursors = data + "icons/";
    // A home folder of "/" (a service account) would leave the fallbacks above at the top.
    for (const auto& row : kMacros)
        if (row.folder != &PathMacroFolders::current && homeOrAbove(f.*row.folder, home))
            (f.*row.folder).clear();
    return f;
}

std::string expandPathMacros(std::string_view localPath, const PathMacroFolders& folders) {
    // One pass over the text per macro, in the table's order: each pass sees the folders that
    // earlier passes put in, but never the ones it puts in itself. The text is lower-cased once per
    // pass, not once per macro found, so a path full of macros costs time linear in its length.
    std::string result(localPath);
    for (const auto& row : kMacros) {
        const std::string_view macro = row.macro;
        const std::string& folder = folders.*row.folder;
        const std::string low = lowerAscii(result);
        size_t pos = low.find(macro);
        if (pos == std::string::npos) continue;
        std::string expanded;
        size_t done = 0;
        for (; pos != std::string::npos; pos = low.find(macro, done)) {
            expanded.append(result, done, pos - done);
            expanded += folder;
            done = pos + macro.size();
        }
        expanded.append(result, done, std::string::npos);
        result = std::move(expanded);
    }
    return result;
}

FileEntry splitFileEntry(std::string_view entry) {
    FileEntry e;
    const size_t eq = entry.find('=');
    e.url = std::string(entry.substr(0, eq));
    if (eq != std::string_view::npos) {
        e.localPath = std::string(entry.substr(eq + 1));
        e.hasLocalPath = true;
    }
    return e;
}

std::optional<std::string> finalPathOfEntry(std::string_view entry, const PathMacroFolders& folders) {
    const FileEntry e = splitFileEntry(entry);
    std::string path;
    if (!e.hasLocalPath || e.localPath.empty()) {
        path = folders.current + urlFileName(e.url);
    } else {
        // A macro that stands for nothing here must not leave a path relative to the program folder.
        const std::string lowerPath = lowerAscii(e.localPath);
        for (const auto& row : kMacros)
            if ((folders.*row.folder).empty() && lowerPath.find(row.macro) != std::string::npos)
                return std::nullopt;
        path = expandPathMacros(e.localPath, folders);
        for (char& c : path)
            if (c == '\\') c = '/';
        if (path.empty() || (path.size() >= 2 && path[1] == ':'))
            return std::nullopt;  // a drive names nothing here
        if (path.front() != '/') path = folders.current + path;
    }
    std::string single;
    for (char c : path)
        if (!(c == '/' && !single.empty() && single.back() == '/')) single += c;
    // Confined after every macro and rule: the final path lies below the program folder or one
    // of the macros' folders, with nothing below it that climbs out or names a dot file.
    for (const auto& row : kMacros)
        if (cleanBelow(single, folders.*row.folder)) return single;
    return std::nullopt;
}

std::optional<std::string> refusedEntry(const std::vector<std::string>& entries,
                                        const PathMacroFolders& folders) {
    for (const auto& entry : entries)
        if (!finalPathOfEntry(entry, folders)) return entry;
    return std::nullopt;
}

std::string updTmpName(const std::string& finalPath) {
    return finalPath + kTempSuffix;
}

bool makeFoldersOf(const std::string& path) {
    // Each prefix that ends in "/", first to last.
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    const size_t last = path.rfind('/');
    if (last == std::string::npos || last == 0) return true;
    struct stat st {};
    if (::stat(path.substr(0, last).c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;  // a file where a folder must go
    return false;
}

std::string updateQueueText(const std::vector<std::string>& entries, const PathMacroFolders& folders) {
    std::string text;
    for (const auto& entry : entries) {
        const FileEntry e = splitFileEntry(entry);
        if (!e.hasLocalPath || e.localPath.empty()) continue;
        if (const auto path = finalPathOfEntry(entry, folders)) text += *path + "\r\n";
    }
    return text;
}

bool writeUpdateFile(const std::string& path, std::string_view text, unsigned mode, std::string* error) {
    AtomicWriteOptions options;
    options.mode = mode;
    options.followLink = false;
    const Expected<void> written = writeFileAtomically(path, text, options);
    if (!written && error) *error = written.error().message;
    return written.has_value();
}

void deleteProgramFolderTemporaries(const std::string& programFolder) {
    DIR* dir = ::opendir(programFolder.empty() ? "." : programFolder.c_str());
    if (!dir) return;
    const std::string suffix = kTempSuffix;
    std::vector<std::string> doomed;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            doomed.push_back(programFolder + name);
    }
    ::closedir(dir);
    for (const auto& path : doomed) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(path.c_str());
    }
}

bool programFolderWritable(const std::string& programFolder, std::string* why) {
    // Even root, who could write there, must not update a copy that the system's packages own.
    if (systemProgramFolder(programFolder)) {
        if (why) *why = programFolder + ": a folder of the system's packages";
        return false;
    }
    std::string probe = programFolder + ".korvex-write-test-XXXXXX";
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) {
        if (why) *why = programFolder + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    // The helper replaces files by renaming within the folder; a sticky folder of another user
    // would let us make a file but not rename over theirs.
    const std::string renamed = probe + "-renamed";
    const bool ok = ::rename(probe.c_str(), renamed.c_str()) == 0;
    if (!ok && why) *why = programFolder + ": " + std::strerror(errno);
    ::unlink(ok ? renamed.c_str() : probe.c_str());
    return ok;
}

}  // namespace korvex::update
