#include "net/str_to_int.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace korvex {
namespace {

TEST(StrToInt, ReadsWhatTheProgramsRuntimeReads) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case valid[] = {
        {"8080", 8080},
        {"  3128", 3128},
        {"+80", 80},
        {"-1", -1},
        {"007", 7},
        {"$1F90", 8080},
        {"0x1f90", 8080},
        {"x10", 16},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
    };
    for (const Case& c : valid) EXPECT_EQ(strToInt(c.text), c.value) << c.text;

    const char* invalid[] = {"",   " ",   "80a",        "80 ",         "8 0",        "+",    "-",   "$",
                             "0x", "1e3", "2147483648", "-2147483649", "$100000000", "\t80", "８０"};
    for (const char* text : invalid) EXPECT_THROW(strToInt(text), EConvertError) << text;
}

}  // namespace
}  // namespace korvex
