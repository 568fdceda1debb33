// The window's refresh run on a real X server, beside korvex-cli's run of the same book, for
// BM_WindowFastPortals (refresh_bench.cpp), which starts this program on its display:
//
//   korvex_bench_window_run FOLDER JOBS PER_PORTAL REPETITIONS
//
// The substitute portals answer at once, in this process. The book is 500 accounts: the demo's 30
// with their right passwords, then 470 that no portal knows, so that their rows end "не найдено"
// with the tint and the tooltip of a failed row. Each repetition is one click on "Обновить все
// балансы" (until the run has saved and summed up) and one korvex-cli refresh of a copy of the same
// book, one after the other, so that both meet the same load of the machine. Prints one line:
//
//   window_s=<median> cli_s=<median> window_fastest_s=<s> cli_fastest_s=<s> longest_stall_ms=<ms>
//   end_of_run_ms=<ms>
//
// longest_stall_ms is the longest the window's event loop was kept from a 1 ms timer while the rows
// were checked, end_of_run_ms the longest stretch from the timer's last call to the end of a click
// (the save of the settings and the history, the summary: file work that waits for the disk).
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/tform1.h"
#include "korvex-cli/account_csv.h"
#include "korvex-cli/cli_commands.h"
#include "settings/settings_file.h"
#include "tests/support/demo_portal_addresses.h"

using namespace korvex;

namespace {

constexpr int kAccounts = 500;
constexpr int kKnownAccounts = 30;

// The demo's first 30 accounts (the 31st is its wrong password), then accounts no portal knows,
// spread over the same plan codes.
AccountBook fastPortalsBook() {
    std::ifstream csv(KORVEX_DEMO_ACCOUNTS_CSV);
    std::stringstream text;
    text << csv.rdbuf();
    const std::vector<ImportedAccount> demo = readAccountCsv(text.str());
    AccountBook book;
    book.setCount(kAccounts);
    for (int r = 0; r < kAccounts; ++r) {
        Row cells = demo[static_cast<std::size_t>(r % kKnownAccounts)].cells;
        if (r >= kKnownAccounts) {
            cells[kLogin] = "unknown_" + std::to_string(r);
            cells[kPassword] = "nobody-knows-" + std::to_string(r);
        }
        book.client.setRow(r, cells);
    }
    return book;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Shows the window on its "Балансы" tab, as the user who clicks sees it, and waits until the X
// server has mapped it.
bool showBalances(TForm1& form) {
    form.PageControl1->setCurrentWidget(form.tab1);
    form.show();
    QElapsedTimer waited;
    waited.start();
    while (!(form.windowHandle() && form.windowHandle()->isExposed())) {
        if (waited.elapsed() > 10000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: korvex_bench_window_run FOLDER JOBS PER_PORTAL REPETITIONS\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int jobs = std::stoi(argv[2]);
    const int perPortal = std::stoi(argv[3]);
    const int repetitions = std::stoi(argv[4]);
    QApplication app(argc, argv);
    DemoPortals portals;
    const PortalAddresses addresses = test::demoPortalAddresses(portals);

    const AccountBook book = fastPortalsBook();
    const std::filesystem::path windowFolder = folder / "window", cliFolder = folder / "cli";
    for (const auto& f : {windowFolder, cliFolder}) {
        std::filesystem::remove_all(f);
        std::filesystem::create_directories(f);
        zapis(book, {}, (f / "Settings.ini").string());
    }

    WindowEnvironment env;
    env.addresses = addresses;
    env.showError = [](const QString& text) {
        std::fprintf(stderr, "window: %s\n", text.toUtf8().constData());
    };
    env.trayMessage = [](const QString&, const QString&) {};
    TForm1 form((windowFolder / "Settings.ini").string(), env);
    form.RefreshJobs->setValue(jobs);
    form.RefreshPerPortal->setValue(perPortal);
    if (!showBalances(form)) {
        std::fprintf(stderr, "the window was not shown on the display\n");
        return 1;
    }

    QElapsedTimer sinceLast;
    qint64 longestStall = 0, endOfRun = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longestStall = std::max(longestStall, sinceLast.restart()); });

    const SystemCheckClock clock;
    std::vector<double> window, cli;
    for (int i = 0; i < repetitions; ++i) {
        auto start = std::chrono::steady_clock::now();
        sinceLast.start();
        tick.start();
        form.but1->click();
        tick.stop();
        // The run's end (the save, the history, the summary) keeps the loop waiting too, after the
        // timer's last call.
        endOfRun = std::max(endOfRun, sinceLast.elapsed());
        window.push_back(secondsSince(start));
        if (!form.but1->text().startsWith(QStringLiteral("Обновление завершено"))) {
            std::fprintf(stderr, "the window's run ended: %s\n", form.but1->text().toUtf8().constData());
            return 1;
        }

        std::ostringstream out, err;
        std::istringstream in;
        const CliContext context{(cliFolder / "Settings.ini").string(), out, err, in, addresses, clock};
        start = std::chrono::steady_clock::now();
        const int status = refreshCommand(context, std::nullopt, {jobs, perPortal, 120});
        cli.push_back(secondsSince(start));
        if (status == kExitUsage || err.str().find("no page") != std::string::npos) {
            std::fprintf(stderr, "korvex-cli's run answered %d: %s\n", status, err.str().c_str());
            return 1;
        }
    }
    std::printf(
        "window_s=%.4f cli_s=%.4f window_fastest_s=%.4f cli_fastest_s=%.4f longest_stall_ms=%lld "
        "end_of_run_ms=%lld\n",
        median(window), median(cli), *std::min_element(window.begin(), window.end()),
        *std::min_element(cli.begin(), cli.end()), static_cast<long long>(longestStall),
        static_cast<long long>(endOfRun));
    return 0;
}
