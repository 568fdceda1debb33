// libFuzzer target: the texts of the balance history read back from the file or the command line:
// a balance as a number, a date as a timestamp, a timestamp as a moment.
#include <cmath>
#include <string>

#include "book/balance_text.h"
#include "fuzz_support.h"
#include "history/history_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvex;
    using korvex::fuzz::expect;
    const std::string_view text = fuzz::textOf(data, size);

    if (const auto number = balanceFromUtf8(text)) expect(!std::isnan(*number), "a balance is a number");
    if (const auto number = balanceFromCell(text)) expect(!std::isnan(*number), "a balance is a number");

    if (const auto stamp = utcTimestampFromDate(text)) {
        expect(stamp->size() == 20, "a timestamp of the history's form");
        expect(utcTimestampFromDate(*stamp) == stamp, "a timestamp reads as itself");
    }
    if (const auto moment = momentFromUtcTimestamp(text))
        expect(utcTimestamp(*moment) == text, "a moment is written as the timestamp it was read from");
    return 0;
}
