#include <gtest/gtest.h>

#include "update/check/info_file.h"
#include "update/check/trusted_info.h"

namespace korvex {
namespace {

update::TrustedInfo unsignedInfo(std::string_view text) {
    return update::verifyInfoFile(text, "").info.value();
}

TEST(InfoFile, PlainAndBracedLookups) {
    struct Case {
        std::string text, key, value;
        bool braced = false;
    };
    const Case cases[] = {
        {"#version=3.2.0.2\r\n#date=01/02/2009\r\n", "#version", "3.2.0.2"},
        {"#VERSION=3.2.0.2\r\n", "#version", "3.2.0.2"},                // any letter case
        {"junk #version=3.2.0.2\tmore\r\n", "#version", "3.2.0.2"},    // anywhere, ends at a control byte
        {"#version= Mixed Case \r\n", "#version", " Mixed Case "},      // kept as it stands
        {"#version=3.2.0.2", "#version", "3.2.0."},                     // no line end: last byte lost
        {"#version=", "#version", ""},
        {"#date=1/2/2009\n", "#version", ""},                           // missing
        {"#message={Line one\r\nLine two}\r\n", "#message", "Line one\r\nLine two", true},
        {"#message={to the end", "#message", "to the en", true},
        {"x\n#message={complete}", "#message", "complete", true},        // at the very end, still whole
        {"#message=plain\n", "#message", "", true},
        // The index answers as a search of the text would: the first place, not the first line.
        {"#message=plain #message={braced}\n", "#message", "braced", true},
        {"#message={first}#MESSAGE={second}\n", "#message", "first", true},
        {"x#url#url=a\n", "#url", "a"},  // a key inside another's name
        {"##version=1\n", "#version", "1"},
        {"#version#date=1/2/2009\n", "#date", "1/2/2009"},
        {"#version#date=1/2/2009\n", "#version", ""},
        {"#ver\nsion=1\n#version=2\n", "#version", "2"},
        {"#version=a\x01#version=b\n", "#version", "a"},
        {"#version=a#version=b", "#version", "a#version="},  // to the end less the last byte
        {"v=1\n", "v", "1"},                                 // not a "#" key: searched
        {"#a=1\n#A=2\n", "#A", "1"},
    };
    for (const Case& c : cases) {
        const update::TrustedInfo info = unsignedInfo(c.text);
        EXPECT_EQ(c.braced ? info.bracedValue(c.key) : info.value(c.key), c.value) << c.text;
    }
}

TEST(InfoFile, FileListNumbering) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"#url=a\n#url1=b\n#url2=c\n", {"a", "c"}},          // #url1 is never read: numbering goes on at 2
        {"#url0=z\n#url=a\n#url1=b\n#url2=c\n#url3=d\n", {"a", "z", "d"}},  // starts at #url3
        {"#url1=b\n#url2=c\n#url4=e\n", {"b", "c"}},         // neither #url nor #url0: from #url1, up to a gap
        {"#url=\n#url1=b\n", {"b"}},                          // an empty #url counts as none
        {"#url2=c\n", {}},
        {"#URL=http://h/k.exe=%current%Sub\\k.exe\r\n", {"http://h/k.exe=%current%Sub\\k.exe"}},
    };
    for (const auto& [text, files] : cases) EXPECT_EQ(infoFileList(unsignedInfo(text)), files) << text;

    EXPECT_EQ(infoUpgradeMethod(unsignedInfo("#method=1\n")), umUseExternalSetup);
    EXPECT_EQ(infoUpgradeMethod(unsignedInfo("#method=2x\n")), umRedirectToURL);
    EXPECT_EQ(infoUpgradeMethod(unsignedInfo("#method=0\n")), umSelfUpgrade);
    EXPECT_EQ(infoUpgradeMethod(unsignedInfo("")), umSelfUpgrade);
}

TEST(InfoFile, VersionByNumber) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"3.2.0.1 ", "3.2.0.1", false},  // a blank around a field is no part of its number
        {" 3.2.0.1", "3.2.0.1", false},  {"3.2 .0.1", "3.2.0.1", false},
        {"3.2.0.2 ", "3.2.0.1", true},   {"3.2.0.1", "3.2.0.1 ", false},
        {"3.2.0.10", "3.2.0.9", true},   // numbers, not text
        {"3.2.0.9", "3.2.0.10", false},
        {"3.2", "3.2.0.0", false},       // missing fields are 0
        {"3.2.0.0", "3.2", false},
        {"3.3", "3.2.0.1", true},
        {"3.2.0.1b", "3.2.0.1", true},   // not an integer: the whole strings, byte by byte
        {"3.2.0.1", "3.2.0.1b", false},
        {"3.2.0.1", "3.2.0.1", false},
        {"", "3.2.0.1", false},          // no version offered is never newer
        {"4.0.0.0.9", "3.9", true},      // beyond the fourth field ignored
        {"3.2.0.1.9", "3.2.0.1", false},
    };
    for (const auto& [offered, running, newer] : cases)
        EXPECT_EQ(isNewerNumber(offered, running), newer) << offered << " against " << running;
}

TEST(InfoFile, VersionByDate) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"12/27/2008", "12/26/2008", true},
        {"12/26/2008", "12/26/2008", false},
        {"1/2/2009", "12/26/2008", true},
        {"12/26/2008", "1/2/2009", false},
        {"", "12/26/2008", true},           // unreadable: today (06/15/2010 here)
        {"31/12/2009", "12/26/2008", true},  // day and month swapped: unreadable
        {"", "07/01/2010", false},
        {"02/30/2009", "12/26/2008", true},  // no such day: today
    };
    for (const auto& [offered, running, newer] : cases)
        EXPECT_EQ(isNewerDate(offered, running, "06/15/2010"), newer) << offered << " against " << running;
    EXPECT_EQ(todayText().size(), 10u);
}

// What a server sends never reaches a terminal or a box with its control bytes.
TEST(InfoFile, PrintableTextReplacesControlBytes) {
    EXPECT_EQ(printableText("a\x1b[2Jb\r\nc\td\x7f\x98\xc0\n"), "a?[2Jb\nc?d??\xc0\n");
    EXPECT_EQ(printableText("\r"), "?");
}

}  // namespace
}  // namespace korvex
