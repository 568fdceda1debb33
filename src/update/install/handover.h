#pragma once
// Handing an upgrade over to the update helper: everything RestartApplication does before the
// program closes.
#include <optional>
#include <string>
#include <vector>

#include "update/install/paths.h"
#include "updatehelper/kept_version.h"

namespace korvex::update {

struct HandOver {
    UpFolders folders;                 // upFolders() in the program
    std::vector<std::string> entries;  // the file list, local paths already expanded or not
    std::string restartParams;         // RestartParams
    bool externalSetup = false;        // umUseExternalSetup
    bool upgradeFinished = true;       // false: the program folder's ".updtmp" files are deleted first
    // The release being installed (its version, the one it replaces, its message): written beside the
    // queue for the helper, which keeps the replaced files under these versions and leaves the note for
    // the first start. None: nothing is kept and nothing said.
    std::optional<updatehelper::ReleaseNote> release = std::nullopt;
};

// Deletes the program folder's temporaries when the upgrade is not finished, writes the helper
// (mode 0700) and the queue (or removes a stale one when no entry has a local path) into the
// private temporary folder, and starts the helper with its command line. False, with `error`
// set, when the helper could not be written or started: the program must then stay open, since
// nothing would start it again.
bool handOverToHelper(const HandOver& handOver, const PathMacroFolders& macros, std::string* error = nullptr);

// Hands the undo of the last update to the helper: it waits until the program has ended, puts the
// kept previous version back (updatehelper/kept_version.h) and starts the program again with
// `restartParams`. False, with `error` set, when the helper could not be written or started.
bool handOverUndo(const UpFolders& folders, const std::string& restartParams, std::string* error = nullptr);

// The folder of the running executable ("" when it cannot be told).
std::string runningProgramFolder();

// Settles an installation that the helper left half-done in `programFolder` (the running
// executable's folder when ""): finished when every new file is still there, else undone (see
// updatehelper/install_journal.h); a journal that names a file outside the folders an update may
// write is renamed aside instead. Called first thing at every start of korvex and korvex-cli.
// What to tell the user once, in the current language; "" when there was nothing.
std::string settleInterruptedInstall(const std::string& programFolder = {});

}  // namespace korvex::update
