#include "updatehelper/helper_command_line.h"

namespace korvex::updatehelper {

std::string joinArguments(const std::vector<std::string>& args) {
    std::string joined;
    for (const auto& arg : args) {
        joined += arg;
        joined += ' ';
    }
    return joined;
}

std::optional<HelperRequest> parseJoinedCommandLine(
    std::string_view joined, const std::function<bool(const std::string&)>& fileExists) {
    size_t cut = joined.find('+');
    if (cut == std::string_view::npos) return std::nullopt;
    for (size_t p = cut; p != std::string_view::npos; p = joined.find('+', p + 1)) {
        if (p > 0 && joined[p - 1] == ' ' && fileExists(std::string(joined.substr(0, p - 1)))) {
            cut = p;
            break;
        }
    }

    HelperRequest request;
    std::string_view before = joined.substr(0, cut);
    if (!before.empty() && before.back() == ' ') before.remove_suffix(1);
    request.programPath = std::string(before);
    const size_t slash = request.programPath.rfind('/');
    if (slash != std::string::npos) request.programFolder = request.programPath.substr(0, slash + 1);

    // The text ends in the method digit and the space that joining put after it.
    request.externalSetup = joined.size() >= 2 && joined[joined.size() - 2] == '1';
    request.undo = joined.size() >= 2 && joined[joined.size() - 2] == '2';
    std::string_view after = joined.substr(cut + 1);
    after.remove_suffix(after.size() >= 2 ? 2 : after.size());
    request.restartParams = std::string(after);
    return request;
}

std::vector<std::string> splitRestartParams(std::string_view params) {
    std::vector<std::string> args;
    size_t pos = 0;
    while (pos < params.size()) {
        const size_t start = params.find_first_not_of(" \t", pos);
        if (start == std::string_view::npos) break;
        size_t end = params.find_first_of(" \t", start);
        if (end == std::string_view::npos) end = params.size();
        args.emplace_back(params.substr(start, end - start));
        pos = end;
    }
    return args;
}

std::vector<std::string> helperArguments(const std::string& programPath, const std::string& restartParams,
                                         bool externalSetup) {
    return {programPath, "+" + restartParams + (externalSetup ? "1" : "0")};
}

std::vector<std::string> undoHelperArguments(const std::string& programPath, const std::string& restartParams) {
    return {programPath, "+" + restartParams + "2"};
}

}  // namespace korvex::updatehelper
