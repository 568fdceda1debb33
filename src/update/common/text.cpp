#include "update/common/text.h"

namespace korvex::update {

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

std::string urlFileName(std::string_view url) {
    const std::size_t slash = url.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

}  // namespace korvex::update
