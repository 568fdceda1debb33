#include "updatehelper/helper_install.h"

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>

#include "updatehelper/kept_version.h"
#include "updatehelper/program_wait.h"

extern char** environ;

namespace korvex::updatehelper {
namespace {

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The first target outside the folders an update may write, "" when none. Checked again here,
// where the files are moved: a link put on the way since korvex checked would carry a file out.
// The helper lies in the private temporary folder, beside the queue.
std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string stepOutside(const std::vector<InstallStep>& steps, const std::string& programFolder,
                        const std::string& queuePath) {
    const PathMacroFolders folders = pathMacroFolders(programFolder, folderOf(queuePath));
    for (const auto& step : steps)
        if (!confinedPath(step.target, folders)) return step.target;
    return {};
}

}  // namespace

std::vector<std::string> readQueue(const std::string& queuePath) {
    std::ifstream in(queuePath, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(std::move(line));
        pos = end + 1;
    }
    return lines;
}

std::vector<InstallStep> planInstall(const std::vector<std::string>& queue,
                                     const std::string& programFolder) {
    std::vector<InstallStep> steps;
    const auto add = [&steps](const std::string& target) {
        for (const auto& step : steps)
            if (step.target == target) return;
        struct stat st {};
        steps.push_back({target, ::lstat(target.c_str(), &st) == 0});
    };
    for (const auto& path : queue) {
        struct stat st {};
        // No ".updtmp": skipped by the download (same size) or never fetched. A path that is not
        // absolute is not one korvex wrote.
        if (path.empty() || path.front() != '/' || ::lstat((path + kTempSuffix).c_str(), &st) != 0) continue;
        add(path);
    }
    std::vector<std::string> names;
    const std::string folder = programFolder.empty() ? std::string("./") : programFolder;
    if (DIR* dir = ::opendir(folder.c_str())) {
        const size_t suffix = std::strlen(kTempSuffix);
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            // A bare ".updtmp" would name the folder itself as its target; a line break would
            // not survive the journal.
            if (name.size() > suffix && endsWith(name, kTempSuffix) && name.find('\n') == std::string::npos)
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());  // directory order is arbitrary; the setup rule takes the first
    for (const auto& name : names) add(folder + name.substr(0, name.size() - std::strlen(kTempSuffix)));
    return steps;
}

FolderInstall installFiles(const std::vector<std::string>& queue, const std::string& queuePath,
                           const HelperRequest& request, bool programUpdated, std::ostream& log) {
    FolderInstall result;
    const std::string folder = request.programFolder.empty() ? std::string("./") : request.programFolder;
    const std::vector<InstallStep> steps = planInstall(queue, folder);
    bool setupChosen = false;
    for (const auto& step : steps) {
        const bool inFolder = step.target.size() > folder.size() &&
                              step.target.compare(0, folder.size(), folder) == 0 &&
                              step.target.find('/', folder.size()) == std::string::npos;
        if (inFolder && !programUpdated && !setupChosen && endsWith(step.target, "exe")) {
            setupChosen = true;
            if (request.externalSetup) result.setup = step.target;
        }
    }
    if (steps.empty()) {
        ::unlink(queuePath.c_str());
        return result;
    }
    if (const std::string outside = stepOutside(steps, folder, queuePath); !outside.empty()) {
        log << outside << " lies outside the folders an update may write or is reached through a link; "
            << "nothing was installed\n";
        result.installed = false;
        result.setup.reset();
        return result;
    }

    // The previous version kept by the last update is of no use once this one begins.
    dropKeptVersion(folder);
    InstallJournal journal;
    std::string error;
    if (!journal.create(folder + kJournalFileName, queuePath, steps, &error)) {
        // Without a journal an interruption could leave two releases mixed: nothing is installed.
        log << "cannot write the installation journal " << error << "; nothing was installed\n";
        result.installed = false;
        result.setup.reset();
        return result;
    }
    result.installed = journal.rollForward(log);
    const std::string note = folderOf(queuePath) + kReleaseNoteName;
    if (result.installed) keepPreviousVersion(journal, folder, readReleaseNote(note), log);
    ::unlink(note.c_str());
    // After a roll-back the journal stays, so that the next start tells the user once.
    journal.finish(!result.installed);
    if (!result.installed) {
        result.setup.reset();
        return result;
    }
    // Windows makes the target plain first and gives the setup the hidden attribute: neither has
    // a counterpart here. What the setup does need is to be runnable, which a freshly downloaded
    // file is not.
    struct stat st {};
    if (result.setup && ::lstat(result.setup->c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::chmod(result.setup->c_str(), (st.st_mode & 0777) | S_IRUSR | S_IXUSR);
    return result;
}

pid_t startProgram(const std::string& path, const std::vector<std::string>& args, std::ostream& log) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A session of its own: the restarted program outlives the helper and any terminal it had.
    // The signals the helper ignores (see main.cpp) are the program's own again.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        log << "cannot start " << path << ": " << std::strerror(rc) << '\n';
        return -1;
    }
    return pid;
}

int runHelper(const std::vector<std::string>& args, const std::string& queuePath, std::ostream& out,
              std::ostream& log) {
    if (args.empty()) {
        out << kHelperTitle << "\n\n"
            << "Korvex starts this program after downloading an update. It waits until Korvex has\n"
               "ended, puts the new files in place and starts Korvex again. There is nothing to do\n"
               "when it is started by hand.\n";
        return 0;
    }
    const auto request = parseJoinedCommandLine(joinArguments(args), exists);
    if (!request || request->programPath.empty()) {
        log << kHelperTitle << ": the command line names no program (expected: PROGRAM +PARAMS DIGIT)\n";
        return 2;
    }

    const std::string& program = request->programPath;
    if (exists(program)) waitUntilProgramEnded(program);
    if (request->undo) {
        const std::string folder = request->programFolder.empty() ? std::string("./") : request->programFolder;
        std::ostringstream why;
        if (!undoKeptVersion(folder, folderOf(queuePath), why)) noteUndoFailure(folder, why.str());
        log << why.str();
        return startProgram(program, splitRestartParams(request->restartParams), log) > 0 ? 0 : 1;
    }
    const bool programUpdated = exists(program + kTempSuffix);

    const FolderInstall installed =
        installFiles(readQueue(queuePath), queuePath, *request, programUpdated, log);

    const auto params = splitRestartParams(request->restartParams);
    pid_t pid = startProgram(installed.setup ? *installed.setup : program, params, log);

    if (installed.setup) {
        const std::string& setup = *installed.setup;
        if (pid > 0) {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        waitUntilProgramEnded(setup);  // a setup that started a copy of itself and went on
        ::unlink(setup.c_str());
        pid = startProgram(program, params, log);
    }
    return pid > 0 ? 0 : 1;
}

}  // namespace korvex::updatehelper
