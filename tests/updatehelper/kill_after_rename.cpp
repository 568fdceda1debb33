// Loaded into the helper with LD_PRELOAD by the interruption tests: right after the N-th rename
// of a ".updtmp" file (N from KORVEX_TEST_KILL_AFTER_RENAMES) the process is killed, as kill -9
// or a machine that stops would end it between two renames.
#include <dlfcn.h>
#include <signal.h>

#include <cstdlib>
#include <cstring>

extern "C" int rename(const char* from, const char* to) {
    using Rename = int (*)(const char*, const char*);
    static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
    static int count = 0;
    const int rc = real(from, to);
    const char* limit = std::getenv("KORVEX_TEST_KILL_AFTER_RENAMES");
    const std::size_t n = std::strlen(from);
    if (rc == 0 && limit != nullptr && n > 7 && std::strcmp(from + n - 7, ".updtmp") == 0 &&
        ++count == std::atoi(limit))
        raise(SIGKILL);
    return rc;
}
