#pragma once
// What the fuzz targets share: the input as text, a file of this process for readers that take a
// path, and the way a broken promise is reported (a trap, which libFuzzer keeps as a crash input).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace korvex::fuzz {

inline std::string_view textOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A broken promise of the reader: says which, then stops with the input kept as a finding.
[[noreturn]] inline void broken(const char* what) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    __builtin_trap();
}
inline void expect(bool holds, const char* what) {
    if (!holds) broken(what);
}

// A private folder of this process (in memory when /dev/shm is there), made on first use and
// removed at exit; "name" inside it.
inline std::string scratchPath(const std::string& name) {
    static const std::string folder = [] {
        std::string pattern =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm/korvex-fuzz-XXXXXX" : "/tmp/korvex-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        static const std::string made = pattern;
        std::atexit([] { std::system(("rm -rf '" + made + "'").c_str()); });
        return pattern + "/";
    }();
    return folder + name;
}

// Writes `bytes` to `path` whole; aborts when it cannot (not a finding of the reader).
inline void writeFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    std::fclose(file);
}

}  // namespace korvex::fuzz
