// libFuzzer target: the download engine's reading of an address, the request address built from
// it, and the decoding of its credentials.
#include <string>

#include "fuzz_support.h"
#include "update/engine/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvex;
    using korvex::fuzz::expect;
    const std::string_view text = fuzz::textOf(data, size);
    (void)percentDecode(text);
    const std::string extra = encodeExtra(text);
    for (const char c : extra) {
        const auto byte = static_cast<unsigned char>(c);
        expect(byte > 32 && byte < 128 && c != '#' && c != '*' && c != '+' && c != '<' && c != '>',
               "the extra part as sent holds no byte that needs escaping");
    }
    expect(percentDecode(extra) == text, "the extra part decodes to what it was");

    const auto parts = crackUrl(text);
    if (!parts) return 0;
    expect(!parts->scheme.empty() && parts->scheme.size() <= kUrlMaxScheme, "the scheme's limit");
    expect(parts->host.size() <= kUrlMaxHost && parts->user.size() <= kUrlMaxUser &&
               parts->password.size() <= kUrlMaxPassword && parts->path.size() <= kUrlMaxPath &&
               parts->extra.size() <= kUrlMaxExtra,
           "the limits of the parts");
    expect(!parts->host.empty() || parts->scheme == "file", "a host, except for a file");
    expect(parts->port >= 0 && parts->port <= 65535, "a port");
    expect(!parts->path.empty(), "a path");
    const std::string request = requestUrl(*parts);
    expect(request.starts_with(parts->scheme + "://"), "the request address keeps the scheme");
    (void)percentDecode(parts->user);
    (void)percentDecode(parts->password);
    return 0;
}
