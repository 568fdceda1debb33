#pragma once
// The helper's command line. Korvex starts the helper with one text: the program path, a space,
// "+", the restart parameters and one digit, the upgrade method ("0" self-upgrade, "1" external
// setup, "2" undo: the kept previous version put back, see kept_version.h). Nothing is quoted, so the helper rebuilds that text by joining its arguments, each
// followed by one space, and cuts it up again.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::updatehelper {

inline constexpr const char* kHelperTitle = "Update helper v4.0";
inline constexpr const char* kTempSuffix = ".updtmp";
inline constexpr const char* kQueueFileName = "UpdateQueue.txt";

struct HelperRequest {
    std::string programPath;    // the program to replace and start again
    std::string programFolder;  // programPath up to and including its last "/"
    std::string restartParams;  // given to the restarted program, split at blanks
    bool externalSetup = false;
    bool undo = false;
};

// Every argument followed by one space ("" without arguments).
std::string joinArguments(const std::vector<std::string>& args);

// Cuts the joined text at "+". A program path may itself hold a "+" (a folder "c++"): of the
// "+" signs that follow a space, the first whose text before it names an existing file is the
// cut; when none does, the first "+" of the text. nullopt when there is no "+" at all.
std::optional<HelperRequest> parseJoinedCommandLine(
    std::string_view joined, const std::function<bool(const std::string&)>& fileExists);

// The restart parameters as program arguments: split at blanks, empty pieces dropped, so an
// empty or all-blank text gives none.
std::vector<std::string> splitRestartParams(std::string_view params);

// The arguments with which korvex starts the helper: joined as above they give exactly the
// helper's command-line text, and a program path with spaces passes whole.
std::vector<std::string> helperArguments(const std::string& programPath, const std::string& restartParams,
                                         bool externalSetup);
// The same for an undo.
std::vector<std::string> undoHelperArguments(const std::string& programPath, const std::string& restartParams);

}  // namespace korvex::updatehelper
