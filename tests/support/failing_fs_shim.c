// failing_fs_shim: a library put in front of a program with LD_PRELOAD that makes the calls a
// program writes its files with fail, as a full or failing disk would, so that a test can see what
// the program leaves behind and what it says. What fails is chosen by the environment:
//
//   KORVEX_FAIL_CALLS  which calls fail, separated by commas:
//                        write   write, pwrite, pwrite64, writev (errno ENOSPC)
//                        fsync   fsync, fdatasync (errno EIO)
//                        rename  rename, renameat, renameat2 (errno EIO)
//                      unset or empty: nothing fails, the library only passes calls on
//   KORVEX_FAIL_PATH   only calls on a path that contains this text fail: a descriptor's path as
//                      /proc/self/fd names it, either name of a rename; unset: every path (the
//                      program's own output to a terminal or pipe then fails too)
//   KORVEX_FAIL_AFTER  so many of the chosen calls on such paths succeed before the first failure
//                      (default 0: the first one fails)
//   KORVEX_FAIL_LOG    a file to which a line "CALL PATH" is appended for every call made to fail,
//                      so that a test knows the failure really happened
//
// Every call that is not made to fail goes on to the next library's function unchanged.
// Thread-safe: the count of matching calls is atomic.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

enum { kWrite = 1, kFsync = 2, kRename = 4 };

static int chosenCalls(void) {
    const char* list = getenv("KORVEX_FAIL_CALLS");
    if (list == NULL) return 0;
    int calls = 0;
    while (*list != '\0') {
        const size_t length = strcspn(list, ",");
        if (length == 5 && strncmp(list, "write", 5) == 0) calls |= kWrite;
        if (length == 5 && strncmp(list, "fsync", 5) == 0) calls |= kFsync;
        if (length == 6 && strncmp(list, "rename", 6) == 0) calls |= kRename;
        list += length;
        if (*list == ',') ++list;
    }
    return calls;
}

static int pathMatches(const char* path) {
    const char* wanted = getenv("KORVEX_FAIL_PATH");
    return wanted == NULL || *wanted == '\0' || (path != NULL && strstr(path, wanted) != NULL);
}

static void descriptorPath(int fd, char* path, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, size - 1);
    path[n > 0 ? (size_t)n : 0] = '\0';
}

// Appends "CALL PATH" to the log with raw system calls: the library's own write must not come
// back through itself.
static void logFailure(const char* call, const char* path) {
    const char* log = getenv("KORVEX_FAIL_LOG");
    if (log == NULL || *log == '\0') return;
    const int fd = (int)syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    char line[PATH_MAX + 64];
    const int length = snprintf(line, sizeof line, "%s %s\n", call, path != NULL ? path : "");
    if (length > 0)
        syscall(SYS_write, fd, line, (size_t)(length < (int)sizeof line ? length : (int)sizeof line - 1));
    syscall(SYS_close, fd);
}

// Whether this call is one to fail; counts it when it matches.
static int shouldFail(int kind, const char* call, const char* path) {
    static long matched = 0;
    if ((chosenCalls() & kind) == 0 || !pathMatches(path)) return 0;
    const char* after = getenv("KORVEX_FAIL_AFTER");
    const long succeed = after != NULL ? strtol(after, NULL, 10) : 0;
    if (__atomic_fetch_add(&matched, 1, __ATOMIC_SEQ_CST) < succeed) return 0;
    logFailure(call, path);
    return 1;
}

static int failDescriptor(int kind, const char* call, int fd) {
    if ((chosenCalls() & kind) == 0) return 0;
    char path[PATH_MAX];
    descriptorPath(fd, path, sizeof path);
    return shouldFail(kind, call, path);
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

ssize_t write(int fd, const void* data, size_t size) {
    if (failDescriptor(kWrite, "write", fd)) {
        errno = ENOSPC;
        return -1;
    }
    return NEXT(write)(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    if (failDescriptor(kWrite, "pwrite", fd)) {
        errno = ENOSPC;
        return -1;
    }
    return NEXT(pwrite)(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
    if (failDescriptor(kWrite, "pwrite64", fd)) {
        errno = ENOSPC;
        return -1;
    }
    return NEXT(pwrite64)(fd, data, size, offset);
}

ssize_t writev(int fd, const struct iovec* parts, int count) {
    if (failDescriptor(kWrite, "writev", fd)) {
        errno = ENOSPC;
        return -1;
    }
    return NEXT(writev)(fd, parts, count);
}

int fsync(int fd) {
    if (failDescriptor(kFsync, "fsync", fd)) {
        errno = EIO;
        return -1;
    }
    return NEXT(fsync)(fd);
}

int fdatasync(int fd) {
    if (failDescriptor(kFsync, "fdatasync", fd)) {
        errno = EIO;
        return -1;
    }
    return NEXT(fdatasync)(fd);
}

// A name relative to `dirfd` as a whole path, for matching.
static void namePath(int dirfd, const char* name, char* path, size_t size) {
    if (name[0] == '/' || dirfd == AT_FDCWD) {
        snprintf(path, size, "%s", name);
        return;
    }
    char folder[PATH_MAX];
    descriptorPath(dirfd, folder, sizeof folder);
    if (snprintf(path, size, "%s/%s", folder, name) < 0) path[0] = '\0';  // a cut name still matches
}

static int failRename(const char* call, int oldDir, const char* oldName, int newDir, const char* newName) {
    if ((chosenCalls() & kRename) == 0) return 0;
    char from[PATH_MAX], to[PATH_MAX];
    namePath(oldDir, oldName, from, sizeof from);
    namePath(newDir, newName, to, sizeof to);
    return shouldFail(kRename, call, pathMatches(from) ? from : to);
}

int rename(const char* oldName, const char* newName) {
    if (failRename("rename", AT_FDCWD, oldName, AT_FDCWD, newName)) {
        errno = EIO;
        return -1;
    }
    return NEXT(rename)(oldName, newName);
}

int renameat(int oldDir, const char* oldName, int newDir, const char* newName) {
    if (failRename("renameat", oldDir, oldName, newDir, newName)) {
        errno = EIO;
        return -1;
    }
    return NEXT(renameat)(oldDir, oldName, newDir, newName);
}

int renameat2(int oldDir, const char* oldName, int newDir, const char* newName, unsigned int flags) {
    if (failRename("renameat2", oldDir, oldName, newDir, newName)) {
        errno = EIO;
        return -1;
    }
    return NEXT(renameat2)(oldDir, oldName, newDir, newName, flags);
}
