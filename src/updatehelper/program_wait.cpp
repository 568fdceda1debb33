#include "updatehelper/program_wait.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace korvex::updatehelper {

bool executableBusy(const std::string& path) {
    // Opening for writing without O_TRUNC changes nothing in the file. Any refusal other than
    // ETXTBSY (no write permission, say) says nothing about the program running.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == ETXTBSY;
}

bool runByProcessOfThisUser(const std::string& path) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return false;
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    const pid_t self = ::getpid();
    const uid_t me = ::getuid();
    bool found = false;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*entry->d_name == '\0' || *end != '\0' || pid <= 0 || pid == self) continue;
        const std::string dir = std::string("/proc/") + entry->d_name;
        struct stat owner {};
        if (::stat(dir.c_str(), &owner) != 0 || owner.st_uid != me) continue;
        // stat() follows the exe link to the file the process was started from, even when that
        // file has since been renamed over: then its inode is no longer the one at `path`.
        struct stat exe {};
        if (::stat((dir + "/exe").c_str(), &exe) != 0) continue;  // ended, a zombie, or a kernel thread
        if (exe.st_dev == target.st_dev && exe.st_ino == target.st_ino) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

void waitUntilProgramEnded(const std::string& path, std::chrono::milliseconds poll) {
    while (::access(path.c_str(), F_OK) == 0 && (executableBusy(path) || runByProcessOfThisUser(path)))
        std::this_thread::sleep_for(poll);
}

}  // namespace korvex::updatehelper
