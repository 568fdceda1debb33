#include "run/program_start.h"

#include "settings/save_leftovers.h"
#include "update/install/handover.h"

namespace korvex {

ProgramStart::ProgramStart(const std::string& settingsPath, StartLocks locks)
    : installNote(update::settleInterruptedInstall()) {
    if (locks == StartLocks::CopyAndBook) {
        m_copy.emplace(lockFolderOfThisCopy());
        if (!m_copy->acquired()) {
            refused = &*m_copy;
            return;
        }
    }
    if (locks != StartLocks::None) {
        m_book.emplace(lockFolderOfThisCopy(), SingleInstance::bookLockName(settingsPath));
        if (!m_book->acquired()) {
            refused = &*m_book;
            return;
        }
        // The lock is ours: no other copy is saving, so what a crashed save left goes now.
        removeSaveLeftovers(settingsPath);
    }
    portals = loadPortals(settingsPath);
}

}  // namespace korvex
