// Stands in for korvex in the helper tests.
//   fake --hold FILE   runs until FILE exists (at most a minute), like a program the user closes
//   fake ARGS...       writes "<its own path>.report": "size=<bytes of its executable>" and one
//                      "arg=<text>" line per argument, whole or not at all, then ends; before it,
//                      "<its own path>.signals": "SIGHUP default" or "SIGHUP ignored", the same for
//                      SIGPIPE, the signals a parent may have left ignored
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--hold") {
        for (int i = 0; i < 6000 && access(argv[2], F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return 0;
    }
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 1;
    const std::string path(self, static_cast<size_t>(n));
    struct stat st {};
    stat(path.c_str(), &st);
    {
        std::ofstream out(path + ".signals", std::ios::binary);
        for (const auto& [number, name] : {std::pair{SIGHUP, "SIGHUP"}, std::pair{SIGPIPE, "SIGPIPE"}}) {
            struct sigaction action {};
            sigaction(number, nullptr, &action);
            out << name << (action.sa_handler == SIG_IGN ? " ignored\n" : " default\n");
        }
    }
    const std::string report = path + ".report";
    {
        std::ofstream out(report + ".part", std::ios::binary);
        out << "size=" << st.st_size << '\n';
        for (int i = 1; i < argc; ++i) out << "arg=" << argv[i] << '\n';
    }
    return std::rename((report + ".part").c_str(), report.c_str()) == 0 ? 0 : 1;
}
