#include "updatehelper/confinement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/user_folders.h"

namespace korvex::updatehelper {
namespace {

std::string parentFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? folder : path.substr(0, slash + 1);
}

// True when `folder` is `home` or a folder above it ("/home/", "/"), compared with one "/" at the
// end of each, or when it is no absolute folder at all. Both are resolved already.
bool homeOrAbove(std::string folder, std::string home) {
    if (folder.empty() || folder.front() != '/') return true;
    if (folder.back() != '/') folder += '/';
    if (home.empty()) return folder == "/";
    if (home.back() != '/') home += '/';
    return home.compare(0, folder.size(), folder) == 0;
}

// A folder below `home` reached through a hidden one (~/.config/, ~/.local/share/x/).
bool hiddenBelowHome(std::string folder, const std::string& home) {
    if (home.empty() || folder.size() <= home.size() || folder.compare(0, home.size(), home) != 0) return false;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return !cleanBelow(folder, home);
}

}  // namespace

// What each Windows folder of the macros becomes here. Everything stays inside the user's own
// folders: a system-wide folder could not be written by a per-user update anyway. No macro stands
// for the home folder or a folder above it, where everything a user's session runs lives; every
// folder is resolved ("." and ".." taken out) before it is compared.
//   %current%       the program folder
//   %desktop%       XDG_DESKTOP_DIR of user-dirs.dirs (~/Desktop)
//   %mydocuments%   XDG_DOCUMENTS_DIR (~/Documents when unset or set to the home folder, which
//                   is how user-dirs.dirs turns a folder off, or to a hidden folder of the home
//                   folder such as ~/.config, which is no folder of the user's documents)
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
    const std::string home = resolvedPath(homeFolder());
    const auto userDir = [&home](std::string_view name, const char* fallback) {
        const std::string dir = resolvedPath(xdgUserDir(name));
        return homeOrAbove(dir, home) || hiddenBelowHome(dir, home) ? home + fallback : dir;
    };
    const std::string data = resolvedPath(xdgDataHome());
    PathMacroFolders f;
    f.current = resolvedPath(programFolder);
    f.desktop = userDir("DESKTOP", "Desktop/");
    f.myDocuments = userDir("DOCUMENTS", "Documents/");
    f.myPictures = userDir("PICTURES", "Pictures/");
    f.appData = data;
    f.programFiles = parentFolder(f.current);
    f.windows = data + "korvex/windows/";
    f.system = home + ".local/lib/";
    f.temp = resolvedPath(tempFolder);
    f.help = data + "help/";
    f.media = data + "sounds/";
    f.cursors = data + "icons/";
    // A home folder of "/" (a service account) would leave the fallbacks above at the top.
    for (const auto& row : kPathMacros)
        if (row.folder != &PathMacroFolders::current && homeOrAbove(f.*row.folder, home))
            (f.*row.folder).clear();
    return f;
}

std::string resolvedPath(std::string_view path) {
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string_view> parts;
    bool folder = !path.empty() && path.back() == '/';
    for (size_t start = 0; start < path.size();) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view part = path.substr(start, slash - start);
        start = slash + 1;
        folder = folder || part == "." || part == "..";
        if (part.empty() || part == ".") continue;
        if (part != "..") {
            parts.push_back(part);
        } else if (!parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else if (!absolute) {
            parts.push_back(part);  // a relative path may begin above where it is read from
        }
    }
    std::string result = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) result += '/';
        result += parts[i];
    }
    if (folder && !parts.empty()) result += '/';
    return result;
}

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

bool noLinkBelow(const std::string& root, const std::string& path) {
    // The root itself may be reached through links (a ~/Documents kept on another disk); below it
    // nothing is followed.
    int fd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    bool ok = true;
    std::string_view rest = std::string_view(path).substr(root.size());
    for (size_t slash = rest.find('/'); slash != std::string_view::npos; slash = rest.find('/')) {
        const std::string part(rest.substr(0, slash));
        rest.remove_prefix(slash + 1);
        struct stat st {};
        if (::fstatat(fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = errno == ENOENT;
            break;
        }
        // A file where a folder must go leads nowhere: writing below it fails on its own.
        if (!S_ISDIR(st.st_mode)) {
            ok = !S_ISLNK(st.st_mode);
            break;
        }
        const int next = ::openat(fd, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            ok = false;  // made a link since it was looked at
            break;
        }
        ::close(fd);
        fd = next;
    }
    ::close(fd);
    return ok;
}

bool confinedPath(const std::string& path, const PathMacroFolders& folders) {
    for (const auto& row : kPathMacros) {
        const std::string& root = folders.*row.folder;
        if (cleanBelow(path, root) && noLinkBelow(root, path)) return true;
    }
    return false;
}

}  // namespace korvex::updatehelper
