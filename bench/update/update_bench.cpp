// A 50 MB update file fetched to disk from the local test server, through the update download
// engine (worker thread, notifications handed to a pumped user-interface loop, chunks of the
// default 4,096 bytes) and through plain libcurl writing into a file with fwrite. The engine's
// goal: at most 1.1 times the time of plain libcurl, and memory that does not grow with the file
// (the counter rss_growth_MB: growth of the process's peak resident size during the benchmark).
// At the end the run prints engine / plain libcurl, and the same ratio from transfers taken in turn.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/support/ratio_reporter.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"
#include "update/engine/dispatcher.h"
#include "update/engine/http.h"

namespace {

using korvex::test::TestServer;

constexpr std::size_t kFileSize = 50u * 1024 * 1024;

TestServer& fileServer() {
    static TestServer* server = [] {
        auto* s = new TestServer();  // lives until the process ends
        s->addStandardEndpoints();
        s->start();
        return s;
    }();
    return *server;
}

std::string fileUrl() {
    return fileServer().url("/bytes?n=" + std::to_string(kFileSize));
}

double peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// One engine on a pumped loop, fetching the file into `path` on each transfer().
class EngineFetch {
public:
    explicit EngineFetch(const std::string& path) : m_engine(m_dispatcher) {
        m_engine.URL = fileUrl();
        m_engine.OutputFileName = path;
        m_engine.OnDone = [this](korvex::TupCustomHTTP&, const std::string&, std::int64_t bytes,
                                 const std::string*) { m_size = bytes; };
        m_engine.OnAfterTransfer = [this](korvex::TupCustomHTTP&) { m_ended = true; };
    }
    bool transfer() {
        m_ended = false;
        m_size = 0;
        if (!m_engine.Start()) return false;
        m_dispatcher.waitUntil([this] { return m_ended; });
        return m_size == static_cast<std::int64_t>(kFileSize) &&
               std::filesystem::file_size(m_engine.OutputFileName) == kFileSize;
    }

private:
    korvex::TupPumpedDispatcher m_dispatcher;
    korvex::TupCustomHTTP m_engine;
    bool m_ended = false;
    std::int64_t m_size = 0;
};

bool plainTransfer(const std::string& url, const std::string& path) {
    CURL* easy = curl_easy_init();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &std::fwrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
    const CURLcode result = curl_easy_perform(easy);
    std::fclose(file);
    curl_easy_cleanup(easy);
    return result == CURLE_OK && std::filesystem::file_size(path) == kFileSize;
}

void BM_50MB_Engine(benchmark::State& state) {
    korvex::test::TempDir folder;
    EngineFetch fetch(folder.file("update.updtmp"));
    const double rssBefore = peakRssMb();
    for (auto _ : state) {
        if (!fetch.transfer()) {
            state.SkipWithError("engine transfer failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
    state.counters["rss_growth_MB"] = peakRssMb() - rssBefore;
}

void BM_50MB_PlainLibcurl(benchmark::State& state) {
    korvex::test::TempDir folder;
    const std::string path = folder.file("plain.bin");
    const std::string url = fileUrl();
    const double rssBefore = peakRssMb();
    for (auto _ : state) {
        if (!plainTransfer(url, path)) {
            state.SkipWithError("plain transfer failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
    state.counters["rss_growth_MB"] = peakRssMb() - rssBefore;
}

// On a shared machine the load drifts between two benchmarks run one after the other; pairs of
// one engine transfer and one plain transfer, taken in turn, see the same load. Prints the median
// of the pairs' ratios.
void printInterleavedRatio(int pairs) {
    korvex::test::TempDir folder;
    EngineFetch fetch(folder.file("update.updtmp"));
    const std::string url = fileUrl();
    const std::string plainPath = folder.file("plain.bin");
    std::vector<double> ratios;
    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < pairs; ++i) {
        const auto t0 = Clock::now();
        if (!fetch.transfer()) return;
        const auto t1 = Clock::now();
        if (!plainTransfer(url, plainPath)) return;
        const auto t2 = Clock::now();
        ratios.push_back(std::chrono::duration<double>(t1 - t0).count() /
                         std::chrono::duration<double>(t2 - t1).count());
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("interleaved engine / plain libcurl: %.3f (median of %d pairs), %.3f .. %.3f\n",
                ratios[ratios.size() / 2], pairs, ratios.front(), ratios.back());
}

// The engine runs first, so that its peak resident size is not hidden under an earlier one.
BENCHMARK(BM_50MB_Engine)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", korvex::bench::fastest);
BENCHMARK(BM_50MB_PlainLibcurl)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", korvex::bench::fastest);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    korvex::bench::RatioReporter reporter("BM_50MB_Engine", "BM_50MB_PlainLibcurl", "engine / plain libcurl");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio();
    printInterleavedRatio(15);
    benchmark::Shutdown();
    return 0;
}
