// A refresh run of 500 accounts against the substitute portals, through the real window (offscreen,
// threaded transfers with the window taking its events) and through the core alone (synchronous
// transfers, no window), in one program so the two figures are comparable.
#include <QApplication>
#include <QSpinBox>
#include <benchmark/benchmark.h>
#include <filesystem>

#include "balance_checks.h"
#include "check_clock.h"
#include "curl1_setup.h"
#include "demo_portals.h"
#include "portal_window_fixture.h"
#include "refresh_run.h"

using namespace korvex;

namespace {

constexpr int kAccounts = 500;

DemoPortals& portals() {
    static DemoPortals p;
    return p;
}

// The stock demo accounts, repeated to fill 500 rows, each under its portal's first plan code.
void fillBook(AccountBook& book) {
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
    book.setCount(kAccounts);
    for (int r = 0; r < kAccounts; ++r)
        for (int c = 0; c < 3; ++c) book.client.setCell(c, r, stock[static_cast<size_t>(r) % stock.size()][c]);
}

std::string tempSettings() {
    const auto dir = std::filesystem::temp_directory_path() / "korvex-bench-refresh";
    std::filesystem::create_directories(dir);
    std::filesystem::remove(dir / "Settings.ini");
    return (dir / "Settings.ini").string();
}

void BM_WindowRefreshRun(benchmark::State& state) {
    WindowEnvironment env;
    env.addresses = test::demoPortalAddresses(portals());
    env.showError = [](const QString&) {};
    TForm1 form(tempSettings(), env);
    form.clients->setValue(kAccounts);
    fillBook(form.book());
    for (auto _ : state) form.bbb111Click();
    state.counters["accounts/s"] = benchmark::Counter(kAccounts, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_CoreRefreshRun(benchmark::State& state) {
    AccountBook book;
    fillBook(book);
    THttpTransfer curl;
    UpdateProxySettings update;
    applyCurl1StoredProperties(curl);
    configureCurl1AtStart(curl, {}, update);
    TextHolder memo;
    SystemCheckClock clock;
    BalanceChecks checks(book, curl, memo, test::demoPortalAddresses(portals()), [] { return ProxySettings{}; }, update,
                         clock);
    for (auto _ : state) refreshRows(checks, 0, kAccounts - 1);
    state.counters["accounts/s"] = benchmark::Counter(kAccounts, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_WindowRefreshRun)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CoreRefreshRun)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
