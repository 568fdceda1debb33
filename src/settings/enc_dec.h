#pragma once
// The value encoding of Settings.ini: every value in the file passes through it, so that no login or
// password stands there as typed. It has the bit layout of Base64 (three bytes become four symbols)
// over an alphabet of our own; it uses no key and is no protection against a reader who has this code.
//
// The alphabet is part of the file format: a file written under one alphabet reads back correctly only
// under the same one. Never change it.
#include <string>
#include <string_view>

namespace korvex {

// 64 symbols for the 6-bit values 0..63, then the padding symbol (value 64). All printable ASCII,
// none a blank, "=", ";" or a square bracket, so an encoded value never disturbs an INI line.
inline constexpr std::string_view kEncodingAlphabet =
    "_4weNJCLFxsEzbnglomS7fQj8uGkROiW2r9ApcKZDT5ht13HqyMYv-IV6d0aPXUB.";
inline constexpr int kPaddingCode = 64;

// 4 * ceil(n / 3) symbols for n bytes; the empty text gives the empty text.
std::string encode(std::string_view bytes);

// Never fails. A character outside the alphabet counts as the alphabet's first symbol; a group whose
// first symbol is the input's last symbol is not read; a padding symbol does not end decoding, later
// groups are decoded as well.
std::string decode(std::string_view text);

}  // namespace korvex
