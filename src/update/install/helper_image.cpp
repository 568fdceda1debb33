#include "update/install/helper_image.h"

#include <unistd.h>

#include <cstddef>

#include "update/install/paths.h"

namespace korvex::update {
namespace embedded {
extern const unsigned char kUpdateHelper[];
extern const std::size_t kUpdateHelper_size;
}  // namespace embedded

std::string_view updateHelperImage() {
    return {reinterpret_cast<const char*>(embedded::kUpdateHelper), embedded::kUpdateHelper_size};
}

bool writeUpdateHelper(const std::string& path, std::string* error) {
    return writeUpdateFile(path, updateHelperImage(), 0700, error);
}

void deleteLeftoverHelper(const std::string& path) {
    if (!path.empty()) ::unlink(path.c_str());
}

}  // namespace korvex::update
