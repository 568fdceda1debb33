// korvex-demo-portals [--ephemeral] [--delay MS]
// Serves every substitute portal and the publisher site on 127.0.0.1 until SIGINT or SIGTERM, prints
// each base address at start and each request it receives, one line per request.
// Exit codes: 0 after a clean stop, 1 for a bad command line, 2 when a port is taken, 3 for any other
// start failure.
#include "korvex-demo-portals/demo_portals.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: korvex-demo-portals [--ephemeral] [--delay MS]\n"
    "  Serves the substitute operator portals and the publisher site on 127.0.0.1 until Ctrl+C.\n"
    "  --ephemeral  listen on free ports chosen by the system instead of the fixed demo ports\n"
    "  --delay MS   answer every request MS milliseconds late, like a slow portal (0 to 60000)\n";

std::string timeOfDay() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    bool ephemeral = false;
    long delayMs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--ephemeral") {
            ephemeral = true;
        } else if (arg == "--delay") {
            const std::string value = i + 1 < argc ? argv[++i] : "";
            char* end = nullptr;
            delayMs = value.empty() ? -1 : std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || delayMs < 0 || delayMs > 60000) {
                std::cerr << "korvex-demo-portals: --delay takes milliseconds from 0 to 60000, not \"" << value
                          << "\"\n";
                return 1;
            }
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "korvex-demo-portals: unknown argument \"" << arg << "\"\n" << kUsage;
            return 1;
        }
    }

    // The signals are taken by sigwait below; blocking them first keeps every server thread (which
    // inherits this mask) from receiving them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::mutex printing;
    korvex::DemoPortals::Options options;
    options.fixedPorts = !ephemeral;
    options.answerDelay = std::chrono::milliseconds(delayMs);
    options.keepRequests = false;  // printed, not kept: the demo may run for days
    options.onRequest = [&printing](const korvex::RequestRecord& record) {
        const std::string line = timeOfDay() + " " + korvex::formatRecord(record);
        std::lock_guard lock(printing);
        std::cout << line << std::endl;
    };

    try {
        korvex::DemoPortals portals(options);
        {
            std::lock_guard lock(printing);
            for (const korvex::PortalId id : korvex::kAllPortals)
                std::cout << korvex::portalName(id) << ' ' << portals.baseUrl(id) << '\n';
            std::cout << "korvex-demo-portals: serving; Ctrl+C stops" << std::endl;
        }
        int signal = 0;
        sigwait(&stopSignals, &signal);
        {
            std::lock_guard lock(printing);
            std::cout << "korvex-demo-portals: stopping on " << (signal == SIGINT ? "SIGINT" : "SIGTERM")
                      << std::endl;
        }
        portals.stop();
    } catch (const korvex::PortalStartError& e) {
        std::cerr << "korvex-demo-portals: " << e.what() << '\n';
        if (e.portTaken()) {
            std::cerr
                << "korvex-demo-portals: is another copy running? --ephemeral picks free ports instead\n";
            return 2;
        }
        return 3;
    } catch (const std::exception& e) {
        std::cerr << "korvex-demo-portals: " << e.what() << '\n';
        return 3;
    }
    return 0;
}
