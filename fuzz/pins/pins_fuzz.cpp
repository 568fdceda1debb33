// libFuzzer target: the pins file (Portals.pins) as a damaged or hand-edited file may hold it, and
// the origins its lines are checked against.
//
// Every pin read belongs to an origin in its normal form; a save keeps every line it did not change,
// so the file read again holds the same pins, the changed one aside.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "net/portal_pins.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvex;
    using korvex::fuzz::expect;
    static const std::string kPath = fuzz::scratchPath(kPinsFileName);
    const std::string_view text = fuzz::textOf(data, size);

    const std::string origin = pinOrigin(text);
    if (!origin.empty()) expect(pinOrigin(origin) == origin, "an origin is its own origin");

    fuzz::writeFile(kPath, text);
    PortalPins pins(kPath);
    expect(pins.loadError().empty(), "a file that is there is read");
    const std::vector<std::string> origins = pins.origins();
    for (const std::string& o : origins) {
        expect(pinOrigin(o) == o, "a pin belongs to an origin in its normal form");
        expect(pins.pinOf(o).starts_with("sha256//"), "a pin in libcurl's notation");
    }
    if (origins.empty()) return 0;

    // A new key trusted for the first portal: the file read again differs in that pin only.
    const std::string first = origins.front();
    const std::string newPin = "sha256//bmV3IGtleQ==";
    std::vector<std::string> pinsBefore;
    for (const std::string& o : origins) pinsBefore.push_back(o == first ? newPin : pins.pinOf(o));
    expect(pins.setPin(first, newPin).empty(), "the file is saved");
    PortalPins again(kPath);
    expect(again.origins() == origins, "a save keeps every portal in its place");
    for (std::size_t i = 0; i < origins.size(); ++i)
        expect(again.pinOf(origins[i]) == pinsBefore[i], "a save keeps every other pin");
    return 0;
}
