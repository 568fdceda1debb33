// A refresh run of 500 accounts against the substitute portals, through the real window (offscreen,
// threaded transfers with the window taking its events) and through the core alone (synchronous
// transfers, no window), in one program so the two figures are comparable. Then the same number of
// accounts against portals that take 200 ms for every answer, through korvex-cli's refresh one
// account after another and with checks at once. And the window on a real X server (a program of its
// own, window_run.cpp) beside korvex-cli, at portals that answer at once.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "checks/balance_checks.h"
#include "checks/check_clock.h"
#include "checks/parallel_refresh.h"
#include "checks/provider_profiles.h"
#include "run/sequential_run.h"
#include "korvex-cli/account_csv.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-demo-portals/demo_portals.h"
#include "net/curl1_setup.h"
#include "net/portal_pins.h"
#include "settings/settings_file.h"
#include "tests/app/portal_window_fixture.h"
#include "tests/app/xserver.h"

using namespace korvex;

namespace {

constexpr int kAccounts = 500;

DemoPortals& portals() {
    static DemoPortals p;
    return p;
}

// The stock demo accounts, repeated to fill `count` rows, each under its portal's first plan code.
void fillBook(AccountBook& book, int count = kAccounts) {
    static const auto stock = [] {
        std::vector<std::array<std::string, 3>> rows;
        const std::pair<PortalId, const char*> codes[] = {
            {PortalId::SpectrumSat, "39"}, {PortalId::Raduga, "R"},     {PortalId::SpaceGate75, "75"},
            {PortalId::SpaceGate39, "39S"}, {PortalId::SpaceGate95, "95S"}, {PortalId::SpaceGate15_21, "21"},
            {PortalId::PlanetSky, "53"},   {PortalId::Globax, "GL"},    {PortalId::SatGate, "42"},
            {PortalId::SkyFi, "SF"},       {PortalId::Stv, "60"}};
        for (const auto& [portal, account] : stockDemoAccounts())
            for (const auto& [p, code] : codes)
                if (p == portal && (portal != PortalId::Stv || account.stvGate != "insat2"))
                    rows.push_back({account.login, account.password, code});
        return rows;
    }();
    book.setCount(count);
    for (int r = 0; r < count; ++r)
        for (int c = 0; c < 3; ++c) book.client.setCell(c, r, stock[static_cast<size_t>(r) % stock.size()][c]);
}

std::string tempSettings() {
    const auto dir = std::filesystem::temp_directory_path() / "korvex-bench-refresh";
    std::filesystem::create_directories(dir);
    std::filesystem::remove(dir / "Settings.ini");
    return (dir / "Settings.ini").string();
}

void windowRefreshRun(benchmark::State& state, DemoPortals& substitutes, int accounts) {
    WindowEnvironment env;
    env.addresses = test::demoPortalAddresses(substitutes);
    env.showError = [](const QString&) {};
    TForm1 form(tempSettings(), env);
    form.clients->setValue(accounts);
    fillBook(form.book(), accounts);
    for (auto _ : state) form.bbb111Click();
    state.counters["accounts/s"] = benchmark::Counter(accounts, benchmark::Counter::kIsIterationInvariantRate);
}

void coreRefreshRun(benchmark::State& state, DemoPortals& substitutes, int accounts) {
    AccountBook book;
    fillBook(book, accounts);
    THttpTransfer curl;
    applyCurl1StoredProperties(curl);
    configureCurl1AtStart(curl, {});
    TextHolder memo;
    SystemCheckClock clock;
    BalanceChecks checks(book, curl, memo, test::demoPortalAddresses(substitutes), [] { return ProxySettings{}; },
                         clock);
    RefreshObserver quiet;
    for (auto _ : state) refreshRows(checks, 0, accounts - 1, quiet);
    state.counters["accounts/s"] = benchmark::Counter(accounts, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_WindowRefreshRun(benchmark::State& state) {
    windowRefreshRun(state, portals(), kAccounts);
}
void BM_CoreRefreshRun(benchmark::State& state) {
    coreRefreshRun(state, portals(), kAccounts);
}

// ---- Slow portals: every answer 200 ms late ----------------------------------------------------

constexpr auto kPortalDelay = std::chrono::milliseconds(200);

DemoPortals& slowPortals() {
    static DemoPortals p([] {
        DemoPortals::Options options;
        options.answerDelay = kPortalDelay;
        options.keepRequests = false;
        return options;
    }());
    return p;
}

// How the 500 accounts are spread over the portals.
enum Spread {
    kDemoCsv,      // the 31 accounts of demo-accounts.csv over and over (4 of them STV, on both gates)
    kStockSpread,  // as the runs above: the stock accounts under their portal's first code (2 STV)
};

// A settings file of 500 accounts, spread as asked.
std::string slowSettings(Spread spread) {
    AccountBook book;
    if (spread == kDemoCsv) {
        std::ifstream csv(KORVEX_DEMO_ACCOUNTS_CSV);
        std::stringstream text;
        text << csv.rdbuf();
        const std::vector<ImportedAccount> demo = readAccountCsv(text.str());
        book.setCount(kAccounts);
        for (int r = 0; r < kAccounts; ++r) book.client.setRow(r, demo[static_cast<size_t>(r) % demo.size()].cells);
    } else {
        fillBook(book);
    }
    const auto dir = std::filesystem::temp_directory_path() / "korvex-bench-refresh-slow";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "Settings.ini").string();
    std::filesystem::remove(path);
    zapis(book, {}, path);
    return path;
}

// The bound that the busiest portal's own queue sets: its accounts (or its requests: an STV check is a
// login and a logout) times the delay, divided by the checks allowed at once on it.
std::pair<double, double> busiestPortalBounds(const std::string& settings, const PortalAddresses& addresses,
                                              int perPortal) {
    AccountBook book;
    book.setCount(kAccounts);
    read(book, settings);
    std::map<std::string, std::pair<int, int>> perPortalCount;  // accounts, requests
    for (int r = 0; r < kAccounts; ++r) {
        const ProviderProfile* profile = profileForPlanCode(book.client.cell(kPlanCode, r));
        if (!profile) continue;
        auto& [accounts, requests] = perPortalCount[portalOf(addresses.*profile->baseAddress)];
        ++accounts;
        requests += profile->logoutPath.empty() ? 1 : 2;
    }
    int mostAccounts = 0, mostRequests = 0;
    for (const auto& [portal, counts] : perPortalCount) {
        mostAccounts = std::max(mostAccounts, counts.first);
        mostRequests = std::max(mostRequests, counts.second);
    }
    const double delay = std::chrono::duration<double>(kPortalDelay).count();
    return {mostAccounts * delay / perPortal, mostRequests * delay / perPortal};
}

double g_sequentialSeconds[2] = {};
double g_windowSequentialSeconds[2] = {};
double g_cliParallelSeconds[2] = {};

void slowRefresh(benchmark::State& state, int jobs, int perPortal) {
    const auto spread = static_cast<Spread>(state.range(0));
    const std::string settings = slowSettings(spread);
    const PortalAddresses addresses = test::demoPortalAddresses(slowPortals());
    const SystemCheckClock clock;
    std::ostringstream out, err;
    std::istringstream in;
    const CliContext context{settings, out, err, in, addresses, clock};
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = refreshCommand(context, std::nullopt, {jobs, perPortal, 120});
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // The demo's account with the wrong password finds nothing, as it should; anything else is wrong.
        const std::string messages = err.str();
        if (status == kExitUsage || messages.find("no page") != std::string::npos ||
            messages.find("stopped") != std::string::npos || messages.find("check failed") != std::string::npos)
            state.SkipWithError(("refresh answered " + std::to_string(status) + ": " + messages).c_str());
    }
    const auto [accountBound, requestBound] = busiestPortalBounds(settings, addresses, perPortal);
    state.counters["accounts/s"] = benchmark::Counter(kAccounts, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bound_accounts_s"] = accountBound;
    state.counters["bound_requests_s"] = requestBound;
    if (jobs == 1) {
        g_sequentialSeconds[spread] = seconds;
    } else if (g_cliParallelSeconds[spread] = seconds; g_sequentialSeconds[spread] > 0) {
        state.counters["speedup"] = g_sequentialSeconds[spread] / seconds;
        state.counters["x_bound_accounts"] = seconds / accountBound;
        state.counters["x_bound_requests"] = seconds / requestBound;
    }
}

// The window's own run over the same 500 accounts at 200 ms, with its refresh settings at jobs/per
// portal (1/1: the design's run, one row after another), and how long its event loop was ever kept
// waiting meanwhile: a 1 ms timer notes the longest gap between two of its calls.
void BM_WindowSlowPortals(benchmark::State& state) {
    const auto spread = static_cast<Spread>(state.range(0));
    const int jobs = static_cast<int>(state.range(1));
    const int perPortal = static_cast<int>(state.range(2));
    WindowEnvironment env;
    env.addresses = test::demoPortalAddresses(slowPortals());
    env.showError = [](const QString&) {};
    env.trayMessage = [](const QString&, const QString&) {};
    TForm1 form(slowSettings(spread), env);
    form.RefreshJobs->setValue(jobs);
    form.RefreshPerPortal->setValue(perPortal);
    QElapsedTimer sinceLast;
    qint64 longestStall = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longestStall = std::max(longestStall, sinceLast.restart()); });
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        sinceLast.start();
        tick.start();
        form.bbb111Click();
        tick.stop();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!form.but1->text().startsWith(QStringLiteral("Обновление завершено")))
            state.SkipWithError(form.but1->text().toStdString().c_str());
    }
    state.counters["accounts/s"] =
        benchmark::Counter(kAccounts, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["longest_stall_ms"] = static_cast<double>(longestStall);
    if (jobs == 1) {
        g_windowSequentialSeconds[spread] = seconds;
    } else {
        if (g_windowSequentialSeconds[spread] > 0)
            state.counters["speedup"] = g_windowSequentialSeconds[spread] / seconds;
        if (g_cliParallelSeconds[spread] > 0)
            state.counters["x_cli"] = seconds / g_cliParallelSeconds[spread];
    }
}

// The window's run against the core's where every answer takes 200 ms, as from a real portal: 50
// accounts, one after another (the window's threaded Curl1 with its wait hook against the plain one).
constexpr int kSlowWindowAccounts = 50;
void BM_WindowRefreshRunSlowPortals(benchmark::State& state) {
    windowRefreshRun(state, slowPortals(), kSlowWindowAccounts);
}
void BM_CoreRefreshRunSlowPortals(benchmark::State& state) {
    coreRefreshRun(state, slowPortals(), kSlowWindowAccounts);
}

void BM_SlowPortalsSequential(benchmark::State& state) {
    slowRefresh(state, 1, 1);
}
void BM_SlowPortalsJobs16PerPortal2(benchmark::State& state) {
    slowRefresh(state, 16, 2);
}

// ---- The window on a real display, at fast portals -------------------------------------------------

// The display the window is drawn on: the one given (DISPLAY), or an Xvfb with a tray host that this
// program starts and ends.
const std::string& benchDisplay(std::string& error) {
    static std::unique_ptr<test::XServerWithTray> server;
    static std::string display = [&] {
        const char* given = std::getenv("DISPLAY");
        if (given && *given) return std::string(given);
        server = std::make_unique<test::XServerWithTray>();
        error = server->error();
        return server->display();
    }();
    return display;
}

// Runs korvex_bench_window_run (window_run.cpp) on the display and answers its line of figures.
std::string windowRunFigures(const std::string& display, int jobs, int perPortal, int repetitions,
                             std::string& error) {
    const auto folder = std::filesystem::temp_directory_path() / "korvex-bench-window-run";
    const std::string command =
        "DISPLAY=" + display + " QT_QPA_PLATFORM=xcb '" KORVEX_BENCH_WINDOW_RUN "' '" + folder.string() +
        "' " + std::to_string(jobs) + " " + std::to_string(perPortal) + " " + std::to_string(repetitions);
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        error = "korvex_bench_window_run could not be started";
        return {};
    }
    std::string line;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) line += buffer;
    if (const int status = ::pclose(pipe); status != 0)
        error = "korvex_bench_window_run ended with status " + std::to_string(status) +
                " (see its standard error)";
    return line;
}

double figure(const std::string& line, const std::string& name) {
    const std::size_t at = line.find(name + "=");
    return at == std::string::npos ? 0 : std::atof(line.c_str() + at + name.size() + 1);
}

// The window's run over 500 accounts (30 known, 470 that end "не найдено") at portals that answer at
// once, on a real X server, beside korvex-cli's run of the same book at the same limits: x_cli is the
// window's time over korvex-cli's (medians of the repetitions), longest_stall_ms the longest the
// window's event loop was kept waiting while the rows were checked, end_of_run_ms while the run saved
// and summed up (see window_run.cpp).
void BM_WindowFastPortals(benchmark::State& state) {
    const int jobs = static_cast<int>(state.range(0));
    const int perPortal = static_cast<int>(state.range(1));
    constexpr int kRepetitions = 3;
    std::string error;
    const std::string& display = benchDisplay(error);
    if (display.empty()) {
        state.SkipWithError(("no X server: " + error).c_str());
        return;
    }
    std::string line;
    for (auto _ : state) {
        line = windowRunFigures(display, jobs, perPortal, kRepetitions, error);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    const double window = figure(line, "window_s"), cli = figure(line, "cli_s");
    state.counters["window_s"] = window;
    state.counters["cli_s"] = cli;
    state.counters["x_cli"] = cli > 0 ? window / cli : 0;
    state.counters["x_cli_fastest"] = figure(line, "cli_fastest_s") > 0
                                          ? figure(line, "window_fastest_s") / figure(line, "cli_fastest_s")
                                          : 0;
    state.counters["longest_stall_ms"] = figure(line, "longest_stall_ms");
    state.counters["end_of_run_ms"] = figure(line, "end_of_run_ms");
}

// ---- The pin file's share of a run ---------------------------------------------------------------

// korvex-cli's refresh of 500 accounts against the quick portals with a Portals.pins of 100 pins (the
// portals' own and others'), and beside it what the pin file alone costs in such a run: reading it
// once and writing it once. pins_share is that cost over the run's wall time.
constexpr int kPins = 100;

void BM_CliRefreshRunWith100Pins(benchmark::State& state) {
    DemoPortals& substitutes = portals();
    const auto dir = std::filesystem::temp_directory_path() / "korvex-bench-refresh-pins";
    std::filesystem::create_directories(dir);
    const std::string settings = (dir / "Settings.ini").string();
    AccountBook book;
    fillBook(book);
    zapis(book, {}, settings);
    std::ifstream pem(substitutes.certificatePath());
    const std::string key = publicKeyPin(std::string(std::istreambuf_iterator<char>(pem), {}));
    std::string pinsText;
    int pinned = 0;
    for (const PortalId id : kAllPortals) {
        const std::string origin = pinOrigin(substitutes.baseUrl(id));
        if (origin.empty() || pinsText.find(origin + " ") != std::string::npos) continue;
        pinsText += origin + " " + key + "\n";
        ++pinned;
    }
    for (int i = pinned; i < kPins; ++i)
        pinsText += "https://portal-" + std::to_string(i) + ".example:443 " + key + "\n";
    const std::string pinsPath = pinsPathBeside(settings);
    const PortalAddresses addresses = test::demoPortalAddresses(substitutes);
    const SystemCheckClock clock;
    std::ostringstream out, err;
    std::istringstream in;
    const CliContext context{settings, out, err, in, addresses, clock};
    double runSeconds = 0;
    double pinsSeconds = 0;
    for (auto _ : state) {
        std::ofstream(pinsPath, std::ios::trunc) << pinsText;
        const auto start = std::chrono::steady_clock::now();
        const int status = refreshCommand(context, std::nullopt, {1, 1, 120});
        runSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status == kExitUsage || err.str().find("no page") != std::string::npos)
            state.SkipWithError(("refresh answered " + std::to_string(status) + ": " + err.str()).c_str());
        const auto pinsStart = std::chrono::steady_clock::now();
        PortalPins pins(pinsPath);
        pins.pinIfNew("https://new-portal.example:443", key);
        if (!pins.saveChanges().empty()) state.SkipWithError("the pin file was not written");
        pinsSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - pinsStart).count();
    }
    state.counters["accounts/s"] =
        benchmark::Counter(kAccounts, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pins_read_write_ms"] = pinsSeconds * 1000;
    state.counters["pins_share"] = pinsSeconds / runSeconds;
}

BENCHMARK(BM_WindowRefreshRun)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CoreRefreshRun)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
// Argument: the Spread. Each sequential run comes before the run with checks at once of its spread.
BENCHMARK(BM_WindowRefreshRunSlowPortals)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_CoreRefreshRunSlowPortals)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_CliRefreshRunWith100Pins)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SlowPortalsSequential)->Arg(kDemoCsv)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_SlowPortalsJobs16PerPortal2)->Arg(kDemoCsv)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_SlowPortalsSequential)->Arg(kStockSpread)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_SlowPortalsJobs16PerPortal2)->Arg(kStockSpread)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
// Arguments: checks at once, checks at once on one portal.
BENCHMARK(BM_WindowFastPortals)
    ->Args({1, 1})
    ->Args({16, 4})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
// After korvex-cli's runs of the demo's spread, for the window ÷ korvex-cli figure.
BENCHMARK(BM_WindowSlowPortals)
    ->Args({kDemoCsv, 1, 1})
    ->Args({kDemoCsv, 16, 2})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
