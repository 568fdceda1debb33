// The update helper program: started by korvex after it has downloaded an update (see
// helper_install.h). It finds the queue file beside itself, in the private temporary folder
// where korvex wrote both.
#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "updatehelper/helper_command_line.h"
#include "updatehelper/helper_install.h"

int main(int argc, char** argv) {
    // Half an installation is worse than none: a closed terminal or a reader of our output that
    // went away must not end the helper between two moves. Its messages are then simply lost.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string queue = (ec ? std::filesystem::path(".") : self.parent_path()) /
                              korvex::updatehelper::kQueueFileName;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return korvex::updatehelper::runHelper(args, queue, std::cout, std::cerr);
}
