#include "update/install/handover.h"

#include <unistd.h>

#include <sstream>

#include "update/install/helper_image.h"
#include "update/texts/dialog_texts.h"
#include "update/texts/language.h"
#include "updatehelper/helper_command_line.h"
#include "updatehelper/helper_install.h"
#include "updatehelper/install_journal.h"

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
    } else if (!writeUpdateFile(f.queuePath, queue, 0600, error)) {
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

std::string settleInterruptedInstall(const std::string& programFolder) {
    std::string folder = programFolder;
    if (folder.empty()) {
        char buffer[4096];
        const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n <= 0) return {};
        folder.assign(buffer, static_cast<size_t>(n));
        folder.erase(folder.rfind('/') + 1);
    }
    std::ostringstream log;  // what went wrong on the way changes nothing the user can do
    switch (updatehelper::recoverInterruptedInstall(folder, log)) {
        case updatehelper::InterruptedInstall::None:
            return {};
        case updatehelper::InterruptedInstall::Finished:
            return std::string(upText(UpText::InstallFinished));
        case updatehelper::InterruptedInstall::RolledBack:
            return std::string(upText(UpText::InstallRolledBack));
        case updatehelper::InterruptedInstall::Refused: {
            const std::string aside =
                folder + updatehelper::kJournalFileName + updatehelper::kRefusedJournalSuffix;
            return upFormat(upText(UpText::InstallRefused), {std::string_view(aside)});
        }
    }
    return {};
}

}  // namespace korvex::update
