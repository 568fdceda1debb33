#pragma once
// Text helpers every stage of the update shares. Case is folded for ASCII letters only: keys,
// digests, schemes and header names are ASCII, and a server's other bytes are never reinterpreted
// in whatever locale the program runs under.
#include <string>
#include <string_view>

namespace korvex::update {

constexpr char lowerAscii(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string lowerAscii(std::string_view text);

// The file name of an address or a path: the text after its last "/" or "\".
std::string urlFileName(std::string_view url);

}  // namespace korvex::update
