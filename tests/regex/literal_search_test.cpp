// The literal search behind the quick rejections must find exactly what std::string::find finds,
// also when the bytes it hunts for are common in the text and it changes its strategy midway.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "regex/literal_search.h"

namespace korvex::regex {
namespace {

TEST(LiteralFinder, AgreesWithStringFind) {
    std::mt19937 rng(7);
    const std::string alphabets[] = {"ab", "abc D", "<td>Deposit: 0123"};
    for (int round = 0; round < 20000; ++round) {
        const std::string& alphabet = alphabets[round % 3];
        auto random = [&](std::size_t len) {
            std::string s;
            for (std::size_t k = 0; k < len; ++k) s += alphabet[rng() % alphabet.size()];
            return s;
        };
        const std::string text = random(rng() % (round % 10 == 0 ? 3000 : 60));
        const std::string needle = random(1 + rng() % 6);
        const LiteralFinder finder(needle);
        const auto* t = reinterpret_cast<const unsigned char*>(text.data());
        const std::size_t from = text.empty() ? 0 : rng() % (text.size() + 1);
        const std::size_t expected = text.find(needle, from);
        EXPECT_EQ(finder.find(t, text.size(), from), expected == std::string::npos ? LiteralFinder::npos : expected)
            << needle << " in " << text << " from " << from;
        const std::size_t last = text.empty() ? 0 : rng() % (text.size() + 1);
        std::size_t back = text.rfind(needle, last);
        if (back != std::string::npos && back < from) back = std::string::npos;
        EXPECT_EQ(finder.rfind(t, text.size(), from, last), back == std::string::npos ? LiteralFinder::npos : back)
            << needle << " in " << text << " from " << from << " last " << last;
    }
}

// A page where the rarest byte of the needle (by the table) is on every line.
TEST(LiteralFinder, FindsPastManyFalseHits) {
    std::string page;
    for (int k = 0; k < 5000; ++k) page += "<td>Status ok</td><td>Deposit</td>\r\n";
    page += "Service type: Home;";
    const LiteralFinder finder("Service type: ");
    EXPECT_EQ(finder.find(reinterpret_cast<const unsigned char*>(page.data()), page.size(), 0), page.size() - 19);
    EXPECT_EQ(finder.find(reinterpret_cast<const unsigned char*>(page.data()), page.size() - 1, page.size() - 18),
              LiteralFinder::npos);
}

}  // namespace
}  // namespace korvex::regex
