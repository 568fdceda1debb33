#pragma once
// The download engine's reading of an address: split into its parts, with the limits on each part,
// and the request target built from them.
#include <optional>
#include <string>
#include <string_view>

namespace korvex {

// The longest part the engine accepts; a longer one makes the address unusable.
inline constexpr std::size_t kUrlMaxScheme = 32;
inline constexpr std::size_t kUrlMaxHost = 256;
inline constexpr std::size_t kUrlMaxUser = 128;
inline constexpr std::size_t kUrlMaxPassword = 128;
inline constexpr std::size_t kUrlMaxPath = 2048;
inline constexpr std::size_t kUrlMaxExtra = 2048;

struct TupUrlParts {
    std::string scheme;    // lower case: "http", "https", "file", ...
    std::string host;      // without brackets for an IPv6 literal
    int port = 0;          // the scheme's own port when the address names none (0 for "file")
    std::string user;      // as written (still percent-encoded)
    std::string password;  // as written
    std::string path;      // "/" when the address has none; for "file" the local path
    std::string extra;     // query and fragment, from the '?' or '#' on, as written
};

// The address with "http://" put in front when it has no "://".
std::string withDefaultScheme(std::string_view url);

// The parts of `url` (after withDefaultScheme); nullopt when a part is too long, the host is
// missing (except for "file"), or the port is not a number from 1 to 65535.
std::optional<TupUrlParts> crackUrl(std::string_view url);

// The extra part as sent: every byte below 32 or from 128 up, and each of space # % * + < >,
// becomes "%" and two upper-case hexadecimal digits; everything else stays.
std::string encodeExtra(std::string_view extra);

// The address libcurl is given: scheme, host, port, the path (its spaces, control and 8-bit bytes
// percent-encoded, so that libcurl accepts it) and the encoded extra part. The credentials are
// passed to libcurl apart, never inside the address.
std::string requestUrl(const TupUrlParts& parts);

// A percent-encoded text decoded (user names and passwords of an address).
std::string percentDecode(std::string_view text);

}  // namespace korvex
