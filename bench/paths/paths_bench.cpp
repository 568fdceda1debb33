// The final path of a file entry whose local path is nothing but path macros: an info file's line
// runs to the end of the file, so a file of 1 MiB may hold a local path of 1 MiB. The macros are
// expanded in one pass per macro, so the time grows linearly with the path.
#include <benchmark/benchmark.h>

#include <string>

#include "update/install/paths.h"

namespace {

korvex::update::PathMacroFolders folders() {
    korvex::update::PathMacroFolders f;
    f.current = "/opt/Korvex/";
    f.temp = "/tmp/korvex-1000/";
    f.appData = "/home/u/.local/share/";
    return f;
}

void BM_EntryFullOfMacros(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    std::string entry = "http://h/f=";
    while (entry.size() < size) entry += "%TEMP%%AppData%x\\";
    const auto f = folders();
    for (auto _ : state) benchmark::DoNotOptimize(korvex::update::finalPathOfEntry(entry, f));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * entry.size()));
}
BENCHMARK(BM_EntryFullOfMacros)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
