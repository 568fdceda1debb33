#pragma once
// Replacing a whole file in one step, so that a crash, a kill or a full disk leaves either the old
// file or the new one, never half of either: the text goes to a temporary file beside the target
// (its name: the target's, the infix and six random characters), is flushed to the disk and renamed
// over the target, and the folder is flushed after the rename. A symbolic link is followed and its
// target replaced (unless the options say otherwise), so a file kept elsewhere through a link stays there. On
// any failure the old file is left as it was and no temporary file stays behind.
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/expected.h"

namespace korvex {

// The system calls that write the file. Tests put in calls that fail, to see that a failed write,
// flush or rename leaves the old file whole and is reported.
struct FileWriteCalls {
    ssize_t (*write)(int fd, const void* data, std::size_t size);
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
};
FileWriteCalls systemFileWriteCalls() noexcept;

struct AtomicWriteOptions {
    // The mode of the new file. With keepExisting, only a file that did not exist yet gets it.
    unsigned mode = 0600;
    // The file is treated as a write in place would treat it: an existing file keeps its mode (and
    // its owner where this process may give it), a read-only file stays unwritten, and when the
    // folder refuses the temporary file but the file itself may be written (a portable copy in a
    // folder the user may not change), the file is rewritten in place: written from the start,
    // flushed and cut to length, its old text put back should that write fail. Settings.ini needs it.
    bool keepExisting = false;
    // With keepExisting, the permission bits an existing file loses (077: a file that holds passwords
    // becomes its owner's alone, whatever mode it had).
    unsigned dropModeBits = 0;
    // Between the target's name and the six random characters of the temporary file. Whoever clears
    // the leftovers of crashed writes looks for it; the writer holds a lock (flock) on the temporary
    // file while it writes, so that such a cleaner can leave a write in progress alone.
    std::string_view tempInfix = ".tmp-";
    // A symbolic link at `path` is followed (above). Without, the link itself is replaced by the new
    // file and nothing is written where it led: for files that must stay in their folder, as the
    // update's are.
    bool followLink = true;
    FileWriteCalls calls = systemFileWriteCalls();
};

// Replaces the file at `path` with `text` as described above. The failure's code is the errno of
// the step that failed; its message names the file, the step and the reason ("PATH: writing the
// temporary file: No space left on device").
Expected<void> writeFileAtomically(const std::string& path, std::string_view text,
                                   const AtomicWriteOptions& options = {});

// The step and the reason of a failed write, for a caller that names the file its own way.
std::string failedStep(const Failure& failure, const std::string& path);

}  // namespace korvex
