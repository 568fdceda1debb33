#pragma once
// Integers typed by the user or read from files, read as the Windows program's runtime read them.
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace korvex {

// The conversion error of a text that is not an integer: "'<text>' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text as a signed 32-bit integer, read the way the Windows program's runtime (StrToInt) reads
// it: leading spaces skipped, an optional '+' or '-', then decimal digits,
// or hexadecimal ones after '$', 'x', "0x" (any case); nothing may follow, and the value must fit
// (hexadecimal up to $FFFFFFFF, which wraps to negative values as there).
// Anything else throws EConvertError.
std::int32_t strToInt(std::string_view text);

}  // namespace korvex
