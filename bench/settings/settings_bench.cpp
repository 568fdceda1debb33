// Load and save of Settings.ini with a realistic book: the time a save costs when the account table
// loses the focus, and what start-up spends reading. Saves go to a real file on the disk, fsync
// included.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/settings_file.h"

namespace {

using namespace korvex;

AccountBook realisticBook(int count) {
    AccountBook book;
    book.setCount(count);
    for (int r = 0; r < count; ++r) {
        const std::string n = std::to_string(r);
        book.client.setCell(kLogin, r, "sat" + std::to_string(100000 + r * 37));
        book.client.setCell(kPassword, r, "Qw3rty" + n + "!x");
        book.client.setCell(kPlanCode, r, r % 3 ? "39S" : "75R");
        // "Иванов Иван Иванович" in cp1251
        book.client.setCell(
            kHolder, r, "\xC8\xE2\xE0\xED\xEE\xE2 \xC8\xE2\xE0\xED \xC8\xE2\xE0\xED\xEE\xE2\xE8\xF7 " + n);
        book.Stat.setCell(kBalance, r, std::to_string(r * 13 % 5000) + ",50");
        book.Stat.setCell(kPrevious, r, std::to_string(r * 17 % 5000) + ",00");
        book.Stat.setCell(kSpeed, r, "\xD2\xE0\xF0\xE8\xF4 1024/256");  // "Тариф 1024/256"
        book.Stat.setCell(kDate, r, "7/6/2024 12:" + std::to_string(10 + r % 50));
        book.Stat.setCell(kStatus, r, "\xC0\xEA\xF2\xE8\xE2\xED\xE0");  // "Активна"
    }
    return book;
}

class Folder {
public:
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvex-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        m_path = pattern;
    }
    ~Folder() { std::filesystem::remove_all(m_path); }
    std::string file() const { return m_path + "/Settings.ini"; }

private:
    std::string m_path;
};

const ProxySettings kProxy{true, "192.168.0.1", "3128"};

void BM_Save(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Folder folder;
    const AccountBook book = realisticBook(count);
    zapis(book, kProxy, folder.file());  // the file exists, as it does after the first start
    for (auto _ : state) zapis(book, kProxy, folder.file());
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(folder.file()));
}

void BM_Load(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Folder folder;
    zapis(realisticBook(count), kProxy, folder.file());
    AccountBook book;
    for (auto _ : state) {
        const StartupValues start = readStartup(folder.file());
        book.setCount(start.count);
        read(book, folder.file());
        benchmark::DoNotOptimize(book.client.cell(kLogin, count - 1).data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(BM_Save)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
