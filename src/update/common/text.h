#pragma once
// Text helpers every stage of the update shares. Case is folded for ASCII letters only (the
// program's one lower-casing helper): keys, digests, schemes and header names are ASCII, and a
// server's other bytes are never reinterpreted in whatever locale the program runs under.
#include <string>
#include <string_view>

#include "platform/ascii_text.h"

namespace korvex::update {

using korvex::lowerAscii;

// The file name of an address or a path: the text after its last "/" or "\".
std::string urlFileName(std::string_view url);

}  // namespace korvex::update
