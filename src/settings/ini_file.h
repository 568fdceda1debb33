#pragma once
// A profile (INI) file in the manner of the Windows profile functions, which Settings.ini has always
// been written with:
//   - section and key names match ignoring ASCII letter case; the first of duplicates wins;
//   - an existing key keeps its line and its place, only its value changes;
//   - a new key goes after the last key of its section, a new section to the end of the file;
//   - nothing is ever deleted; lines that are neither a section nor a key (comments, blank lines,
//     keys before the first section, garbage) are kept byte for byte;
//   - a missing key reads as the empty text; values are read whole, however long.
// Unlike the profile functions the file is parsed once (load), edited in memory and written once (save),
// so a load or save costs time linear in the size of the file. Either line ending is read; CR LF is
// written. Text is bytes: names and values are taken as they are, in whatever code page.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace korvex {

// Why a file's bytes are not read as profile text. A file is read only when it is 8-bit text (a
// UTF-8 byte order mark is passed over) with at least one section header, or holds nothing but
// blanks and line breaks; anything else loads as Failed with one of these, so that no save ever
// writes over bytes it did not understand.
enum class IniTextError {
    Utf16 = 1,       // a UTF-16 byte order mark, or NUL bytes every other byte in the first lines
    Binary,          // NUL or other control bytes that no text holds
    NoSection,       // text, but not one line of it is a [section]
    NotRegularFile,  // a FIFO, a device, a socket: nothing is read from it
};
const std::error_category& iniTextCategory() noexcept;
std::error_code make_error_code(IniTextError error) noexcept;

// Checks `text` as load() does; an empty error_code for text that load() parses.
std::error_code checkIniText(std::string_view text);

class IniFile {
public:
    enum class LoadStatus {
        Loaded,   // the file was read
        Missing,  // there is no such file: the result is empty, as the profile functions see it
        Failed    // the file exists but cannot be read, or is not profile text; the result is empty
    };

    // Parses a whole file's text.
    static IniFile parse(std::string_view text);

    // Reads and parses the file at `path`. On Failed, `error` (when given) tells why: the system's
    // error, or an IniTextError.
    LoadStatus load(const std::string& path, std::error_code* error = nullptr);

    // Replaces the file at `path` with text() as one step: the text goes to a temporary file in the same
    // folder, is flushed to the disk and then renamed over the file, so a crash, a kill or a full disk
    // leaves either the old file or the new one, whole. A symbolic link is followed and its target
    // replaced. A new file gets mode 0600, an existing one keeps its mode. Answers the first error, the
    // file being left unchanged and no temporary file left behind; an empty error_code on success.
    // `reason` (when given) then gets the step that failed and the system's reason.
    // When the folder refuses the temporary file but the file itself may be written, the file is
    // rewritten in place instead (write, flush, cut to length); should that write fail, the old text
    // is put back.
    // `dropModeBits`: the permission bits an existing file loses (AtomicWriteOptions); `reason`, when
    // given, receives the failed step and the system's reason.
    std::error_code save(const std::string& path, unsigned dropModeBits = 0, std::string* reason = nullptr) const;

    // The value of `key` in `section`, surrounding blanks removed; empty when either is missing.
    std::string value(std::string_view section, std::string_view key) const;
    bool contains(std::string_view section, std::string_view key) const;
    // Calls `visit` with every key of `section` (as spelt in the file) and its value, in file order.
    void forEachKey(std::string_view section,
                    const std::function<void(std::string_view key, std::string_view value)>& visit) const;

    // Sets `key` in `section` by the placement rules above. Throws std::invalid_argument for a name or
    // value the file could not hold (a line break in any of them, "=" in a key, "]" in a section name,
    // an empty name, blanks around a name).
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    // The file's text, every line ended by CR LF.
    std::string text() const;

private:
    // One line as it will be written, without its line ending. A key line also knows where its key
    // and value lie in it; a key that is set is rewritten as key=value, other lines stay as read.
    struct Line {
        std::string text;
        std::size_t keyAt = 0, keyLength = 0, valueAt = 0, valueLength = 0;

        std::string_view key() const { return std::string_view(text).substr(keyAt, keyLength); }
        std::string_view value() const { return std::string_view(text).substr(valueAt, valueLength); }
        static Line keyLine(std::string_view key, std::string_view value);
    };
    struct Section {
        std::string header;  // the header line as read ("[NAME]" when the section was added)
        bool hasHeader = false;
        std::vector<Line> lines;  // up to and including the last key line; a new key goes at the end
        std::vector<Line> tail;   // lines after the last key (blank lines, comments before the next section)
        std::unordered_map<std::string, std::size_t> keys;  // lower-case key -> index in lines
    };

    const Line* find(std::string_view section, std::string_view key) const;

    // Lines before the first section header are the first entry and have no header.
    std::vector<Section> m_sections{Section{}};
    std::unordered_map<std::string, std::size_t> m_sectionIndex;  // lower-case name -> section
};

}  // namespace korvex

template <>
struct std::is_error_code_enum<korvex::IniTextError> : std::true_type {};
