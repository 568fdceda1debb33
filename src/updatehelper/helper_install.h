#pragma once
// What the helper does once the program has ended: the queued files, the files of the program
// folder, the restart. Failures of single moves are passed over (a file that cannot be moved
// keeps its ".updtmp" twin for the next attempt); they are written to `log`.
#include <sys/types.h>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "updatehelper/helper_command_line.h"

namespace korvex::updatehelper {

// The final paths of the queue file, one a line (CR LF, or a bare LF); blank lines are skipped.
// A missing file gives none.
std::vector<std::string> readQueue(const std::string& queuePath);

// Renames `source` onto `target` in one step (no moment without a target file). A file that
// replaces another takes over its permission bits, so a replaced executable stays runnable.
bool replaceFile(const std::string& source, const std::string& target);

// Moves every queued path's ".updtmp" file onto it, in queue order.
void installQueued(const std::vector<std::string>& queue, std::ostream& log);

struct FolderInstall {
    std::optional<std::string> setup;  // external-setup mode: the file to run instead of the program
};

// Puts every "<name>.updtmp" of the program folder in place as "<name>", in name order. The
// first target whose name ends in "exe" (exactly those lower-case letters) counts as the setup
// unless the program itself was updated; it is run only in external-setup mode.
FolderInstall installProgramFolder(const HelperRequest& request, bool programUpdated, std::ostream& log);

// Starts `path` with `args` in a session of its own, not waiting for it. The process id, or -1
// (and a line in `log`) when it could not be started.
pid_t startProgram(const std::string& path, const std::vector<std::string>& args, std::ostream& log);

// The whole run for a command line (the arguments without the program name), with the queue file
// at `queuePath`. Exit status: 0 done, 1 the program could not be started, 2 a command line that
// names no program.
int runHelper(const std::vector<std::string>& args, const std::string& queuePath, std::ostream& out,
              std::ostream& log);

}  // namespace korvex::updatehelper
