// korvex-match: runs one pattern over a saved portal page, the way a balance check does, so that a
// pattern can be adapted to a page before it goes into the program.
//
//   korvex-match [-i] PATTERN [FILE]
//
// Reads FILE (standard input without it) as bytes, runs Exec once with the matcher's default
// settings (modifier i on with -i), prints "found" or "not found" and then groups 0 to 4, one per
// line. Exit status: 0 found, 1 not found, 2 error (message on standard error).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "pattern_matcher.h"

namespace {

constexpr int kFound = 0;
constexpr int kNotFound = 1;
constexpr int kError = 2;

void usage(std::FILE* to) {
    std::fputs(
        "usage: korvex-match [-i] PATTERN [FILE]\n"
        "Searches FILE (or standard input) for the first match of PATTERN, as a balance check does.\n"
        "Prints \"found\" or \"not found\", then groups 0 to 4, one per line. In the groups a line\n"
        "break, tab or other control byte is written as \\r, \\n, \\t or \\xHH, and a backslash as \\\\,\n"
        "so that each group stays on its line; all other bytes are written as they are.\n"
        "  -i   case-insensitive (cp1251 letters)\n"
        "Exit status: 0 found, 1 not found, 2 error.\n",
        to);
}

bool readAll(std::FILE* in, std::string& out) {
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) out.append(buf, n);
    return !std::ferror(in);
}

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
    std::string text;
    if (argc - i == 2) {
        std::FILE* f = std::fopen(argv[i + 1], "rb");
        if (!f) {
            std::fprintf(stderr, "korvex-match: %s: %s\n", argv[i + 1], std::strerror(errno));
            return kError;
        }
        const bool ok = readAll(f, text);
        std::fclose(f);
        if (!ok) {
            std::fprintf(stderr, "korvex-match: %s: read error\n", argv[i + 1]);
            return kError;
        }
    } else if (!readAll(stdin, text)) {
        std::fprintf(stderr, "korvex-match: standard input: read error\n");
        return kError;
    }

    korvex::TPatternMatcher matcher;
    bool found = false;
    try {
        if (caseless) matcher.SetModifier('i', true);
        matcher.SetExpression(pattern);
        found = matcher.Exec(text);
    } catch (const korvex::EPatternMatcher& e) {
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
