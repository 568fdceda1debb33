// The balance history: appending one run of 500 checks (to a new history and to one of 1,000,000
// rows), and reading the 10,000 most recent checks of one login out of 1,000,000 rows (what the
// dialog reads). The files live in a folder
// of their own under the temporary folder, removed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "history/balance_history.h"

namespace {

using namespace korvex;
namespace fs = std::filesystem;

const auto kStart = std::chrono::sys_days{std::chrono::year{2020} / 1 / 1};

// One run's checks of logins 0..count-1 at `moment`: realistic texts, Cyrillic statuses.
std::vector<HistoryEntry> runChecks(int count, std::chrono::system_clock::time_point moment) {
    std::vector<HistoryEntry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    const std::string time = utcTimestamp(moment);
    for (int i = 0; i < count; ++i) {
        HistoryEntry e;
        e.time = time;
        e.login = "account_" + std::to_string(i);
        e.plan = i % 2 ? "SG" : "39";
        e.balanceText = std::to_string(1000 - i % 700) + ",50 руб.";
        e.balance = 1000.5 - i % 700;
        e.speed = "512";
        e.status = i % 3 ? "Активна" : "Тариф «Стандарт», трафик 1024 МБ";
        e.outcome = i % 50 == 0 ? HistoryOutcome::NotFound : HistoryOutcome::Page;
        entries.push_back(std::move(e));
    }
    return entries;
}

struct Folder {
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "korvex-bench-history-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    fs::path path;
};

Folder& folder() {
    static Folder f;
    return f;
}

void BM_AppendRunOf500(benchmark::State& state) {
    const std::string path = (folder().path / "append.sqlite").string();
    fs::remove(path);
    BalanceHistory history(path);
    int run = 0;
    for (auto _ : state) {
        history.append(runChecks(500, kStart + std::chrono::hours(++run)));
    }
    state.SetItemsProcessed(state.iterations() * 500);
}
BENCHMARK(BM_AppendRunOf500)->Unit(benchmark::kMillisecond)->UseRealTime();

// 1,000,000 checks: 12,500 runs over 80 accounts, as a history fills up.
constexpr int kAccounts = 80;
constexpr int kRuns = 12500;

const std::string& bigHistory() {
    static const std::string path = [] {
        const std::string p = (folder().path / "big.sqlite").string();
        BalanceHistory history(p);
        std::vector<HistoryEntry> batch;
        for (int run = 0; run < kRuns; ++run) {
            auto checks = runChecks(kAccounts, kStart + std::chrono::hours(run));
            batch.insert(batch.end(), std::make_move_iterator(checks.begin()),
                         std::make_move_iterator(checks.end()));
            if (batch.size() >= 40000 || run == kRuns - 1) {
                history.append(batch);
                batch.clear();
            }
        }
        return p;
    }();
    return path;
}

void BM_ReadRecent10000Of1M(benchmark::State& state) {
    const BalanceHistory history(bigHistory());
    std::size_t read = 0;
    for (auto _ : state) {
        const auto entries = history.recent("account_7", "39", 10000);
        read = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    if (read != 10000) state.SkipWithError("wrong number of checks read");
    state.counters["checks"] = static_cast<double>(read);
}
BENCHMARK(BM_ReadRecent10000Of1M)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the dialog does: open the file, then read.
void BM_OpenAndReadRecent10000Of1M(benchmark::State& state) {
    const std::string& path = bigHistory();
    for (auto _ : state) {
        const BalanceHistory history(path);
        benchmark::DoNotOptimize(history.recent("account_7", "39", 10000).data());
    }
}
BENCHMARK(BM_OpenAndReadRecent10000Of1M)->Unit(benchmark::kMillisecond)->UseRealTime();

// One run appended to the history of 1,000,000 checks (after the reads above, which it would change).
void BM_AppendRunOf500To1M(benchmark::State& state) {
    BalanceHistory history(bigHistory());
    int run = kRuns;
    for (auto _ : state) {
        history.append(runChecks(500, kStart + std::chrono::hours(++run)));
    }
    state.SetItemsProcessed(state.iterations() * 500);
}
BENCHMARK(BM_AppendRunOf500To1M)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the end of a run does (RunHistory::save): open the file, append, close. The last connection
// to close writes the WAL back into the file and syncs it.
void BM_SaveRunOf500To1M(benchmark::State& state) {
    int run = kRuns + 100000;
    for (auto _ : state) {
        BalanceHistory history(bigHistory());
        history.append(runChecks(500, kStart + std::chrono::hours(++run)));
    }
    state.SetItemsProcessed(state.iterations() * 500);
}
BENCHMARK(BM_SaveRunOf500To1M)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
