#include "update/install/handover.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "update/install/helper_image.h"
#include "update/texts/dialog_texts.h"
#include "update/texts/language.h"
#include "updatehelper/helper_command_line.h"
#include "updatehelper/helper_install.h"
#include "updatehelper/install_journal.h"

namespace korvex::update {

namespace {

// The helper written out and started with `arguments`, in a session of its own so that it outlives
// the program that starts it.
bool startHelper(const UpFolders& f, const std::vector<std::string>& arguments, std::string* error) {
    std::ostringstream log;
    if (updatehelper::startProgram(f.helperPath, arguments, log) < 0) {
        if (error) {
            *error = log.str();
            if (!error->empty() && error->back() == '\n') error->pop_back();
        }
        return false;
    }
    return true;
}

bool writeHelper(const UpFolders& f, std::string* error) {
    if (f.tempFolder.empty()) {
        if (error) *error = "there is no private temporary folder for the update helper";
        return false;
    }
    return writeUpdateHelper(f.helperPath, error);
}

}  // namespace

bool handOverToHelper(const HandOver& handOver, const PathMacroFolders& macros, std::string* error) {
    const UpFolders& f = handOver.folders;
    if (!handOver.upgradeFinished) deleteProgramFolderTemporaries(f.programFolder);
    if (!writeHelper(f, error)) return false;
    // A note of an earlier, abandoned hand-over must not name this release.
    const std::string note = f.tempFolder + updatehelper::kReleaseNoteName;
    ::unlink(note.c_str());
    if (handOver.release && !updatehelper::writeReleaseNote(note, *handOver.release)) {
        if (error) *error = note + ": " + std::strerror(errno);
        return false;
    }

    const std::string queue = updateQueueText(handOver.entries, macros);
    if (queue.empty()) {
        ::unlink(f.queuePath.c_str());  // a queue of an earlier, abandoned upgrade must not be replayed
    } else if (!writeUpdateFile(f.queuePath, queue, 0600, error)) {
        return false;
    }

    return startHelper(f, updatehelper::helperArguments(f.programPath, handOver.restartParams, handOver.externalSetup),
                       error);
}

bool handOverUndo(const UpFolders& folders, const std::string& restartParams, std::string* error) {
    return writeHelper(folders, error) &&
           startHelper(folders, updatehelper::undoHelperArguments(folders.programPath, restartParams), error);
}

std::string runningProgramFolder() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    std::string folder(buffer, static_cast<size_t>(n));
    folder.erase(folder.rfind('/') + 1);
    return folder;
}

std::string settleInterruptedInstall(const std::string& programFolder) {
    const std::string folder = programFolder.empty() ? runningProgramFolder() : programFolder;
    if (folder.empty()) return {};
    std::ostringstream log;  // what went wrong on the way changes nothing the user can do
    switch (updatehelper::recoverInterruptedInstall(folder, log)) {
        case updatehelper::InterruptedInstall::None:
            return {};
        case updatehelper::InterruptedInstall::Finished:
            return std::string(upText(UpText::InstallFinished));
        case updatehelper::InterruptedInstall::RolledBack:
            return std::string(upText(UpText::InstallRolledBack));
        // Said in the window's language where the user reads Russian, else in English.
        case updatehelper::InterruptedInstall::UndoFinished:
            return upCurrentLanguage() == TupUpdaterLanguage::wlRussian
                       ? "Прерванный возврат к предыдущей версии завершён: предыдущая версия на месте."
                       : "An interrupted undo has been completed; the previous version is in place.";
        case updatehelper::InterruptedInstall::UndoRolledBack:
            return upCurrentLanguage() == TupUpdaterLanguage::wlRussian
                       ? "Прерванный возврат к предыдущей версии отменён: на месте версия последнего обновления."
                       : "An interrupted undo has been taken back; the version of the last update is in place.";
        case updatehelper::InterruptedInstall::Refused: {
            const std::string aside =
                folder + updatehelper::kJournalFileName + updatehelper::kRefusedJournalSuffix;
            return upFormat(upText(UpText::InstallRefused), {std::string_view(aside)});
        }
    }
    return {};
}

}  // namespace korvex::update
