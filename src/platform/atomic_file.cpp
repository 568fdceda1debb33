#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace korvex {

namespace {

bool writeAll(const FileWriteCalls& calls, int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = calls.write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Makes a rename inside `folder` survive a power cut. Some file systems cannot sync a folder; the
// file itself is on the disk by then, so a failure here is not reported.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

// Replaces the contents of an existing file through its own inode: write from the start, flush,
// then cut off what is left of a longer old text. Not one step as a rename is; so when the write
// fails part way, the old text is written back before the error is answered.
Expected<void> rewriteInPlace(const std::string& path, const std::string& target, std::string_view text,
                              const FileWriteCalls& calls) {
    const auto failure = [&](int error, const char* step) {
        return Unexpected(systemFailure(error, path + ": " + step));
    };
    const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return failure(errno, "opening it to rewrite it in place");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = st.st_mode == 0 ? errno : EINVAL;
        ::close(fd);
        return failure(error, "opening it to rewrite it in place");
    }
    std::string old(static_cast<std::size_t>(st.st_size), '\0');
    for (std::size_t got = 0; got < old.size();) {
        const ssize_t n = ::pread(fd, old.data() + got, old.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            return failure(error, "reading it before rewriting it in place");
        }
        got += static_cast<std::size_t>(n);
    }
    const auto writeFromStart = [&](std::string_view data) {
        return ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(calls, fd, data) && calls.fsync(fd) == 0 &&
               ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 && calls.fsync(fd) == 0;
    };
    if (!writeFromStart(text)) {
        const int error = errno;
        // The old text goes back and is cut to its length whatever the flush says: a failed fsync
        // must not leave the tail of a longer new text behind it.
        if (::lseek(fd, 0, SEEK_SET) == 0 && writeAll(calls, fd, old))
            (void)::ftruncate(fd, static_cast<off_t>(old.size()));
        (void)calls.fsync(fd);
        ::close(fd);
        return failure(error, "rewriting it in place (its old text is back)");
    }
    if (::close(fd) != 0) return failure(errno, "closing it after rewriting it in place");
    return {};
}

}  // namespace

FileWriteCalls systemFileWriteCalls() noexcept {
    return {&::write, &::fsync, &::rename};
}

Expected<void> writeFileAtomically(const std::string& path, std::string_view text,
                                   const AtomicWriteOptions& options) {
    const auto failure = [&](int error, const char* step) {
        return Unexpected(systemFailure(error, path + ": " + step));
    };
    std::string target = path;
    struct stat st {};
    if (options.followLink && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace what the link points at, not the link.
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return failure(errno, "following the link");
        target = resolved;
        std::free(resolved);
    }
    const bool exists = options.keepExisting && ::stat(target.c_str(), &st) == 0;
    // A file made read-only stays unwritten, as it would if it were written in place.
    if (exists && ::access(target.c_str(), W_OK) != 0) return failure(errno, "checking it may be written");

    std::string temp = target;
    temp.append(options.tempInfix).append("XXXXXX");
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) {
        // A folder that refuses new files may still hold a file we may write: rewrite that in place.
        if (exists && (errno == EACCES || errno == EPERM))
            return rewriteInPlace(path, target, text, options.calls);
        return failure(errno, "making a temporary file beside it");
    }
    // Held while the file is written: a cleaner of leftovers of crashed writes leaves it alone.
    ::flock(fd, LOCK_EX | LOCK_NB);
    const auto fail = [&](int error, const char* step) {
        ::close(fd);
        ::unlink(temp.c_str());
        return failure(error, step);
    };
    if (exists) {
        // Keep the owner where we may (root saving a user's file). Elsewhere this fails, and the file
        // becomes ours, as any file we write does.
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) (void)!::fchown(fd, st.st_uid, st.st_gid);
        if (::fchmod(fd, st.st_mode & 07777 & ~options.dropModeBits) != 0)
            return fail(errno, "giving the temporary file its mode");
    } else if (::fchmod(fd, options.mode) != 0) {
        return fail(errno, "giving the temporary file its mode");
    }
    if (!writeAll(options.calls, fd, text)) return fail(errno, "writing the temporary file");
    if (options.calls.fsync(fd) != 0) return fail(errno, "flushing the temporary file to the disk");
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return failure(error, "closing the temporary file");
    }
    if (options.calls.rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return failure(error, "renaming the temporary file over it");
    }
    syncFolder(folderOf(target));
    return {};
}

std::string failedStep(const Failure& failure, const std::string& path) {
    const std::string_view message = failure.message;
    return std::string(message.starts_with(path + ": ") ? message.substr(path.size() + 2) : message);
}

}  // namespace korvex
