#pragma once
// The update helper program, carried inside korvex as bytes (built from src/updatehelper/ and
// embedded at build time), and written out when an update needs it.
#include <string>
#include <string_view>

namespace korvex::update {

// The helper's executable image.
std::string_view updateHelperImage();

// Writes the helper to `path` with mode 0700, whole or not at all: a half-written helper is never
// left to be started. Anything already at `path` (a helper of an earlier update) is replaced.
bool writeUpdateHelper(const std::string& path, std::string* error = nullptr);

// Deletes a helper left at `path` by an earlier update (the component does so when it starts).
void deleteLeftoverHelper(const std::string& path);

}  // namespace korvex::update
