#include "platform/paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace korvex {

namespace {

constexpr std::string_view kSettingsName = "Settings.ini";
constexpr std::string_view kConfigFolderName = "korvex";

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

// mkdir -p with mode 0700 for every folder it makes; folders that exist keep their mode.
void makeFolders(const std::filesystem::path& folder) {
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}

}  // namespace

std::string executablePath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::string executableDir() {
    const std::string exe = executablePath();
    if (exe.empty()) return {};
    std::string dir = std::filesystem::path(exe).parent_path().string();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string userConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        std::string dir = xdg;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        return dir;
    }
    std::string home = homeFolder();
    if (home.empty()) return {};
    while (!home.empty() && home.back() == '/') home.pop_back();
    return home + "/.config";
}

bool folderWritable(const std::string& dir) {
    if (dir.empty()) return false;
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    // The effective user decides, as it does for the files the program then makes; EROFS answers
    // for a folder on a read-only mount (a mounted image, a read-only share).
    return ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool systemProgramFolder(const std::string& dir) {
    for (const std::string_view root : {"/usr", "/bin", "/sbin"}) {
        if (dir.starts_with(root) && (dir.size() == root.size() || dir[root.size()] == '/')) return true;
    }
    return false;
}

std::string settingsPathFor(const std::string& programDir, bool programDirWritable, const std::string& configHome,
                            bool makeFolder) {
    const std::string beside = programDir + std::string(kSettingsName);
    if (!programDir.empty()) {
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(beside, ec))) return beside;
        if (programDirWritable && !systemProgramFolder(programDir)) return beside;
    }
    if (configHome.empty()) return beside;

    const std::filesystem::path folder = std::filesystem::path(configHome) / kConfigFolderName;
    if (makeFolder) makeFolders(folder);
    return (folder / kSettingsName).string();
}

std::string defaultSettingsPath(bool makeFolder) {
    const std::string dir = executableDir();
    return settingsPathFor(dir, folderWritable(dir), userConfigHome(), makeFolder);
}

}  // namespace korvex
