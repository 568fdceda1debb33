#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/user_folders.h"

namespace korvex {

std::string SingleInstance::defaultLockFolder() {
    // Inside the home folder, where no other user can make the name first (a folder in /tmp could
    // be made by anyone, and then our lock could not be taken). Not $XDG_CACHE_HOME: a desktop
    // session may set it where a cron job does not, and the two must meet at one lock.
    const std::string home = homeFolder();
    return home.empty() ? std::string() : home + ".cache/korvex";
}

namespace {

// The real path of `path`: resolved whole when it exists, otherwise its folder resolved and its
// last name kept; as given (made absolute) when not even the folder exists.
std::string realPathOf(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) return resolved;
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (realpath(folder.c_str(), resolved)) return std::string(resolved) + (resolved[1] ? "/" : "") + name;
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

}  // namespace

std::string SingleInstance::bookLockName(const std::string& settingsPath) {
    // A path may be longer than a file name may be: the name carries a 64-bit FNV-1a hash of it.
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : realPathOf(settingsPath)) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "book-%016llx.lock", static_cast<unsigned long long>(hash));
    return name;
}

SingleInstance::SingleInstance(const std::string& folder)
    : SingleInstance(folder, std::string(kInstanceName) + ".lock") {}

SingleInstance::SingleInstance(const std::string& folder, const std::string& lockFileName) {
    const std::string dir = folder.empty() ? defaultLockFolder() : folder;
    m_path = dir + "/" + lockFileName;
    const auto fail = [this](const std::string& what) { m_error = what; };
    if (dir.empty()) {
        fail("the lock of the running copy needs a home folder, and $HOME names none");
        return;
    }
    // The cache folder of a new account may not exist yet; it is the user's own, so private.
    if (dir == defaultLockFolder()) (void)mkdir(dir.substr(0, dir.rfind('/')).c_str(), 0700);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        fail(dir + ": " + std::strerror(errno));
        return;
    }
    // Everything below works on what was opened, so nothing can be swapped in between the checks.
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0) {
        fail(dir + ": " +
             (errno == ELOOP || errno == ENOTDIR ? std::string("not a folder of its own (a link?)")
                                                 : std::string(std::strerror(errno))));
        return;
    }
    struct stat st {};
    if (fstat(dirFd, &st) != 0 || st.st_uid != getuid()) {
        fail(dir + ": the folder belongs to somebody else; remove it, or ask the administrator to");
        close(dirFd);
        return;
    }
    if ((st.st_mode & 077) != 0 && fchmod(dirFd, 0700) != 0) {
        fail(dir + ": cannot make the folder private: " + std::strerror(errno));
        close(dirFd);
        return;
    }
    // O_CLOEXEC: a browser or helper started by us must not inherit, and so keep, the lock.
    const int fd = openat(dirFd, lockFileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    close(dirFd);
    if (fd < 0) {
        fail(m_path + ": " + std::strerror(errno));
        return;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
        fail(m_path + ": not a lock file of ours");
        close(fd);
        return;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            m_otherCopy = true;
        else
            fail(m_path + ": " + std::strerror(errno));
        close(fd);
        return;
    }
    m_fd = fd;
}

SingleInstance::~SingleInstance() {
    if (m_fd >= 0) close(m_fd);  // closing drops the lock; the file stays for the next start
}

}  // namespace korvex
