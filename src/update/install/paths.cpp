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

std::string urlFileName(std::string_view url) {
    const std::size_t slash = url.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

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

std::string expandPathMacros(std::string_view localPath, const PathMacroFolders& folders) {
    // One pass over the text per macro, in the table's order: each pass sees the folders that
    // earlier passes put in, but never the ones it puts in itself. The text is lower-cased once per
    // pass, not once per macro found, so a path full of macros costs time linear in its length.
    std::string result(localPath);
    for (const auto& row : updatehelper::kPathMacros) {
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
        for (const auto& row : updatehelper::kPathMacros)
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
    // of the macros' folders, with nothing below it that climbs out, names a dot file or is a link.
    if (updatehelper::confinedPath(single, folders)) return single;
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
