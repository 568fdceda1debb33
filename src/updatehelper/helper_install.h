#pragma once
// What the helper does once the program has ended: the queued files and the files of the program
// folder put in place as one transaction (see install_journal.h), then the restart. What went
// wrong is written to `log`.
#include <sys/types.h>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "updatehelper/helper_command_line.h"
#include "updatehelper/install_journal.h"

namespace korvex::updatehelper {

// The final paths of the queue file, one a line (CR LF, or a bare LF); blank lines are skipped.
// A missing file gives none.
std::vector<std::string> readQueue(const std::string& queuePath);

struct FolderInstall {
    std::optional<std::string> setup;  // external-setup mode: the file to run instead of the program
    bool installed = true;             // false: nothing was changed (the installation was undone)
};

// The files to install: each queued path whose ".updtmp" file exists, in queue order, then every
// "<name>.updtmp" of the program folder as "<name>", in name order (a queued path that is also in
// the program folder once). What stands at a ".updtmp" name is taken whatever it is; the
// transaction refuses anything but a regular file.
std::vector<InstallStep> planInstall(const std::vector<std::string>& queue, const std::string& programFolder);

// Installs the queued files and those of the program folder in one transaction, with its journal
// in the program folder; the queue file goes when all is in place. The previous version kept by the
// last update goes first; once all is in place the replaced files are kept in its stead
// (kept_version.h) and the release note beside the queue becomes that of the program folder. The first target whose name
// ends in "exe" (exactly those lower-case letters) counts as the setup unless the program itself
// was updated; it is run only in external-setup mode.
FolderInstall installFiles(const std::vector<std::string>& queue, const std::string& queuePath,
                           const HelperRequest& request, bool programUpdated, std::ostream& log);

// Starts `path` with `args` in a session of its own, not waiting for it. The process id, or -1
// (and a line in `log`) when it could not be started.
pid_t startProgram(const std::string& path, const std::vector<std::string>& args, std::ostream& log);

// The whole run for a command line (the arguments without the program name), with the queue file
// at `queuePath` (the hand-over's release note beside it). An undo (method "2") puts the kept
// previous version back instead of installing, then starts the program as well. Exit status: 0 done, 1 the program could not be started, 2 a command line that
// names no program.
int runHelper(const std::vector<std::string>& args, const std::string& queuePath, std::ostream& out,
              std::ostream& log);

}  // namespace korvex::updatehelper
