// korvex-match: runs one pattern over a saved portal page, the way a balance check does, so that a
// pattern can be adapted to a page before it goes into the program.
//
//   korvex-match [-i] PATTERN [FILE]
//
// Reads FILE (standard input without it) as bytes, runs Exec once with the matcher's default
// settings (modifier i on with -i), prints "found" or "not found" and then groups 0 to 4, one per
// line. Exit status: 0 found, 1 not found, 2 error (message on standard error), 3 the pattern needs
// more work on this page than a check allows it (it would fail the check as well).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "regex/pattern_matcher.h"

namespace {

constexpr int kFound = 0;
constexpr int kNotFound = 1;
constexpr int kError = 2;
constexpr int kTooMuchWork = 3;

void usage(std::FILE* to) {
    std::fputs(
        "usage: korvex-match [-i] PATTERN [FILE]\n"
        "Searches FILE (or standard input) for the first match of PATTERN, as a balance check does.\n"
        "Prints \"found\" or \"not found\", then groups 0 to 4, one per line. In the groups a line\n"
        "break, tab or other control byte is written as \\r, \\n, \\t or \\xHH, and a backslash as \\\\,\n"
        "so that each group stays on its line; all other bytes are written as they are.\n"
        "  -i   case-insensitive (cp1251 letters)\n"
        "Exit status: 0 found, 1 not found, 2 error, 3 the pattern needs too much work on this page\n"
        "(more than a balance check allows a search: the check would fail with it too).\n",
        to);
}

// The bytes of a page, read straight into memory of their own: a regular file in one go into a
// buffer of its size (a 32 MB page would otherwise spend as long being copied from chunk to chunk
// as being searched), anything else (standard input, a pipe, a file that reports no size) in
// growing steps.
class Page {
public:
    // Reads `fd` to its end; false on a read error (errno tells why).
    bool readAll(int fd) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
            reserve(static_cast<std::size_t>(st.st_size) + 1);  // + 1: the read that sees the end
        for (;;) {
            if (m_size == m_capacity) reserve(m_capacity < kFirstStep ? kFirstStep : 2 * m_capacity);
            const ssize_t n = ::read(fd, m_data.get() + m_size, m_capacity - m_size);
            if (n == 0) return true;
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            m_size += static_cast<std::size_t>(n);
        }
    }
    std::string_view text() const { return {m_data.get(), m_size}; }

private:
    static constexpr std::size_t kFirstStep = std::size_t{1} << 16;

    void reserve(std::size_t capacity) {
        std::unique_ptr<char[]> bigger(new char[capacity]);  // not cleared: every byte used is read into
        if (m_size) std::memcpy(bigger.get(), m_data.get(), m_size);
        m_data = std::move(bigger);
        m_capacity = capacity;
    }

    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

// One line per group: control bytes and the backslash escaped, everything else as it is.
std::string escaped(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    bool caseless = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return kFound;
        }
        if (arg == "-i") {
            caseless = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "korvex-match: unknown option %s\n", argv[i]);
            usage(stderr);
            return kError;
        } else {
            break;
        }
    }
    if (i >= argc || argc - i > 2) {
        usage(stderr);
        return kError;
    }
    const std::string pattern = argv[i];
    Page page;
    if (argc - i == 2) {
        const char* name = argv[i + 1];
        const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "korvex-match: %s: %s\n", name, std::strerror(errno));
            return kError;
        }
        const bool ok = page.readAll(fd);
        const int readError = errno;
        ::close(fd);
        if (!ok) {
            std::fprintf(stderr, "korvex-match: %s: %s\n", name, std::strerror(readError));
            return kError;
        }
    } else if (!page.readAll(STDIN_FILENO)) {
        std::fprintf(stderr, "korvex-match: standard input: %s\n", std::strerror(errno));
        return kError;
    }

    korvex::TPatternMatcher matcher;
    bool found = false;
    try {
        if (caseless) matcher.SetModifier('i', true);
        matcher.SetExpression(pattern);
        found = matcher.Exec(page.text());
    } catch (const korvex::EPatternMatcher& e) {
        if (e.ErrorCode() == korvex::kPmExecTooMuchWork) {
            std::fprintf(stderr, "korvex-match: %s\n", e.what());
            return kTooMuchWork;
        }
        std::fprintf(stderr, "%s\n", e.what());
        return kError;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvex-match: %s\n", e.what());
        return kError;
    }
    std::string out = found ? "found\n" : "not found\n";
    for (int g = 0; g < korvex::TPatternMatcher::kSlots; ++g) out += escaped(matcher.GroupView(g)) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return found ? kFound : kNotFound;
}
