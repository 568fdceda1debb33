#include "single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {

std::string SingleInstance::defaultLockFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        struct stat st {};
        if (stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()) return runtime;
    }
    std::string folder = "/tmp/korvex-" + std::to_string(getuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return folder;
    // Refuse a folder that somebody else made for us: another user could hold our lock.
    struct stat st {};
    if (lstat(folder.c_str(), &st) == 0 && (!S_ISDIR(st.st_mode) || st.st_uid != getuid())) return {};
    return folder;
}

SingleInstance::SingleInstance(const std::string& folder) {
    const std::string dir = folder.empty() ? defaultLockFolder() : folder;
    if (dir.empty()) {
        m_error = "no private folder for the instance lock";
        return;
    }
    m_path = dir + "/" + kInstanceName + ".lock";
    // O_CLOEXEC: a browser or helper started by us must not inherit, and so keep, the lock.
    const int fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_error = m_path + ": " + std::strerror(errno);
        return;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) m_otherCopy = true;
        else m_error = m_path + ": " + std::strerror(errno);
        close(fd);
        return;
    }
    m_fd = fd;
}

SingleInstance::~SingleInstance() {
    if (m_fd >= 0) close(m_fd);  // closing drops the lock; the file stays for the next start
}

}  // namespace korvex
