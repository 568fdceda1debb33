#include "settings/save_leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace korvex {

namespace {

constexpr std::string_view kTempInfix = ".tmp-";
constexpr std::size_t kTempSuffixLength = 6;  // what mkostemp puts in place of XXXXXX

bool isTempSuffix(std::string_view suffix) {
    if (suffix.size() != kTempSuffixLength) return false;
    for (const char c : suffix) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum) return false;
    }
    return true;
}

}  // namespace

int removeSaveLeftovers(const std::string& settingsPath) {
    // The save writes beside what a link points at; so do we.
    std::string target = settingsPath;
    struct stat st {};
    if (::lstat(settingsPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(settingsPath.c_str(), nullptr);
        if (!resolved) return 0;
        target = resolved;
        std::free(resolved);
    }
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) +
                               std::string(kTempInfix);

    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return 0;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix ||
            !isTempSuffix(name.substr(prefix.size())))
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat file {};
        // Ours alone, and not being written: a save holds its lock while it writes.
        if (::fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && file.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (::unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
        }
        ::close(fd);
    }
    ::closedir(dir);  // closes dirFd as well
    return removed;
}

}  // namespace korvex
