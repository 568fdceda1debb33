#pragma once
// What the korvex-cli tests share: a folder with a settings file, the commands' streams, and the
// substitute portals' addresses.
#include <atomic>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "book/account_book.h"
#include "checks/check_clock.h"
#include "checks/portal_addresses.h"
#include "korvex-cli/cli_commands.h"
#include "settings/settings_file.h"
#include "tests/support/demo_portal_addresses.h"
#include "tests/support/temp_dir.h"

namespace korvex::test {

// The book as the settings file holds it.
inline AccountBook savedBook(const std::string& path) {
    AccountBook book;
    book.setCount(readStartup(path).count);
    read(book, path);
    return book;
}

// A folder with its Settings.ini and the streams of the commands run on it.
struct CliFolder {
    explicit CliFolder(PortalAddresses portalAddresses = PortalAddresses::fromBuild())
        : addresses(std::move(portalAddresses)) {}

    // Fresh streams for the next command.
    CliContext context() {
        out.str({});
        err.str({});
        return CliContext{settings, out, err, in, addresses, clock, &stop, false};
    }
    int import(const std::string& csv, bool replace = false, bool verbose = false) {
        return importCommand(context(), dir.write("accounts.csv", csv), replace, verbose);
    }
    std::string fileText() const { return readFile(settings); }
    // A settings file with these accounts (login, password, plan code) and no results yet.
    void writeAccounts(const std::vector<Row>& accounts, const ProxySettings& proxy = {}) {
        AccountBook book;
        book.setCount(static_cast<int>(accounts.size()));
        for (int r = 0; r < book.clients; ++r) {
            Row row = accounts[static_cast<std::size_t>(r)];
            row.resize(kAccountCols);
            book.client.setRow(r, row);
        }
        zapis(book, proxy, settings);
    }

    PortalAddresses addresses;
    TempDir dir;
    std::string settings = dir.file("Settings.ini");
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
    FixedCheckClock clock{{7, 12, 2026, 9, 5}};
    std::atomic<bool> stop{false};
};

inline constexpr const char* kStamp = "7/12/2026 09:05";
inline constexpr const char* kHeader = "login,password,plan,holder\n";

}  // namespace korvex::test
