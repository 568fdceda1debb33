#include "paths.h"

#include <filesystem>
#include <system_error>

namespace korvex {

std::string executableDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    std::string dir = exe.parent_path().string();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string defaultSettingsPath() {
    return executableDir() + "Settings.ini";
}

}  // namespace korvex
