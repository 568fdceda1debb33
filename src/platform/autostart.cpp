#include "platform/autostart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace korvex {

namespace {

constexpr std::string_view kOursKey = "X-Korvex-Autostart";
constexpr std::size_t kMostEntryBytes = 64 * 1024;

std::string_view trimmedSpaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The bytes of a regular file, at most kMostEntryBytes; nothing for anything else.
std::optional<std::string> readSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::string bytes;
    bool whole = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char chunk[8192];
    while (whole && bytes.size() <= kMostEntryBytes) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            whole = got == 0;
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!whole || bytes.size() > kMostEntryBytes) return std::nullopt;
    return bytes;
}

struct EntryKeys {
    bool ours = false;
    std::string exec;
};

// The keys of the [Desktop Entry] group that tell whose the file is and what it starts.
EntryKeys entryKeys(std::string_view text) {
    EntryKeys keys;
    bool inEntry = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmedSpaces(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.starts_with('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos) continue;
        const std::string_view key = trimmedSpaces(line.substr(0, equals));
        const std::string_view value = trimmedSpaces(line.substr(equals + 1));
        if (key == "Exec") keys.exec = value;
        if (key == kOursKey) keys.ours = value == "true";
    }
    return keys;
}

// An argument of an Exec line in double quotes, escaped by the desktop entry rules: '"', '`', '$' and
// '\' get a backslash, and then, the line being a string value, every backslash is doubled; '%' is
// written "%%" so that it is not taken for a field code.
std::string quotedExecArgument(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '`' || c == '$') quoted += "\\\\";
        if (c == '\\') quoted += "\\\\\\";
        quoted += c == '%' ? std::string("%%") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string entryText(const std::string& exec) {
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Korvex\n"
        "Comment=Korvex in the tray from the start of the session\n"
        "Comment[ru]=Korvex в области уведомлений с начала сеанса\n";
    text += "Exec=" + exec + "\n";
    text += "Icon=korvex\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    return text + std::string(kOursKey) + "=true\n";
}

Failure leftAlone(const AutostartEntry& entry) {
    return {std::make_error_code(std::errc::file_exists), autostartNotice(entry)};
}

Expected<void> writeEntry(const std::string& entryPath, const std::string& programPath) {
    const Expected<std::string> exec = autostartExec(programPath);
    if (!exec) return Unexpected(exec.error());
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(entryPath).parent_path(), ec);
    if (ec)
        return Unexpected(systemFailure(ec.value(), std::filesystem::path(entryPath).parent_path().string()));
    AtomicWriteOptions options;
    options.mode = 0644;
    return writeFileAtomically(entryPath, entryText(*exec), options);
}

}  // namespace

std::string autostartEntryPath(const std::string& configHome) {
    return configHome.empty() ? std::string() : configHome + "/autostart/korvex.desktop";
}

Expected<std::string> autostartExec(const std::string& programPath) {
    for (const char c : programPath)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return Unexpected(
                Failure{std::make_error_code(std::errc::invalid_argument),
                        "Путь программы содержит управляющий символ, и файл автозапуска не может "
                        "его записать: " +
                            programPath});
    const std::filesystem::path program(programPath);
    if (systemProgramFolder(program.parent_path().string())) return program.filename().string() + " --tray";
    return quotedExecArgument(programPath) + " --tray";
}

AutostartEntry readAutostart(const std::string& entryPath, const std::string& programPath) {
    AutostartEntry entry{entryPath, AutostartState::Off, {}};
    struct stat st {};
    if (::lstat(entryPath.c_str(), &st) != 0 && errno == ENOENT) return entry;
    const std::optional<std::string> text = readSmallFile(entryPath);
    const EntryKeys keys = text ? entryKeys(*text) : EntryKeys{};
    entry.starts = keys.exec;
    const Expected<std::string> exec = autostartExec(programPath);
    if (!keys.ours)
        entry.state = AutostartState::Foreign;
    else
        entry.state = exec && keys.exec == *exec ? AutostartState::On : AutostartState::OtherCopy;
    return entry;
}

Expected<AutostartEntry> setAutostart(const std::string& entryPath, const std::string& programPath, bool on) {
    const AutostartEntry now = readAutostart(entryPath, programPath);
    if (now.state == AutostartState::Foreign || now.state == AutostartState::OtherCopy)
        return Unexpected(leftAlone(now));
    if (on && now.state == AutostartState::Off) {
        if (Expected<void> written = writeEntry(entryPath, programPath); !written)
            return Unexpected(written.error());
    } else if (!on && now.state == AutostartState::On) {
        if (::unlink(entryPath.c_str()) != 0 && errno != ENOENT)
            return Unexpected(systemFailure(errno, entryPath));
    }
    return readAutostart(entryPath, programPath);
}

std::string autostartNotice(const AutostartEntry& entry) {
    const std::string starts = entry.starts.empty() ? std::string() : " (он запускает: " + entry.starts + ")";
    switch (entry.state) {
        case AutostartState::Off:
        case AutostartState::On:
            return {};
        case AutostartState::OtherCopy:
            return "Файл автозапуска " + entry.path + " запускает другую копию Korvex" + starts +
                   ". Он оставлен как есть: снимите флажок в той копии или удалите файл, затем отметьте "
                   "флажок здесь.";
        case AutostartState::Foreign:
            return "Файл автозапуска " + entry.path + " создан не Korvex" + starts +
                   ". Он оставлен как есть: чтобы Korvex запускалась при входе в систему, удалите или "
                   "переименуйте этот файл и отметьте флажок снова.";
    }
    return {};
}

}  // namespace korvex
