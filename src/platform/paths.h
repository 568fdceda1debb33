#pragma once
#include <string>

namespace korvex {

// The folder of the running executable, with a trailing "/" ("" when it cannot be found).
std::string executableDir();

// The settings file of the program: the executable's folder followed by "Settings.ini".
std::string defaultSettingsPath();

}  // namespace korvex
