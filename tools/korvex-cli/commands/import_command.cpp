#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <vector>

#include "korvex-cli/command_table.h"
#include "korvex-cli/account_csv.h"
#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/cli_keyring.h"
#include "korvex-cli/cli_support.h"
#include "korvex-cli/stop_signals.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

namespace fs = std::filesystem;

// The whole content of `path` ("-": the stream), at most kMaxImportBytes. Answers false with the
// message written.
bool readWholeInput(const CliContext& context, const std::string& path, std::string& text) {
    std::istream* stream = &context.in;
    std::ifstream file;
    if (path != "-") {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            context.err << kPrefix << path << " is a folder, not a CSV file\n";
            return false;
        }
        file.open(path, std::ios::binary);
        if (!file) {
            context.err << kPrefix << "cannot read " << path << ": " << std::strerror(errno) << '\n';
            return false;
        }
        stream = &file;
    }
    text.clear();
    char chunk[65536];
    while (*stream) {
        stream->read(chunk, sizeof chunk);
        text.append(chunk, static_cast<std::size_t>(stream->gcount()));
        if (text.size() > kMaxImportBytes) {
            context.err << kPrefix << (path == "-" ? std::string("standard input") : path)
                        << " is larger than an account list can be (" << kMaxImportBytes / (1024 * 1024)
                        << " MiB); nothing was imported\n";
            return false;
        }
    }
    if (stream->bad()) {
        context.err << kPrefix << "cannot read " << path << '\n';
        return false;
    }
    return true;
}

// True when the book holds nothing but the one empty row of a first start.
bool holdsNoAccounts(const AccountBook& book) {
    if (book.clients != 1) return false;
    for (int col = 0; col < kAccountCols; ++col)
        if (!book.client.cell(col, 0).empty()) return false;
    return true;
}

}  // namespace

int importCommand(const CliContext& context, const std::string& csvPath, bool replace) {
    const std::string source = csvPath == "-" ? std::string("standard input") : csvPath;
    std::string text;
    if (!readWholeInput(context, csvPath, text)) return kExitFailed;

    std::vector<ImportedAccount> accounts;
    try {
        accounts = readAccountCsv(text);
    } catch (const AccountCsvError& e) {
        context.err << kPrefix << source << ": " << e.what() << "; nothing was imported\n";
        return kExitFailed;
    }
    if (accounts.empty()) {
        context.err << kPrefix << source << " holds no accounts; nothing was imported\n";
        return kExitFailed;
    }

    const std::string& path = context.settingsPath;
    AccountBook book;
    ProxySettings proxy;
    const bool fileExists = settingsFileExists(path);
    StartupValues start;
    if (fileExists && !loadSettings(context, book, proxy, &start)) return kExitFailed;
    CliKeyring keyring(path);
    if (!keyring.fill(context, book, "nothing was imported")) return kExitFailed;

    const int kept = replace || holdsNoAccounts(book) ? 0 : book.clients;
    // An account is its login and plan code. Adding leaves out the accounts already there (an import
    // run twice does not double the book); replacing keeps the results of the accounts that stay.
    const auto sameAccount = [](const Row& a, const Row& b) {
        return a[kLogin] == b[kLogin] && a[kPlanCode] == b[kPlanCode];
    };
    std::vector<std::pair<Row, Row>> before;  // account cells and result cells of the present rows
    if (!holdsNoAccounts(book))
        for (int row = 0; row < book.clients; ++row) before.emplace_back(book.client.row(row), book.Stat.row(row));
    if (!replace) {
        std::vector<ImportedAccount> fresh;
        int present = 0;
        for (ImportedAccount& account : accounts) {
            const auto there = std::find_if(before.begin(), before.end(), [&](const auto& b) {
                return sameAccount(b.first, account.cells);
            });
            const auto earlier = std::find_if(fresh.begin(), fresh.end(), [&](const ImportedAccount& f) {
                return sameAccount(f.cells, account.cells);
            });
            if (there == before.end() && earlier == fresh.end()) {
                fresh.push_back(std::move(account));
                continue;
            }
            ++present;
            context.err << kPrefix << source << ": line " << account.line << ": "
                        << terminalText(cp1251ToUtf8(account.cells[kLogin])) << " on plan "
                        << quoted(terminalText(cp1251ToUtf8(account.cells[kPlanCode])))
                        << (there != before.end()
                                ? " is there already, in row " + std::to_string(there - before.begin() + 1)
                                : std::string(" comes twice in the file"))
                        << "; left out\n";
        }
        accounts = std::move(fresh);
        if (accounts.empty()) {
            context.out << "imported no account from " << source << ": all " << present
                        << (present == 1 ? " is" : " are") << " there already; " << path << " holds "
                        << book.clients << (book.clients == 1 ? " account\n" : " accounts\n");
            context.out.flush();
            return kExitOk;
        }
        if (present > 0)
            context.err << kPrefix << present << (present == 1 ? " account" : " accounts") << " of " << source
                        << (present == 1 ? " was" : " were") << " there already and left out\n";
    }
    // Rows beyond the count keep their accounts in the file (a lowered or damaged count hides
    // them); the new accounts must not go over them.
    if (!replace && start.accountRows > kept) {
        AccountBook hidden;
        hidden.setCount(start.accountRows);
        read(hidden, path);
        const int end = std::min(start.accountRows, kept + static_cast<int>(accounts.size()));
        for (int row = kept; row < end; ++row) {
            bool holdsAccount = false;
            for (int col = 0; col < kAccountCols; ++col)
                holdsAccount = holdsAccount || !hidden.client.cell(col, row).empty();
            if (!holdsAccount) continue;
            context.err << kPrefix << path << " holds an account in " << rowName(hidden, row)
                        << ", beyond its account count of " << book.clients
                        << ", where the import would write; nothing was imported (raise the count in the "
                           "window to see the hidden accounts, or import with --replace)\n";
            return kExitFailed;
        }
    }
    if (kept + static_cast<long long>(accounts.size()) > kMaxAccounts) {
        const ImportedAccount& beyond = accounts[static_cast<std::size_t>(kMaxAccounts - kept)];
        context.err << kPrefix << source << ": line " << beyond.line << ": more than " << kMaxAccounts
                    << " accounts in all";
        if (kept > 0) context.err << " (" << path << " holds " << kept << " already)";
        context.err << "; nothing was imported\n";
        return kExitFailed;
    }

    if (!fileExists) {
        try {
            const SignalHold hold;
            createNewFile(path, proxy);
        } catch (const SettingsWriteError& e) {
            context.err << kPrefix << e.what() << '\n';
            return kExitFailed;
        }
    }

    const int total = kept + static_cast<int>(accounts.size());
    book.setCount(total);
    for (int i = 0; i < static_cast<int>(accounts.size()); ++i) {
        const int row = kept + i;
        book.client.setRow(row, accounts[static_cast<std::size_t>(i)].cells);
        // A new account starts without results; keys an earlier, longer book left in the file for
        // this row must not show up as its balance. An account that stays through a replace keeps
        // its balance, previous balance and date (each present row lends its results once).
        book.Stat.clearRow(row);
        book.Stat.setCell(kStatLogin, row, book.client.cell(kLogin, row));
        if (!replace) continue;
        const auto stays = std::find_if(before.begin(), before.end(), [&](const auto& b) {
            return !b.second.empty() && sameAccount(b.first, book.client.row(row));
        });
        if (stays == before.end()) continue;
        book.Stat.setRow(row, stays->second);
        stays->second.clear();
    }
    // Replacing leaves none of the old accounts hidden beyond the new count.
    if (!save(context, book, proxy, replace ? start.accountRows : 0, &keyring)) return kExitFailed;
    context.out << "imported " << accounts.size() << (accounts.size() == 1 ? " account" : " accounts")
                << " from " << source << "; " << path << " holds " << total
                << (total == 1 ? " account\n" : " accounts\n");
    context.out.flush();
    return kExitOk;
}

namespace {

constexpr CliOption kImportOptions[] = {
    {.name = "--replace",
     .help = "the file's accounts take the place of the present ones,\n"
             "those hidden beyond the account count included; an account\n"
             "that stays keeps its balance, previous balance and date",
     .set = [](CliInvocation& call, const std::string&, int) { call.replace = true; }},
    {.name = "--verbose",
     .help = "name every account left out on a line of its own",
     .set = [](CliInvocation& call, const std::string&, int) { call.verbose = true; }},
};

void importFinish(CliInvocation& call, const std::vector<std::string>& operands) {
    if (operands.empty()) throw CliUsageError("import needs the CSV file to read", call.command);
    if (operands.size() > 1) throw CliUsageError("import reads one CSV file", call.command);
    call.file = operands[0];
}

int runImport(CliContext& context, const CliInvocation& call) {
    return importCommand(context, call.file, call.replace);
}

}  // namespace

const CliCommandRow kImportRow{
    .command = CliCommand::Import,
    .name = "import",
    .operands = "FILE.csv",
    .summary = "add new accounts (or replace them) from a CSV file",
    .description = "Adds the accounts of a UTF-8 CSV file after those of the settings file, or with\n"
                   "--replace puts them in their place, and sets the account count. The first line\n"
                   "must be the header login,password,plan,holder; a field with a comma or a quote\n"
                   "is quoted as RFC 4180 has it. \"-\" reads standard input.\n"
                   "The settings file is made when there is none. A text the Cyrillic code page\n"
                   "cannot hold, a line without four fields or more than 500 accounts in all is\n"
                   "refused with the line it is on, and nothing is written. Without --replace, rows\n"
                   "beyond the account count that still hold accounts in the file are never written\n"
                   "over, and an account already there (the same login and plan code) is left out.\n"
                   "A plan code that no portal serves is imported and named.\n",
    .options = kImportOptions,
    .onlyReads = alwaysWrites,
    .readsPortals = false,
    .finish = importFinish,
    .run = runImport,
};

}  // namespace korvex
