// libFuzzer target: file entries of the info file, their path macros and final paths, and the queue
// the helper reads back.
//
// Input: file entries, one a line, as the info file's file list gives them ("URL" or "URL=local path").
// A final path must be a file's absolute path here (no "\", no "//", not ending in "/"), and the helper
// must read from the queue exactly the paths the program wrote into it.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "update/install/paths.h"
#include "updatehelper/helper_install.h"

namespace {

using namespace korvex;
using korvex::fuzz::expect;

update::PathMacroFolders folders() {
    update::PathMacroFolders f;
    f.current = "/opt/Korvex/";
    f.desktop = "/home/u/Desktop/";
    f.myDocuments = "/home/u/Documents/";
    f.myPictures = "/home/u/Pictures/";
    f.appData = "/home/u/.local/share/";
    f.programFiles = "/opt/";
    f.windows = "/home/u/.local/share/korvex/windows/";
    f.system = "/home/u/.local/lib/";
    f.temp = "/tmp/korvex-1000/";
    f.help = "/home/u/.local/share/help/";
    f.media = "/home/u/.local/share/sounds/";
    f.cursors = "/home/u/.local/share/%TEMP%/";  // a folder that looks like a macro is not expanded again
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const update::PathMacroFolders kFolders = folders();
    static const std::string kQueuePath = fuzz::scratchPath(update::kQueueFileName);
    const std::string_view text = fuzz::textOf(data, size);

    std::vector<std::string> entries;
    std::vector<std::string> queued;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string entry(text.substr(at, end - at));
        at = end + 1;
        entries.push_back(entry);

        const update::FileEntry e = update::splitFileEntry(entry);
        expect(e.url.find('=') == std::string::npos, "the first \"=\" ends the URL");
        (void)update::expandPathMacros(e.localPath, kFolders);
        const auto path = update::finalPathOfEntry(entry, kFolders);
        if (!path) continue;
        expect(!path->empty() && path->front() == '/' && path->back() != '/', "a final path names a file");
        expect(path->find('\\') == std::string::npos && path->find("//") == std::string::npos,
               "a final path has no \"\\\" and no empty folder name");
        expect(update::updTmpName(*path).ends_with(update::kTempSuffix), "the temporary name");
        if (e.hasLocalPath && !e.localPath.empty()) queued.push_back(*path);
    }

    const std::string queue = update::updateQueueText(entries, kFolders);
    fuzz::writeFile(kQueuePath, queue);
    expect(updatehelper::readQueue(kQueuePath) == queued,
           "the helper reads back the queue the program wrote");
    return 0;
}
