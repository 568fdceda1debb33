#include "platform/user_folders.h"

#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace korvex {
namespace {

std::string withSlash(std::string path) {
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

std::string absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return {};  // the XDG rules ignore relative paths
    return withSlash(value);
}

std::string parentOf(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool isPrivateFolder(const struct stat& st, uid_t owner) {
    return S_ISDIR(st.st_mode) && st.st_uid == owner && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool isSafeParentFolder(const struct stat& st, uid_t owner) {
    return S_ISDIR(st.st_mode) && (st.st_uid == owner || st.st_uid == 0) &&
           ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (st.st_mode & S_ISVTX) != 0);
}

bool usePrivateFolder(const std::string& folder, std::string* why) {
    const uid_t me = ::geteuid();
    const auto refuse = [&](const std::string& reason) {
        if (why) *why = folder + ": " + reason;
        return false;
    };
    struct stat parent {};
    if (::stat(parentOf(folder).c_str(), &parent) != 0) return refuse(std::strerror(errno));
    if (!isSafeParentFolder(parent, me)) return refuse("others can replace entries of the folder holding it");
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return refuse(std::strerror(errno));
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return refuse(std::strerror(errno));
    if (S_ISLNK(st.st_mode)) return refuse("is a symbolic link");
    if (!S_ISDIR(st.st_mode)) return refuse("is not a folder");
    if (st.st_uid != me) return refuse("belongs to another user");
    if (!isPrivateFolder(st, me)) return refuse("others can write into it");
    return true;
}

std::string privateTempFolder(std::string* why) {
    std::string reasons;
    const auto attempt = [&](const std::string& folder) {
        std::string reason;
        if (usePrivateFolder(folder, &reason)) return true;
        reasons += (reasons.empty() ? "" : "; ") + reason;
        return false;
    };
    // The runtime folder itself must be ours and closed to others, as the XDG rules require.
    if (const std::string runtime = absoluteEnv("XDG_RUNTIME_DIR"); !runtime.empty()) {
        struct stat st {};
        if (::stat(runtime.c_str(), &st) == 0 && isPrivateFolder(st, ::geteuid())) {
            if (attempt(runtime + "korvex")) return runtime + "korvex/";
        } else {
            reasons = runtime + ": not a private folder of this user";
        }
    }
    if (const std::string cache = xdgCacheHome(); cache.size() > 1) {
        ::mkdir(cache.c_str(), 0700);
        ::mkdir((cache + "korvex").c_str(), 0700);
        if (attempt(cache + "korvex") && attempt(cache + "korvex/tmp")) return cache + "korvex/tmp/";
    }
    const std::string shared = "/tmp/korvex-" + std::to_string(::geteuid());
    if (attempt(shared)) return shared + "/";
    if (why) *why = reasons;
    return {};
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return withSlash(home);
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return withSlash(pw->pw_dir);
    return {};
}

std::string xdgDataHome() {
    const std::string env = absoluteEnv("XDG_DATA_HOME");
    return env.empty() ? homeFolder() + ".local/share/" : env;
}

std::string xdgCacheHome() {
    const std::string env = absoluteEnv("XDG_CACHE_HOME");
    return env.empty() ? homeFolder() + ".cache/" : env;
}

std::string xdgConfigHome() {
    return withSlash(userConfigHome());
}

std::string userDirFromText(std::string_view text, std::string_view name, const std::string& home) {
    const std::string key = "XDG_" + std::string(name) + "_DIR=";
    std::string found;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.substr(0, key.size()) != key) continue;
        line.remove_prefix(key.size());
        // The file's form: a double-quoted "$HOME/sub" or "/absolute"; the last line counts.
        if (line.size() < 2 || line.front() != '"') continue;
        const size_t close = line.find('"', 1);
        if (close == std::string_view::npos) continue;
        std::string_view value = line.substr(1, close - 1);
        if (value == "$HOME" || value == "$HOME/") found = home;
        else if (value.substr(0, 6) == "$HOME/") found = withSlash(home + std::string(value.substr(6)));
        else if (!value.empty() && value.front() == '/') found = withSlash(std::string(value));
    }
    return found;
}

std::string xdgUserDir(std::string_view name) {
    const std::string home = homeFolder();
    std::string text;
    if (const std::string config = xdgConfigHome(); !config.empty()) {
        std::ifstream in(config + "user-dirs.dirs", std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string dir = userDirFromText(text, name, home);
    if (!dir.empty()) return dir;
    return name == "DESKTOP" ? home + "Desktop/" : home;
}

}  // namespace korvex
