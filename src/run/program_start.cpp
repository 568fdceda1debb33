#include "run/program_start.h"

#include "settings/save_leftovers.h"
#include "update/install/handover.h"

namespace korvex {

ProgramStart::ProgramStart() : installNote(update::settleInterruptedInstall()) {}

bool ProgramStart::open(const std::string& settingsPath, StartLocks locks, const std::string& lockFolder) {
    if (locks == StartLocks::CopyAndBook) {
        m_copy.emplace(lockFolder);
        if (!m_copy->acquired()) {
            refused = &*m_copy;
            return false;
        }
    }
    if (locks != StartLocks::None) {
        m_book.emplace(lockFolder, SingleInstance::bookLockName(settingsPath));
        if (!m_book->acquired()) {
            refused = &*m_book;
            return false;
        }
        // The lock is ours: no other copy is saving, so what a crashed save left goes now.
        removeSaveLeftovers(settingsPath);
    }
    portals = loadPortals(settingsPath);
    return true;
}

}  // namespace korvex
