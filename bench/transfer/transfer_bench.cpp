// 1,000 sequential GETs of a 20 KB page from the local test server on one transfer component,
// synchronous against threaded mode (WaitInterval 500). Threaded mode runs each transfer on a
// worker thread while the calling thread waits; its cost over synchronous mode is the price of a
// window that stays responsive during a request. At the end the run prints threaded / synchronous.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/support/ratio_reporter.h"
#include "net/http_transfer.h"
#include "net/receive_buffer.h"
#include "tests/support/test_server.h"

namespace {

using korvex::THttpTransfer;
using korvex::test::TestServer;

constexpr int kRequests = 1000;
constexpr std::size_t kPageSize = 20 * 1024;

TestServer& pageServer() {
    static TestServer* server = [] {
        auto* s = new TestServer();  // lives until the process ends, like a portal
        const std::string page = [] {
            const std::string tail = "</body></html>";
            std::string text = "<html><body>";
            while (text.size() < kPageSize) text += "<p>\xC1\xE0\xEB\xE0\xED\xF1: 100.00</p>\n";  // cp1251
            text.resize(kPageSize - tail.size());
            return text + tail;
        }();
        s->get("/page", [page](const httplib::Request&, httplib::Response& response) {
            response.set_content(page, "text/html; charset=windows-1251");
        });
        s->start();
        return s;
    }();
    return *server;
}

void runGets(benchmark::State& state, bool threaded) {
    THttpTransfer curl;
    curl.setOnReceive(korvex::appendToReceiveStream);
    curl.setThreaded(threaded);
    curl.setWaitInterval(500);
    int waits = 0;
    curl.setOnWait([&](korvex::THttpTransferBase&) { ++waits; });
    const std::string url = pageServer().url("/page");
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (int i = 0; i < kRequests; ++i) {
            korvex::ReceiveBuffer buffer;
            curl.setReceiveStream(&buffer);
            curl.setURL(url);
            if (!curl.Perform() || buffer.size() != kPageSize) {
                state.SkipWithError(("transfer failed: " + curl.ErrorText()).c_str());
                return;
            }
            bytes += buffer.size();
            curl.setReceiveStream(nullptr);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["waits/GET"] =
        static_cast<double>(waits) / (static_cast<double>(state.iterations()) * kRequests);
}

void BM_1000Gets_Synchronous(benchmark::State& state) {
    runGets(state, false);
}
void BM_1000Gets_Threaded(benchmark::State& state) {
    runGets(state, true);
}

BENCHMARK(BM_1000Gets_Synchronous)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", korvex::bench::fastest);
BENCHMARK(BM_1000Gets_Threaded)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", korvex::bench::fastest);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The ratio of the wall-clock times of the two modes, of the medians and of the fastest runs over
    // the repetitions (--benchmark_repetitions).
    korvex::bench::RatioReporter reporter("BM_1000Gets_Threaded", "BM_1000Gets_Synchronous",
                                          "threaded / synchronous");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio();
    benchmark::Shutdown();
    return 0;
}
