// The size bound of Portals.ini, to the byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "checks/portals_ini.h"
#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

// A file of exactly the bound is read; one byte more is refused whole.
TEST(PortalsIniSize, AFileOfTheBoundIsReadOneByteMoreRefused) {
    const std::string address = "http://127.0.0.1:1";
    const struct {
        std::size_t bytes;
        const char* problem;  // "" none
    } cases[] = {{kMaxPortalsIniBytes, ""}, {kMaxPortalsIniBytes + 1, "is larger than 1 MiB"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::string text = "[SpectrumSat]\nAddress = " + address + "\n";
        while (text.size() < c.bytes) {
            const std::size_t line = std::min<std::size_t>(c.bytes - text.size(), kMaxPortalsIniLine);
            text += std::string(line - 1, ';') + "\n";
        }
        test::TempDir dir;
        const std::string path = dir.write(kPortalsIniName, text);
        const PortalsSetup setup = applyPortalsIni({}, {path});
        EXPECT_EQ(setup.problems.size(), *c.problem ? 1u : 0u);
        for (const std::string& problem : setup.problems)
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_EQ(setup.addresses.spectrumSat, *c.problem ? "" : address);
    }
}

}  // namespace
}  // namespace korvex
