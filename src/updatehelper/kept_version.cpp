#include "updatehelper/kept_version.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <ostream>

#include "platform/atomic_file.h"
#include "platform/user_folders.h"
#include "updatehelper/helper_command_line.h"

namespace korvex::updatehelper {
namespace {

constexpr const char* kNoteHeader = "korvex-release 1\n";
constexpr const char* kListHeader = "korvex-previous-version 1\n";
constexpr const char* kNewKeptSuffix = ".new";
// A list names no more files than an update could bring.
constexpr std::size_t kMaxKeptFiles = 10000;

std::string keptFolder(const std::string& programFolder) {
    return programFolder + kKeptFolderName + "/";
}

std::string withoutSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// The whole file `name` of the folder `dirFd`, a regular file of this user no longer than `limit`,
// opened without following a link; nullopt otherwise.
std::optional<std::string> readAt(int dirFd, const char* name, std::uint64_t limit, mode_t* mode = nullptr) {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<std::string> text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        static_cast<std::uint64_t>(st.st_size) <= limit) {
        std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
        if (::pread(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()))
            text = std::move(bytes);
        if (mode) *mode = st.st_mode & 0777;
    }
    ::close(fd);
    return text;
}

std::optional<std::string> readWhole(const std::string& path, std::uint64_t limit) {
    return readAt(AT_FDCWD, path.c_str(), limit);
}

// The lines of `text` up to `end`, each "key value"; false when one is cut short.
bool splitLines(const std::string& text, std::size_t pos, std::size_t end, std::vector<std::string>& lines) {
    while (pos < end) {
        const std::size_t stop = text.find('\n', pos);
        if (stop == std::string::npos || stop > end) return false;
        lines.push_back(text.substr(pos, stop - pos));
        pos = stop + 1;
    }
    return true;
}

std::uint64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size)
                                                                  : 0;
}

// Deletes every entry of the folder at `folder` that is not a folder, then the folder; nothing is
// followed, so a link in it goes and what it points at stays.
void removeFlatFolder(const std::string& folder) {
    const std::string path = withoutSlash(folder);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlink(path.c_str());
        return;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (DIR* dir = ::fdopendir(::dup(fd))) {
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        ::closedir(dir);
        for (const auto& name : names) ::unlinkat(fd, name.c_str(), 0);
    }
    ::close(fd);
    ::rmdir(path.c_str());
}

}  // namespace

std::uint64_t keptBytesLimit(std::uint64_t updateBytes) {
    return 2 * updateBytes + 1024 * 1024;
}

std::string releaseNoteText(const ReleaseNote& note) {
    std::string text = kNoteHeader;
    if (!note.version.empty()) text += "version " + note.version + "\n";
    if (!note.from.empty()) text += "from " + note.from + "\n";
    if (!note.undone.empty()) text += "undone " + note.undone + "\n";
    if (!note.failed.empty()) text += "failed " + note.failed + "\n";
    text += std::string("shown ") + (note.shown ? "1" : "0") + "\nmessage\n" + note.message;
    return text;
}

std::optional<ReleaseNote> parseReleaseNote(const std::string& text) {
    if (text.size() > kMaxNoteBytes || text.rfind(kNoteHeader, 0) != 0) return std::nullopt;
    const std::size_t body = text.find("\nmessage\n");
    std::vector<std::string> lines;
    if (body == std::string::npos || !splitLines(text, std::strlen(kNoteHeader), body + 1, lines))
        return std::nullopt;
    ReleaseNote note;
    const std::map<std::string, std::string*> fields{
        {"version", &note.version}, {"from", &note.from}, {"undone", &note.undone}, {"failed", &note.failed}};
    for (const auto& line : lines) {
        const std::size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank);
        const std::string value = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        if (const auto field = fields.find(key); field != fields.end()) *field->second = value;
        if (key == "shown") note.shown = value == "1";
    }
    if (note.version.empty() && note.failed.empty()) return std::nullopt;
    note.message = text.substr(body + std::strlen("\nmessage\n"));
    return note;
}

std::optional<ReleaseNote> readReleaseNote(const std::string& path) {
    const auto text = readWhole(path, kMaxNoteBytes);
    return text ? parseReleaseNote(*text) : std::nullopt;
}

bool writeReleaseNote(const std::string& path, const ReleaseNote& note) {
    AtomicWriteOptions options;
    options.followLink = false;
    return writeFileAtomically(path, releaseNoteText(note), options).has_value();
}

bool keptFolderOf(const std::string& folder, const std::string& programFolder) {
    return withoutSlash(folder) == withoutSlash(keptFolder(resolvedPath(programFolder)));
}

namespace {

// The kept folder opened for reading, with what is in it, checked entry by entry.
struct OpenedKeptFolder {
    int fd = -1;
    std::map<std::string, std::uint64_t> files;  // name, size
    ~OpenedKeptFolder() {
        if (fd >= 0) ::close(fd);
    }
};

// "" when the folder is a regular folder of this user, open to no one else, holding regular files of
// this user alone; otherwise why not.
std::string openKeptFolder(const std::string& folder, OpenedKeptFolder& opened) {
    opened.fd = ::open(withoutSlash(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (opened.fd < 0 || ::fstat(opened.fd, &st) != 0)
        return "it is not a folder (a link or a file stands there)";
    if (st.st_uid != ::geteuid()) return "it belongs to another user";
    if ((st.st_mode & 077) != 0) return "others may open it";
    DIR* dir = ::fdopendir(::dup(opened.fd));
    if (!dir) return std::strerror(errno);
    std::string why;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat file {};
        if (::fstatat(opened.fd, name.c_str(), &file, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(file.st_mode) ||
            file.st_uid != ::geteuid()) {
            why = "it holds " + name +
                  ", which is not a plain file of yours (a link, a folder, another user's)";
            break;
        }
        opened.files[name] = static_cast<std::uint64_t>(file.st_size);
    }
    ::closedir(dir);
    return why;
}

// "" when `path` is one an undo may write; otherwise why not.
std::string refusedTarget(const std::string& path, const std::string& folder,
                          const PathMacroFolders& folders) {
    if (path.empty() || path.front() != '/' || resolvedPath(path) != path || path.rfind(folder, 0) == 0 ||
        !confinedPath(path, folders))
        return "it names " + path + ", outside the folders an update may write";
    return {};
}

// The list's text as a kept version; "" in `why` when it reads whole.
KeptVersion parseKeptList(const std::string& text, const OpenedKeptFolder& opened, const std::string& folder,
                          const PathMacroFolders& folders, std::string& why) {
    KeptVersion kept;
    kept.folder = folder;
    std::vector<std::string> lines;
    if (text.rfind(kListHeader, 0) != 0 || !splitLines(text, std::strlen(kListHeader), text.size(), lines) ||
        lines.size() > kMaxKeptFiles) {
        why = "its file list is not one Korvex wrote";
        return kept;
    }
    std::size_t copies = 0;
    for (const auto& line : lines) {
        if (line.rfind("from ", 0) == 0) kept.from = line.substr(5);
        if (line.rfind("to ", 0) == 0) kept.to = line.substr(3);
        if (line.size() < 3 || (line[0] != 'R' && line[0] != 'N') || line[1] != ' ') continue;
        KeptFile file{line.substr(2), line[0] == 'R',
                      line[0] == 'R' ? std::to_string(copies++) : std::string()};
        if (why = refusedTarget(file.target, folder, folders); !why.empty()) return kept;
        if (file.replaced && !opened.files.contains(file.copy)) {
            why = "the copy of " + file.target + " is missing";
            return kept;
        }
        kept.files.push_back(std::move(file));
    }
    if (kept.from.empty() || kept.to.empty()) why = "its file list names no versions";
    return kept;
}

}  // namespace

std::optional<KeptVersion> readKeptVersion(const std::string& programFolder, const PathMacroFolders& folders,
                                           std::string* refusal) {
    const std::string folder = keptFolder(programFolder);
    struct stat st {};
    if (::lstat(withoutSlash(folder).c_str(), &st) != 0) return std::nullopt;
    OpenedKeptFolder opened;
    std::string why = openKeptFolder(folder, opened);
    KeptVersion kept;
    if (why.empty()) {
        const auto list = readAt(opened.fd, kKeptListName, kMaxNoteBytes);
        if (!list)
            why = "it has no file list Korvex can read";
        else
            kept = parseKeptList(*list, opened, folder, folders, why);
    }
    if (why.empty()) return kept;
    if (refusal)
        *refusal = "the kept previous version " + folder + " is refused: " + why + "; nothing was changed";
    return std::nullopt;
}

void dropKeptVersion(const std::string& programFolder) {
    removeFlatFolder(keptFolder(programFolder));
}

namespace {

// A kept copy or a staged file may be a whole program, never more than this.
constexpr std::uint64_t kMaxKeptFileBytes = 256ull * 1024 * 1024;

bool writeCopy(const std::string& path, const std::string& bytes, mode_t mode) {
    AtomicWriteOptions options;
    options.mode = mode & 0777;
    options.followLink = false;
    return writeFileAtomically(path, bytes, options).has_value();
}

// The old copy at `backup` becomes `copy`: renamed, or on another file system copied and deleted.
bool moveInto(const std::string& backup, const std::string& copy) {
    if (::rename(backup.c_str(), copy.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    mode_t mode = 0600;
    const auto bytes = readAt(AT_FDCWD, backup.c_str(), kMaxKeptFileBytes, &mode);
    return bytes && writeCopy(copy, *bytes, mode) && ::unlink(backup.c_str()) == 0;
}

// The value of the first "key value" line of a list or note.
std::string lineValue(const std::string& text, const std::string& key) {
    const std::size_t at = text.find("\n" + key + " ");
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size() + 2;
    return text.substr(start, text.find('\n', start) - start);
}

// The old copies of `journal` moved into `building` with the list naming them; false when one cannot be.
bool fillKeptFolder(const InstallJournal& journal, const std::string& building, const ReleaseNote& newNote,
                    const std::string& programFolder) {
    std::string list = std::string(kListHeader) + "from " + newNote.from + "\nto " + newNote.version + "\n";
    std::size_t copies = 0;
    for (const auto& step : journal.steps()) {
        if (step.removes) continue;
        if (!step.replaces) {
            list += "N " + step.target + "\n";
            continue;
        }
        if (!moveInto(step.target + kBackupSuffix, building + std::to_string(copies++))) return false;
        list += "R " + step.target + "\n";
    }
    if (const auto note = readWhole(programFolder + kReleaseNoteName, kMaxNoteBytes))
        if (!writeCopy(building + kKeptNoteName, *note, 0600)) return false;
    return writeCopy(building + kKeptListName, list, 0600);
}

}  // namespace

void keepPreviousVersion(const InstallJournal& journal, const std::string& programFolder,
                         const std::optional<ReleaseNote>& newNote, std::ostream& log) {
    const std::string folder = keptFolder(programFolder);
    const std::string building = withoutSlash(folder) + kNewKeptSuffix + "/";
    removeFlatFolder(building);
    std::uint64_t updateBytes = 0, keptBytes = 0;
    for (const auto& step : journal.steps()) {
        if (step.removes) continue;
        updateBytes += fileSize(step.target);
        if (step.replaces) keptBytes += fileSize(step.target + kBackupSuffix);
    }
    // Without the versions there is nothing to name to the user: nothing is kept.
    if (newNote && keptBytes > keptBytesLimit(updateBytes))
        log << "the replaced files (" << keptBytes << " bytes) are too large to keep beside an update of "
            << updateBytes << " bytes; the previous version is not kept\n";
    else if (newNote && ::mkdir(withoutSlash(building).c_str(), 0700) == 0) {
        if (fillKeptFolder(journal, building, *newNote, programFolder)) {
            removeFlatFolder(folder);
            if (::rename(withoutSlash(building).c_str(), withoutSlash(folder).c_str()) != 0)
                log << "cannot keep the previous version in " << folder << ": " << std::strerror(errno)
                    << '\n';
        }
        removeFlatFolder(building);
    }
    if (!newNote) return;
    ReleaseNote placed = *newNote;
    placed.from.clear();
    placed.shown = false;
    writeReleaseNote(programFolder + kReleaseNoteName, placed);
}

void finishUndo(const std::string& programFolder, std::ostream& log) {
    const std::string folder = keptFolder(programFolder);
    const int fd = ::open(withoutSlash(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    std::optional<std::string> list, noteText;
    if (fd >= 0) {
        list = readAt(fd, kKeptListName, kMaxNoteBytes);
        noteText = readAt(fd, kKeptNoteName, kMaxNoteBytes);
        ::close(fd);
    }
    // Without its list an earlier run has finished already (the note is written before the folder goes).
    if (list) {
        const std::optional<ReleaseNote> kept = noteText ? parseReleaseNote(*noteText) : std::nullopt;
        ReleaseNote placed;
        placed.version = lineValue(*list, "from");
        placed.undone = lineValue(*list, "to");
        if (kept && kept->version == placed.version) placed.message = kept->message;
        if (!writeReleaseNote(programFolder + kReleaseNoteName, placed))
            log << "cannot write " << programFolder << kReleaseNoteName << '\n';
    }
    dropKeptVersion(programFolder);
}

namespace {

// Every kept copy written to its ".updtmp" name, from the kept folder opened anew without following a link.
bool stageCopies(const KeptVersion& kept, std::ostream& log) {
    const int fd = ::open(withoutSlash(kept.folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    bool ok = fd >= 0;
    for (const auto& file : kept.files) {
        if (!ok || !file.replaced) continue;
        mode_t mode = 0600;
        const auto bytes = readAt(fd, file.copy.c_str(), kMaxKeptFileBytes, &mode);
        ok = bytes && writeCopy(file.target + kTempSuffix, *bytes, mode);
        if (!ok) log << "cannot put the kept copy of " << file.target << " beside it; nothing was changed\n";
    }
    if (fd >= 0) ::close(fd);
    return ok;
}

bool present(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

bool undoKeptVersion(const std::string& programFolder, const std::string& tempFolder, std::ostream& log) {
    std::string refusal;
    const auto kept = readKeptVersion(programFolder, pathMacroFolders(programFolder, tempFolder), &refusal);
    if (!kept) {
        log << (refusal.empty() ? "no previous version is kept in " + programFolder : refusal) << '\n';
        return false;
    }
    // The added files go first, then the old ones come back.
    std::vector<InstallStep> steps;
    for (const auto& file : kept->files)
        if (!file.replaced) steps.push_back({file.target, false, true});
    for (const auto& file : kept->files)
        if (file.replaced) steps.push_back({file.target, present(file.target), false});
    InstallJournal journal;
    std::string error;
    if (!journal.create(programFolder + kJournalFileName, {}, steps, &error, kept->folder)) {
        log << "cannot write the installation journal " << error << "; nothing was changed\n";
        return false;
    }
    const bool undone = stageCopies(*kept, log) && journal.rollForward(log);
    if (undone)
        finishUndo(programFolder, log);
    else if (journal.state() != JournalState::Undone)
        journal.rollBack(log);
    journal.finish();
    return undone;
}

void noteUndoFailure(const std::string& programFolder, const std::string& reason) {
    const std::string path = programFolder + kReleaseNoteName;
    ReleaseNote note = readReleaseNote(path).value_or(ReleaseNote{});
    note.failed = reason.substr(0, reason.find('\n'));
    note.shown = false;
    writeReleaseNote(path, note);
}

}  // namespace korvex::updatehelper
