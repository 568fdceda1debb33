#include "up_handover.h"

#include <spawn.h>
#include <unistd.h>

#include <cstring>

#include "helper_command_line.h"
#include "up_helper_image.h"

extern char** environ;

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

    const auto args = updatehelper::helperArguments(f.programPath, handOver.restartParams, handOver.externalSetup);
    std::vector<char*> argv{const_cast<char*>(f.helperPath.c_str())};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own session: the helper must outlive the program that starts it.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, f.helperPath.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        if (error) *error = f.helperPath + ": " + std::strerror(rc);
        return false;
    }
    return true;
}

}  // namespace korvex::update
