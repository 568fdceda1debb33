#include "net/http_cookie_list.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

TEST(CookieLine, NetscapeLinesAndSetCookieHeadersOnly) {
    struct Case {
        std::string line;
        bool taken;
    };
    const Case cases[] = {
        {"127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tabc", true},  // six tabs
        {"127.0.0.1\tFALSE\t/\tFALSE\t0\tsid", false},      // five
        {"a\tb\tc\td\te\tf\tg\th", false},                  // seven
        {"Set-Cookie: sid=abc", true},
        {"SET-COOKIE:sid=abc", true},
        {"set-cookie:", true},
        {"Set-Cookie sid=abc", false},
        {"Set-Cooki", false},
        {"# Netscape HTTP Cookie File", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isCookieLine(c.line), c.taken) << c.line;
}

TEST(CookieList, FileLinesAreQueuedInOrderAndOtherLinesIgnored) {
    test::TempDir dir;
    const std::string path = dir.write("cookies.txt",
                                       "# Netscape HTTP Cookie File\r\n"
                                       "h\tFALSE\t/\tFALSE\t0\ta\t1\r\n"
                                       "\n"
                                       "Set-Cookie: b=2\n"
                                       "junk\n");
    THttpCookieList list(nullptr);
    list.loadFile(path);
    EXPECT_TRUE(list.pending());
    EXPECT_EQ(list.lines(), (std::vector<std::string>{"h\tFALSE\t/\tFALSE\t0\ta\t1", "Set-Cookie: b=2"}));

    THttpCookieList fromFolder(nullptr);
    fromFolder.loadFile(dir.path().string());
    fromFolder.loadFile(dir.file("missing.txt"));
    EXPECT_EQ(fromFolder.count(), 0u);
    EXPECT_FALSE(fromFolder.pending());
}

}  // namespace
}  // namespace korvex
