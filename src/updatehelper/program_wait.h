#pragma once
// Waiting until a program has ended, known only by its executable file. Two signs, since neither
// is enough alone: Linux refuses to open a running executable for writing (ETXTBSY), but newer
// kernels drop that refusal; so a process of this user whose /proc/<pid>/exe is that very file
// (same device and inode) also counts as the program still running.
#include <chrono>
#include <string>

namespace korvex::updatehelper {

// True while the kernel refuses to open `path` for writing because it is being executed.
bool executableBusy(const std::string& path);

// True while a process of this user other than this one runs the file at `path`.
bool runByProcessOfThisUser(const std::string& path);

// Returns once `path` no longer exists or neither sign above holds. No time limit: the helper
// must not replace a program that still runs, and it ends when the program ends.
void waitUntilProgramEnded(const std::string& path,
                           std::chrono::milliseconds poll = std::chrono::milliseconds(50));

}  // namespace korvex::updatehelper
