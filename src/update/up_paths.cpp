#include "update/up_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/paths.h"
#include "platform/user_folders.h"

namespace korvex::update {
namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string parentFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? folder : path.substr(0, slash + 1);
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
// folders: a system-wide folder could not be written by a per-user update anyway.
//   %current%       the program folder
//   %desktop%       XDG_DESKTOP_DIR of user-dirs.dirs (~/Desktop)
//   %mydocuments%   XDG_DOCUMENTS_DIR (the home folder when unset, as xdg-user-dir answers)
//   %mypictures%    XDG_PICTURES_DIR (likewise)
//   %appdata%       $XDG_DATA_HOME (~/.local/share), the per-user application data
//   %programfiles%  the folder holding the program folder: where this copy was installed beside
//                   others, as "Program Files" holds one folder per program
//   %windows%       $XDG_DATA_HOME/korvex/windows: a folder of our own, since nothing of the user's
//                   stands for the operating system's folder
//   %system%        ~/.local/lib, where a user's own shared libraries go (the system folder
//                   holds the shared libraries on Windows)
//   %temp%          the private temporary folder
//   %help%          $XDG_DATA_HOME/help, where desktop help documents of the user live
//   %media%         $XDG_DATA_HOME/sounds, the user's sound themes
//   %cursors%       $XDG_DATA_HOME/icons, where the user's cursor themes live
PathMacroFolders pathMacroFolders(const std::string& programFolder, const std::string& tempFolder) {
    const std::string data = xdgDataHome();
    PathMacroFolders f;
    f.current = programFolder;
    f.desktop = xdgUserDir("DESKTOP");
    f.myDocuments = xdgUserDir("DOCUMENTS");
    f.myPictures = xdgUserDir("PICTURES");
    f.appData = data;
    f.programFiles = parentFolder(programFolder);
    f.windows = data + "korvex/windows/";
    f.system = homeFolder() + ".local/lib/";
    f.temp = tempFolder;
    f.help = data + "help/";
    f.media = data + "sounds/";
    f.cursors = data + "icons/";
    return f;
}

std::string expandPathMacros(std::string_view localPath, const PathMacroFolders& folders) {
    const struct {
        const char* macro;
        const std::string* folder;
    } table[] = {
        {"%current%", &folders.current},   {"%desktop%", &folders.desktop},
        {"%mydocuments%", &folders.myDocuments}, {"%mypictures%", &folders.myPictures},
        {"%appdata%", &folders.appData},   {"%programfiles%", &folders.programFiles},
        {"%windows%", &folders.windows},   {"%system%", &folders.system},
        {"%temp%", &folders.temp},         {"%help%", &folders.help},
        {"%media%", &folders.media},       {"%cursors%", &folders.cursors},
    };
    // One pass over the text per macro, in the table's order: each pass sees the folders that
    // earlier passes put in, but never the ones it puts in itself. The text is lower-cased once per
    // pass, not once per macro found, so a path full of macros costs time linear in its length.
    std::string result(localPath);
    for (const auto& row : table) {
        const std::string_view macro = row.macro;
        const std::string low = lower(result);
        size_t pos = low.find(macro);
        if (pos == std::string::npos) continue;
        std::string expanded;
        size_t done = 0;
        for (; pos != std::string::npos; pos = low.find(macro, done)) {
            expanded.append(result, done, pos - done);
            expanded += *row.folder;
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

std::string urlFileName(std::string_view url) {
    const size_t cut = url.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? url : url.substr(cut + 1));
}

std::optional<std::string> finalPathOfEntry(std::string_view entry, const PathMacroFolders& folders) {
    const FileEntry e = splitFileEntry(entry);
    if (!e.hasLocalPath || e.localPath.empty()) {
        const std::string name = urlFileName(e.url);
        if (name.empty() || name == "." || name == "..") return std::nullopt;
        return folders.current + name;
    }
    std::string path = expandPathMacros(e.localPath, folders);
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.empty() || (path.size() >= 2 && path[1] == ':')) return std::nullopt;  // a drive names nothing here
    if (path.front() != '/') path = folders.current + path;
    std::string single;
    for (char c : path)
        if (!(c == '/' && !single.empty() && single.back() == '/')) single += c;
    if (single.back() == '/') return std::nullopt;
    return single;
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
    return ::stat(path.substr(0, last).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

bool writeFileAtomically(const std::string& path, std::string_view text, unsigned mode, std::string* error) {
    const auto fail = [&](const std::string& what, const std::string& temp) {
        const int saved = errno;
        if (!temp.empty()) ::unlink(temp.c_str());
        if (error) *error = what + ": " + std::strerror(saved);
        return false;
    };
    const size_t slash = path.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".korvex-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return fail(path, {});
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return fail(path, temp);
        }
        done += static_cast<size_t>(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
        ::close(fd);
        return fail(path, temp);
    }
    if (::close(fd) != 0) return fail(path, temp);
    if (::rename(temp.c_str(), path.c_str()) != 0) return fail(path, temp);
    return true;
}

void deleteProgramFolderTemporaries(const std::string& programFolder) {
    DIR* dir = ::opendir(programFolder.empty() ? "." : programFolder.c_str());
    if (!dir) return;
    const std::string suffix = kTempSuffix;
    std::vector<std::string> doomed;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
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
