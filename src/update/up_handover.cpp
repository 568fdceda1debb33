#include "update/up_handover.h"

#include <unistd.h>

#include <sstream>

#include "update/up_helper_image.h"
#include "updatehelper/helper_command_line.h"
#include "updatehelper/helper_install.h"

namespace korvex::update {

bool handOverToHelper(const HandOver& handOver, const PathMacroFolders& macros, std::string* error) {
    const UpFolders& f = handOver.folders;
    if (!handOver.upgradeFinished) deleteProgramFolderTemporaries(f.programFolder);
    if (f.tempFolder.empty()) {
        if (error) *error = "there is no private temporary folder for the update helper";
        return false;
    }
    if (!writeUpdateHelper(f.helperPath, error)) return false;

    const std::string queue = updateQueueText(handOver.entries, macros);
    if (queue.empty()) {
        ::unlink(f.queuePath.c_str());  // a queue of an earlier, abandoned upgrade must not be replayed
    } else if (!writeFileAtomically(f.queuePath, queue, 0600, error)) {
        return false;
    }

    // The helper runs in a session of its own, so that it outlives the program that starts it.
    std::ostringstream log;
    if (updatehelper::startProgram(
            f.helperPath, updatehelper::helperArguments(f.programPath, handOver.restartParams, handOver.externalSetup),
            log) < 0) {
        if (error) {
            *error = log.str();
            if (!error->empty() && error->back() == '\n') error->pop_back();
        }
        return false;
    }
    return true;
}

}  // namespace korvex::update
