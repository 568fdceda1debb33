#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <stdexcept>

#include "platform/ascii_text.h"
#include "platform/atomic_file.h"

namespace korvex {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return s.substr(s.size());  // empty, but still pointing into s
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// A byte order mark, or NUL bytes standing at every other place of the first lines (ASCII in
// UTF-16) while the places between hold text.
bool looksUtf16(std::string_view text) {
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) return true;
    const std::string_view head = text.substr(0, 512);
    std::size_t nuls[2] = {0, 0};
    for (std::size_t i = 0; i < head.size(); ++i)
        if (head[i] == '\0') ++nuls[i % 2];
    const std::size_t half = head.size() / 2;
    return half > 0 && (nuls[0] * 4 >= half) != (nuls[1] * 4 >= half);
}

// NUL anywhere, or the control bytes no text file holds in numbers no typed text has (more than 8,
// and more than one byte in 64); tab, the line breaks, form feed and the old end of file mark (Ctrl+Z) are text. A
// stray control byte in a cell leaves the book readable.
bool holdsBinary(std::string_view text) {
    std::size_t controls = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) return true;
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\v' && byte != '\f' &&
            byte != 0x1A)
            ++controls;
    }
    return controls > 8 && controls * 64 > text.size();
}

// Answers whether some line is a section header; `blank` tells whether every line is blank.
bool holdsSection(std::string_view text, bool& blank) {
    blank = true;
    if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const std::string_view content = line.substr(0, line.find_last_not_of("\r\v\f") + 1);
        if (content.empty()) continue;
        blank = false;
        if (content.front() == '[' && content.find(']') != std::string_view::npos) return true;
    }
    return false;
}

class IniTextCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "settings text"; }
    std::string message(int error) const override {
        switch (static_cast<IniTextError>(error)) {
            case IniTextError::Utf16:
                return "UTF-16 text, not 8-bit text";
            case IniTextError::Binary:
                return "binary data, not text";
            case IniTextError::NoSection:
                return "text without a single [section] line";
            case IniTextError::NotRegularFile:
                return "not a regular file";
        }
        return "unknown";
    }
};

}  // namespace

const std::error_category& iniTextCategory() noexcept {
    static const IniTextCategory category;
    return category;
}

std::error_code make_error_code(IniTextError error) noexcept {
    return {static_cast<int>(error), iniTextCategory()};
}

std::error_code checkIniText(std::string_view text) {
    if (looksUtf16(text)) return IniTextError::Utf16;
    if (holdsBinary(text)) return IniTextError::Binary;
    bool blank = true;
    if (!holdsSection(text, blank) && !blank) return IniTextError::NoSection;
    return {};
}

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    // Lines after the last key so far wait here: a later key of the same section takes them in, a
    // section header leaves them behind the section's last key (new keys go before them).
    std::vector<Line> pending;
    bool first = true;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

        std::string_view content = raw;
        if (first && content.substr(0, kUtf8Bom.size()) == kUtf8Bom) content.remove_prefix(kUtf8Bom.size());
        first = false;
        content = trim(content);

        if (!content.empty() && content.front() == '[') {
            const auto close = content.find(']');
            if (close != std::string_view::npos) {
                ini.m_sections.back().tail = std::move(pending);
                pending.clear();
                Section section;
                section.header = std::string(raw);
                section.hasHeader = true;
                ini.m_sectionIndex.emplace(lowerAscii(trim(content.substr(1, close - 1))),
                                           ini.m_sections.size());
                ini.m_sections.push_back(std::move(section));
                continue;
            }
        }
        const auto eq = content.find('=');
        const std::string_view key =
            eq == std::string_view::npos ? std::string_view{} : trim(content.substr(0, eq));
        // Keys before the first section belong to no section and cannot be addressed: kept as text.
        const bool isKey = !key.empty() && content.front() != ';' && ini.m_sections.size() > 1;
        if (!isKey) {
            pending.push_back(Line{std::string(raw)});
            continue;
        }
        Section& section = ini.m_sections.back();
        for (Line& line : pending) section.lines.push_back(std::move(line));
        pending.clear();
        section.keys.emplace(lowerAscii(key), section.lines.size());
        const std::string_view value = trim(content.substr(eq + 1));
        section.lines.push_back(Line{std::string(raw), static_cast<std::size_t>(key.data() - raw.data()),
                                     key.size(), static_cast<std::size_t>(value.data() - raw.data()),
                                     value.size()});
    }
    ini.m_sections.back().tail = std::move(pending);
    return ini;
}

IniFile::LoadStatus IniFile::load(const std::string& path, std::error_code* error) {
    *this = IniFile{};
    const auto fail = [&](std::error_code ec) {
        if (error) *error = ec;
        return LoadStatus::Failed;
    };
    // Non-blocking, so that a FIFO put in the file's place cannot hang the program; only a regular
    // file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return LoadStatus::Missing;
        return fail(lastError());
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::error_code ec = st.st_mode == 0        ? lastError()
                                   : S_ISDIR(st.st_mode) ? std::make_error_code(std::errc::is_a_directory)
                                                         : make_error_code(IniTextError::NotRegularFile);
        ::close(fd);
        return fail(ec);
    }
    std::string text;
    if (st.st_size > 0) text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const auto ec = lastError();
            ::close(fd);
            return fail(ec);
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (const std::error_code foreign = checkIniText(text)) return fail(foreign);
    *this = parse(text);
    return LoadStatus::Loaded;
}

std::error_code IniFile::save(const std::string& path, unsigned dropModeBits, std::string* reason) const {
    AtomicWriteOptions options;
    options.keepExisting = true;
    options.dropModeBits = dropModeBits;
    const Expected<void> written = writeFileAtomically(path, text(), options);
    if (written) return {};
    if (reason) *reason = failedStep(written.error(), path);
    return written.error().code;
}

const IniFile::Line* IniFile::find(std::string_view section, std::string_view key) const {
    const auto s = m_sectionIndex.find(lowerAscii(section));
    if (s == m_sectionIndex.end()) return nullptr;
    const Section& sec = m_sections[s->second];
    const auto k = sec.keys.find(lowerAscii(key));
    return k == sec.keys.end() ? nullptr : &sec.lines[k->second];
}

std::string IniFile::value(std::string_view section, std::string_view key) const {
    const Line* line = find(section, key);
    return line ? std::string(line->value()) : std::string{};
}

void IniFile::forEachKey(std::string_view section,
                         const std::function<void(std::string_view, std::string_view)>& visit) const {
    const auto s = m_sectionIndex.find(lowerAscii(section));
    if (s == m_sectionIndex.end()) return;
    for (const Line& line : m_sections[s->second].lines)
        if (line.keyLength > 0) visit(line.key(), line.value());
}

bool IniFile::contains(std::string_view section, std::string_view key) const {
    return find(section, key) != nullptr;
}

void IniFile::setValue(std::string_view section, std::string_view key, std::string_view value) {
    const auto hasBreak = [](std::string_view s) {
        return s.find_first_of("\r\n") != std::string_view::npos;
    };
    const auto badName = [&](std::string_view s) {
        return s.empty() || hasBreak(s) || trim(s).size() != s.size();
    };
    if (badName(section) || section.find(']') != std::string_view::npos)
        throw std::invalid_argument("IniFile: unusable section name");
    if (badName(key) || key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';')
        throw std::invalid_argument("IniFile: unusable key name");
    if (hasBreak(value)) throw std::invalid_argument("IniFile: a value cannot hold a line break");

    auto s = m_sectionIndex.find(lowerAscii(section));
    if (s == m_sectionIndex.end()) {
        Section added;
        added.header = "[" + std::string(section) + "]";
        added.hasHeader = true;
        s = m_sectionIndex.emplace(lowerAscii(section), m_sections.size()).first;
        m_sections.push_back(std::move(added));
    }
    Section& sec = m_sections[s->second];
    const auto k = sec.keys.find(lowerAscii(key));
    if (k != sec.keys.end()) {
        Line& line = sec.lines[k->second];
        line = Line::keyLine(line.key(), value);  // the key keeps its spelling
        return;
    }
    sec.keys.emplace(lowerAscii(key), sec.lines.size());
    sec.lines.push_back(Line::keyLine(key, value));
}

IniFile::Line IniFile::Line::keyLine(std::string_view key, std::string_view value) {
    Line line;
    line.text.reserve(key.size() + 1 + value.size());
    line.text.append(key).append(1, '=').append(value);
    line.keyLength = key.size();
    line.valueAt = key.size() + 1;
    line.valueLength = value.size();
    return line;
}

std::string IniFile::text() const {
    std::size_t size = 0;
    for (const Section& section : m_sections) {
        size += section.header.size() + kLineEnd.size();
        for (const auto* lines : {&section.lines, &section.tail}) {
            for (const Line& line : *lines) size += line.text.size() + kLineEnd.size();
        }
    }
    std::string out;
    out.reserve(size);
    for (const Section& section : m_sections) {
        if (section.hasHeader) out.append(section.header).append(kLineEnd);
        for (const auto* lines : {&section.lines, &section.tail}) {
            for (const Line& line : *lines) out.append(line.text).append(kLineEnd);
        }
    }
    return out;
}

}  // namespace korvex
