// libFuzzer target: the update helper's command line and its queue file.
//
// Input: the helper's joined command-line text, up to the first NUL byte; the rest is the queue
// file's bytes. Paths ending in "exe" count as existing files, so the search for the program path
// among the "+" signs runs. Arguments that Korvex builds must come back as they were built.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "updatehelper/helper_command_line.h"
#include "updatehelper/helper_install.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvex::updatehelper;
    using korvex::fuzz::expect;
    static const std::string kQueuePath = korvex::fuzz::scratchPath(kQueueFileName);
    const std::string_view input = korvex::fuzz::textOf(data, size);
    const std::size_t nul = input.find('\0');
    const std::string_view joined = input.substr(0, nul);
    const std::string_view queue = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    const auto endsInExe = [](const std::string& path) { return path.ends_with("exe"); };
    if (const auto request = parseJoinedCommandLine(joined, endsInExe)) {
        expect(request->programPath.size() < joined.size(), "the program path lies before the cut");
        expect(request->programFolder.empty() || request->programPath.starts_with(request->programFolder),
               "the program folder is the program path's");
        for (const std::string& arg : splitRestartParams(request->restartParams))
            expect(!arg.empty() && arg.find_first_of(" \t") == std::string::npos, "a restart parameter");
    }

    // Korvex's own arguments for a program path and restart parameters made of the text's halves.
    const std::string program(joined.substr(0, joined.size() / 2));
    const std::string params(joined.substr(joined.size() / 2));
    for (const bool external : {false, true}) {
        const auto exact = [&](const std::string& path) { return path == program; };
        const auto request =
            parseJoinedCommandLine(joinArguments(helperArguments(program, params, external)), exact);
        expect(request && request->programPath == program && request->restartParams == params &&
                   request->externalSetup == external,
               "the helper reads the command line Korvex built as it was built");
    }

    korvex::fuzz::writeFile(kQueuePath, queue);
    for (const std::string& line : readQueue(kQueuePath))
        expect(!line.empty() && line.find('\n') == std::string::npos, "a queued path is one line");
    return 0;
}
