#include "updatehelper/install_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <utility>

#include "platform/user_folders.h"
#include "updatehelper/helper_command_line.h"
#include "updatehelper/kept_version.h"

namespace korvex::updatehelper {
namespace {

constexpr const char* kHeader = "korvex-update-journal 1\n";
constexpr const char* kStatePrefix = "state ";
// A journal is a few lines a file; anything larger is not one of ours.
constexpr off_t kMaxJournalSize = 1024 * 1024;

const char* stateWord(JournalState state) {
    switch (state) {
        case JournalState::Installing:
            return "installing";
        case JournalState::Installed:
            return "installed ";
        case JournalState::Undone:
            return "undone    ";
    }
    return "undone    ";
}

bool present(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void syncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

InstallJournal::~InstallJournal() {
    close();
}

InstallJournal::InstallJournal(InstallJournal&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_path(std::move(other.m_path)),
      m_queuePath(std::move(other.m_queuePath)),
      m_undoFolder(std::move(other.m_undoFolder)),
      m_steps(std::move(other.m_steps)),
      m_state(other.m_state) {}

InstallJournal& InstallJournal::operator=(InstallJournal&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_queuePath = std::move(other.m_queuePath);
        m_undoFolder = std::move(other.m_undoFolder);
        m_steps = std::move(other.m_steps);
        m_state = other.m_state;
    }
    return *this;
}

void InstallJournal::close() {
    if (m_fd >= 0) ::close(m_fd);  // the lock goes with it
    m_fd = -1;
}

bool InstallJournal::create(const std::string& path, const std::string& queuePath,
                            std::vector<InstallStep> steps, std::string* error, const std::string& undoFolder) {
    close();
    m_path = path;
    m_queuePath = queuePath;
    m_undoFolder = undoFolder;
    m_steps = std::move(steps);
    m_state = JournalState::Installing;
    std::string text = kHeader;
    text += std::string(kStatePrefix) + stateWord(m_state) + "\n";
    text += "queue " + queuePath + "\n";
    if (!undoFolder.empty()) text += "undo " + undoFolder + "\n";
    for (const auto& step : m_steps)
        text += (step.removes ? "D " : step.replaces ? "R " : "N ") + step.target + "\n";

    // Locked before it takes its name, so no start of korvex can take it for an abandoned one.
    std::string temp = path + "-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    const auto fail = [&](int fdToClose) {
        if (error) *error = path + ": " + std::strerror(errno);
        if (fdToClose >= 0) {
            ::close(fdToClose);
            ::unlink(temp.c_str());
        }
        return false;
    };
    if (fd < 0) return fail(-1);
    if (::flock(fd, LOCK_EX) != 0 || !writeAll(fd, text) || ::fsync(fd) != 0) return fail(fd);
    if (::rename(temp.c_str(), path.c_str()) != 0) return fail(fd);
    syncFolderOf(path);
    m_fd = fd;
    return true;
}

bool InstallJournal::open(const std::string& path, bool* busy) {
    close();
    if (busy) *busy = false;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_size > kMaxJournalSize) {
        ::close(fd);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (busy) *busy = errno == EWOULDBLOCK;
        ::close(fd);
        return false;
    }
    std::string text(static_cast<size_t>(st.st_size), '\0');
    if (::pread(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()) ||
        text.rfind(kHeader, 0) != 0) {
        ::close(fd);
        return false;
    }
    m_path = path;
    m_steps.clear();
    m_queuePath.clear();
    m_undoFolder.clear();
    m_state = JournalState::Undone;
    bool stateSeen = false;
    size_t pos = std::strlen(kHeader);
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) break;  // a line cut short: the journal was never complete
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.rfind(kStatePrefix, 0) == 0) {
            const std::string word = line.substr(std::strlen(kStatePrefix));
            stateSeen = true;
            if (word == stateWord(JournalState::Installing))
                m_state = JournalState::Installing;
            else if (word == stateWord(JournalState::Installed))
                m_state = JournalState::Installed;
            else
                m_state = JournalState::Undone;
        } else if (line.rfind("queue ", 0) == 0) {
            m_queuePath = line.substr(6);
        } else if (line.rfind("undo /", 0) == 0) {
            m_undoFolder = line.substr(5);
        } else if (line.size() > 3 && (line[0] == 'R' || line[0] == 'N' || line[0] == 'D') && line[1] == ' ' &&
                   line[2] == '/') {
            m_steps.push_back({line.substr(2), line[0] == 'R', line[0] == 'D'});
        }
    }
    if (!stateSeen) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void InstallJournal::setState(JournalState state) {
    m_state = state;
    if (m_fd < 0) return;
    const std::string word = stateWord(state);
    const off_t offset = static_cast<off_t>(std::strlen(kHeader) + std::strlen(kStatePrefix));
    if (::pwrite(m_fd, word.data(), word.size(), offset) == static_cast<ssize_t>(word.size())) ::fsync(m_fd);
}

bool InstallJournal::takeAway(const InstallStep& step, std::ostream& log) {
    const std::string backup = step.target + kBackupSuffix;
    // Taken away by an earlier run, or never there: nothing to do.
    if (!present(step.target)) return true;
    if (present(backup) && ::unlink(backup.c_str()) != 0) return false;
    if (::rename(step.target.c_str(), backup.c_str()) == 0) return true;
    log << "cannot take away " << step.target << ": " << std::strerror(errno) << "; the installation is undone\n";
    return false;
}

bool InstallJournal::rollForward(std::ostream& log) {
    for (const auto& step : m_steps) {
        if (step.removes) {
            if (takeAway(step, log)) continue;
            rollBack(log);
            return false;
        }
        const std::string temp = step.target + kTempSuffix;
        const std::string backup = step.target + kBackupSuffix;
        struct stat st {};
        if (::lstat(temp.c_str(), &st) != 0) {
            // Moved by an earlier run, or lost: only a moved file leaves these signs.
            if (step.replaces ? present(backup) : present(step.target)) continue;
            log << "the new " << step.target << " is gone; the installation is undone\n";
            rollBack(log);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            // Never moved into place: a link there would make the final name point anywhere.
            log << temp << " is not a regular file; the installation is undone\n";
            rollBack(log);
            return false;
        }
        bool ok = true;
        if (step.replaces) {
            struct stat old {};
            const bool targetThere = ::lstat(step.target.c_str(), &old) == 0;
            if (targetThere && S_ISREG(old.st_mode))
                ::chmod(temp.c_str(), old.st_mode & 0777);  // no set-id bits
            if (targetThere && S_ISDIR(old.st_mode)) {
                errno = EISDIR;  // a folder is never replaced by a file
                ok = false;
            } else if (targetThere && !present(backup)) {
                // A second name keeps the old file while the final name is replaced in one step;
                // a file system without hard links gets a moment without it instead.
                ok = ::link(step.target.c_str(), backup.c_str()) == 0 ||
                     ((errno == EPERM || errno == EOPNOTSUPP || errno == EXDEV || errno == EMLINK) &&
                      ::rename(step.target.c_str(), backup.c_str()) == 0);
            }
        }
        if (ok) ok = ::rename(temp.c_str(), step.target.c_str()) == 0;
        if (!ok) {
            log << "cannot put " << step.target << " in place: " << std::strerror(errno)
                << "; the installation is undone\n";
            rollBack(log);
            return false;
        }
    }
    syncFolderOf(m_path);
    setState(JournalState::Installed);
    return true;
}

void InstallJournal::rollBack(std::ostream& log) {
    for (auto step = m_steps.rbegin(); step != m_steps.rend(); ++step) {
        const std::string temp = step->target + kTempSuffix;
        const std::string backup = step->target + kBackupSuffix;
        if (step->removes) {
            if (present(backup) && !present(step->target)) ::rename(backup.c_str(), step->target.c_str());
            continue;
        }
        if (present(temp)) {
            // Not moved: the old file is still at its name (or, without hard links, only at the
            // old copy's name).
            if (step->replaces && present(backup) && !present(step->target))
                ::rename(backup.c_str(), step->target.c_str());
            continue;
        }
        if (step->replaces) {
            if (present(backup) && ::rename(backup.c_str(), step->target.c_str()) != 0)
                log << "cannot restore " << step->target << ": " << std::strerror(errno) << '\n';
        } else {
            ::unlink(step->target.c_str());
        }
    }
    setState(JournalState::Undone);
}

void InstallJournal::finish(bool keepJournal) {
    for (const auto& step : m_steps) {
        ::unlink((step.target + kBackupSuffix).c_str());
        // After a roll-back the new files would only wait to be installed by a later helper.
        if (m_state == JournalState::Undone) ::unlink((step.target + kTempSuffix).c_str());
    }
    if (!m_queuePath.empty()) ::unlink(m_queuePath.c_str());
    if (!m_path.empty() && !keepJournal) ::unlink(m_path.c_str());
    close();
}

std::string InstallJournal::pathOutside(const PathMacroFolders& folders) const {
    if (!m_queuePath.empty() && !confinedPath(m_queuePath, folders)) return m_queuePath;
    if (!m_undoFolder.empty() && !keptFolderOf(m_undoFolder, folders.current)) return m_undoFolder;
    for (const auto& step : m_steps)
        if (!confinedPath(step.target, folders)) return step.target;
    return {};
}

InterruptedInstall recoverInterruptedInstall(const std::string& programFolder, std::ostream& log) {
    InstallJournal journal;
    bool busy = false;
    const std::string path = programFolder + kJournalFileName;
    if (!journal.open(path, &busy)) return InterruptedInstall::None;
    // Not one the helper wrote for this program: nothing it names is renamed or deleted, and the
    // next start does not read it again.
    if (const std::string outside = journal.pathOutside(pathMacroFolders(programFolder, privateTempFolder()));
        !outside.empty()) {
        const std::string aside = path + kRefusedJournalSuffix;
        log << path << " names " << outside << ", outside the folders an update may write; it was renamed "
            << aside << " and nothing was changed\n";
        ::rename(path.c_str(), aside.c_str());
        return InterruptedInstall::Refused;
    }
    switch (journal.state()) {
        case JournalState::Installing:
            journal.rollForward(log);
            break;
        case JournalState::Installed:
        case JournalState::Undone:
            break;
    }
    const JournalState state = journal.state();
    // An undo that reached its end has put the previous version back: the kept folder goes.
    const bool undo = !journal.undoFolder().empty();
    if (state == JournalState::Installed && undo) finishUndo(programFolder, log);
    journal.finish();
    if (undo) return state == JournalState::Installed ? InterruptedInstall::UndoFinished : InterruptedInstall::UndoRolledBack;
    return state == JournalState::Installed ? InterruptedInstall::Finished : InterruptedInstall::RolledBack;
}

}  // namespace korvex::updatehelper
