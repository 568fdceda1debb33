// The forecast over a year of history: `korvex-cli forecast` on 500 accounts with a reading a day
// for 365 days each (182,500 checks), the whole command (the settings file, the history's last 60
// days, the estimate, the table); the same without the printing; and the history dialog of one of
// those accounts opening (offscreen): reading its checks, the forecast, the chart, shown and painted.
// The files live in a folder of their own under the temporary folder, removed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <QApplication>
#include <QLineSeries>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/history_dialog.h"
#include "history/balance_history.h"
#include "history/forecast.h"
#include "korvex-cli/commands/forecast_command.h"
#include "settings/settings_file.h"

namespace {

using namespace korvex;
namespace fs = std::filesystem;

constexpr int kAccounts = 500;
constexpr int kDays = 365;
const auto kNow = std::chrono::system_clock::now();

struct Folder {
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "korvex-bench-forecast-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    fs::path path;
};

std::string login(int i) {
    return "account_" + std::to_string(i);
}
std::string plan(int i) {
    return i % 2 ? "SG" : "39";
}

// Settings.ini with 500 accounts and History.sqlite with a year of daily checks of each: balances
// that fall by a few units a day with a top-up once a month, a failed check now and then.
struct Files {
    Files() {
        AccountBook book;
        book.setCount(kAccounts);
        for (int i = 0; i < kAccounts; ++i) book.client.setRow(i, {login(i), "secret", plan(i), "Holder"});
        zapis(book, {}, settings);
        BalanceHistory history(historyPathFor(settings));
        std::vector<HistoryEntry> batch;
        for (int day = kDays - 1; day >= 0; --day) {
            const std::string time = utcTimestamp(kNow - std::chrono::days(day) - std::chrono::hours(1));
            for (int i = 0; i < kAccounts; ++i) {
                HistoryEntry e;
                e.time = time;
                e.login = login(i);
                e.plan = plan(i);
                e.outcome = (day + i) % 97 == 0 ? HistoryOutcome::TransferFailed : HistoryOutcome::Page;
                if (e.outcome == HistoryOutcome::Page) {
                    e.balance = 2000.0 - (1 + i % 13) * ((kDays - day) % 30) - i;
                    e.balanceText = std::to_string(*e.balance) + " руб.";
                    e.speed = "512";
                    e.status = "Активна";
                }
                batch.push_back(std::move(e));
            }
            if (batch.size() >= 40000 || day == 0) {
                history.append(batch);
                batch.clear();
            }
        }
    }
    Folder folder;
    std::string settings = (folder.path / "Settings.ini").string();
};

Files& files() {
    static Files f;
    return f;
}

void BM_ForecastCommand500Accounts(benchmark::State& state) {
    const std::string& settings = files().settings;
    std::size_t lines = 0;
    for (auto _ : state) {
        std::ostringstream out, err;
        std::istringstream in;
        const FixedCheckClock clock({7, 12, 2026, 9, 5});
        const CliContext context{settings, out, err, in, PortalAddresses::fromBuild(), clock};
        if (forecastCommand(context, {}, kNow) != kExitOk) state.SkipWithError(err.str().c_str());
        const std::string text = out.str();
        lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    }
    if (lines != kAccounts + 1) state.SkipWithError("not every account listed");
}
BENCHMARK(BM_ForecastCommand500Accounts)->Unit(benchmark::kMillisecond)->UseRealTime();

// The estimate alone, on an open history and a loaded book: what the window's "Прогноз…" and the
// end of a run do.
void BM_ForecastAccounts500(benchmark::State& state) {
    AccountBook book;
    book.setCount(kAccounts);
    read(book, files().settings);
    const BalanceHistory history(historyPathFor(files().settings));
    for (auto _ : state) benchmark::DoNotOptimize(forecastAccounts(book, history, kNow).data());
}
BENCHMARK(BM_ForecastAccounts500)->Unit(benchmark::kMillisecond)->UseRealTime();

// Of that, the read of the window's checks.
void BM_ReadSixtyDaysOf500(benchmark::State& state) {
    const BalanceHistory history(historyPathFor(files().settings));
    for (auto _ : state) benchmark::DoNotOptimize(history.read({{}, forecastWindowStart(kNow), 0}).data());
}
BENCHMARK(BM_ReadSixtyDaysOf500)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HistoryDialogOpens(benchmark::State& state) {
    const std::string path = historyPathFor(files().settings);
    for (auto _ : state) {
        HistoryDialog dialog(path, login(7), plan(7));
        dialog.show();
        QApplication::processEvents();
        if (dialog.balanceSeries()->count() < kDays - 10) state.SkipWithError("the year was not read");
    }
}
BENCHMARK(BM_HistoryDialogOpens)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
