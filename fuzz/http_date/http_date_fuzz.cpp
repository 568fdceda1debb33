// libFuzzer target: the dates of HTTP headers (Date, Last-Modified, Expires) as the download engine
// reads them. A date is 0 (none) or a finite day count that survives the trip to Unix seconds and back.
#include <cmath>

#include "fuzz_support.h"
#include "update/engine/header_date.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvex;
    const std::string_view text = fuzz::textOf(data, size);
    const TDateTime utc = parseHeaderDateUtc(text);
    fuzz::expect(std::isfinite(utc), "a date is a finite number");
    if (utc != 0) {
        const std::time_t seconds = unixFromDateTime(utc);
        fuzz::expect(unixFromDateTime(dateTimeFromUnix(seconds)) == seconds, "Unix seconds and back");
    }
    const TDateTime local = parseHeaderDate(text);
    fuzz::expect(std::isfinite(local) && (local == 0) == (utc == 0), "the local date of a date");
    return 0;
}
