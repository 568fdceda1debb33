#include "update/common/text.h"

namespace korvex::update {

std::string urlFileName(std::string_view url) {
    const std::size_t slash = url.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

}  // namespace korvex::update
