#pragma once
// System calls that fail as a full disk, a broken flush or a refused rename would, for the tests of
// files replaced in one step: put in place of write, fsync or rename, they show that a failed save
// leaves the old file whole and says why.
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace korvex::test::failing {

inline int writes = 0;  // writes seen by writeStopsHalfway; set to 0 before each case

inline ssize_t writeFails(int, const void*, std::size_t) {
    errno = ENOSPC;
    return -1;
}
// The first write takes half the text, the next finds the disk full.
inline ssize_t writeStopsHalfway(int fd, const void* data, std::size_t size) {
    if (writes++ > 0) return writeFails(fd, data, size);
    return ::write(fd, data, size / 2);
}
inline ssize_t writeWritesNothing(int, const void*, std::size_t) {
    return 0;
}
inline int fsyncFails(int) {
    errno = EIO;
    return -1;
}
inline int renameFails(const char*, const char*) {
    errno = EXDEV;
    return -1;
}

}  // namespace korvex::test::failing
