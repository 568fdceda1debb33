#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <vector>

#include "book/account_import.h"
#include "checks/provider_profiles.h"
#include "korvex-cli/account_csv.h"
#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/cli_keyring.h"
#include "korvex-cli/cli_support.h"
#include "korvex-cli/command_table.h"
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
        context.err << kPrefix << "cannot read " << path << ": " << std::strerror(errno) << '\n';
        return false;
    }
    return true;
}

// The accounts of the CSV at `csvPath`, at least one; answers false with the message written.
bool readAccounts(const CliContext& context, const std::string& csvPath, const std::string& source,
                  std::vector<ImportedAccount>& accounts) {
    std::string text;
    if (!readWholeInput(context, csvPath, text)) return false;
    try {
        accounts = readAccountCsv(text);
    } catch (const AccountCsvError& e) {
        context.err << kPrefix << source << ": " << e.what() << "; nothing was imported\n";
        return false;
    }
    if (accounts.empty()) {
        context.err << kPrefix << source << " holds no accounts; nothing was imported\n";
        return false;
    }
    return true;
}

// The accounts left out because the book or the file holds them already: one line with their
// number, or with `verbose` a line for each.
void sayLeftOut(const CliContext& context, const std::string& source, const std::vector<ImportedAccount>& accounts,
                const ImportPlan& plan, bool verbose) {
    const std::size_t count = plan.leftOut.size();
    if (count == 0) return;
    for (const LeftOutAccount& left : plan.leftOut) {
        if (!verbose) break;
        const ImportedAccount& account = accounts[left.index];
        context.err << kPrefix << source << ": line " << account.line << ": "
                    << terminalText(cp1251ToUtf8(account.cells[kLogin])) << " on plan "
                    << quoted(terminalText(cp1251ToUtf8(account.cells[kPlanCode])))
                    << (left.presentRow >= 0 ? " is there already, in row " + std::to_string(left.presentRow + 1)
                                             : std::string(" comes twice in the file"))
                    << "; left out\n";
    }
    if (plan.taken.empty()) return;  // the line on standard output says it
    context.err << kPrefix << count << (count == 1 ? " account" : " accounts") << " of " << source
                << (count == 1 ? " was" : " were") << " there already and left out"
                << (verbose ? "\n" : " (--verbose names them)\n");
}

// Plan codes that no portal serves: imported as they are, and named, since a refresh passes over them.
void sayUnknownPlanCodes(const CliContext& context, const std::string& source,
                         const std::vector<ImportedAccount>& accounts, const ImportPlan& plan) {
    std::vector<std::pair<std::string, std::string>> codes;  // code, the lines it is on
    for (const std::size_t index : plan.taken) {
        const ImportedAccount& account = accounts[index];
        const std::string& code = account.cells[kPlanCode];
        if (code.empty() || routineForPlanCode(code)) continue;
        auto known = std::find_if(codes.begin(), codes.end(), [&](const auto& c) { return c.first == code; });
        if (known == codes.end()) known = codes.insert(codes.end(), {code, {}});
        known->second += (known->second.empty() ? "" : ", ") + std::to_string(account.line);
    }
    for (const auto& [code, lines] : codes)
        context.err << kPrefix << "warning: " << source << ": the plan code "
                    << quoted(terminalText(cp1251ToUtf8(code))) << " names no portal (line"
                    << (lines.find(',') == std::string::npos ? " " : "s ") << lines
                    << "); imported as it is, a refresh passes over it until it is mended\n";
}

// Rows beyond the count keep their accounts in the file (a lowered or damaged count hides them);
// the new accounts must not go over them. Answers false with the message written.
bool sparesHiddenRows(const CliContext& context, const AccountBook& book, const StartupValues& start,
                      const ImportPlan& plan) {
    if (plan.replace || start.accountRows <= plan.kept) return true;
    AccountBook hidden;
    hidden.setCount(start.accountRows);
    read(hidden, context.settingsPath);
    for (int row = plan.kept; row < std::min(start.accountRows, plan.total()); ++row) {
        bool holdsAccount = false;
        for (int col = 0; col < kAccountCols; ++col)
            holdsAccount = holdsAccount || !hidden.client.cell(col, row).empty();
        if (!holdsAccount) continue;
        context.err << kPrefix << context.settingsPath << " holds an account in " << rowName(hidden, row)
                    << ", beyond its account count of " << book.clients
                    << ", where the import would write; nothing was imported (raise the count in the "
                       "window to see the hidden accounts, or import with --replace)\n";
        return false;
    }
    return true;
}

// More than kMaxAccounts in all is refused at the first account beyond. Answers false with the
// message written.
bool withinLimit(const CliContext& context, const std::string& source, const std::vector<ImportedAccount>& accounts,
                 const ImportPlan& plan) {
    if (plan.total() <= kMaxAccounts) return true;
    const ImportedAccount& beyond = accounts[plan.taken[static_cast<std::size_t>(kMaxAccounts - plan.kept)]];
    context.err << kPrefix << source << ": line " << beyond.line << ": more than " << kMaxAccounts
                << " accounts in all";
    if (plan.kept > 0) context.err << " (" << context.settingsPath << " holds " << plan.kept << " already)";
    context.err << "; nothing was imported\n";
    return false;
}

bool createSettingsFile(const CliContext& context, const ProxySettings& proxy) {
    try {
        const SignalHold hold;
        createNewFile(context.settingsPath, proxy);
        return true;
    } catch (const SettingsWriteError& e) {
        context.err << kPrefix << e.what() << '\n';
        return false;
    }
}

void sayImported(const CliContext& context, const std::string& source, const ImportPlan& plan) {
    const std::size_t count = plan.taken.size();
    const int total = plan.total();
    if (count == 0)
        context.out << "imported no account from " << source << ": all " << plan.leftOut.size()
                    << (plan.leftOut.size() == 1 ? " is" : " are") << " there already; " << context.settingsPath
                    << " holds " << total << (total == 1 ? " account\n" : " accounts\n");
    else
        context.out << "imported " << count << (count == 1 ? " account" : " accounts") << " from " << source << "; "
                    << context.settingsPath << " holds " << total << (total == 1 ? " account\n" : " accounts\n");
    context.out.flush();
}

}  // namespace

int importCommand(const CliContext& context, const std::string& csvPath, bool replace, bool verbose) {
    const std::string source = csvPath == "-" ? std::string("standard input") : csvPath;
    std::vector<ImportedAccount> accounts;
    if (!readAccounts(context, csvPath, source, accounts)) return kExitFailed;

    AccountBook book;
    ProxySettings proxy;
    const bool fileExists = settingsFileState(context.settingsPath).kind != SettingsFileState::Missing;
    StartupValues start;
    if (fileExists && !loadSettings(context, book, proxy, &start)) return kExitFailed;
    CliKeyring keyring(context.settingsPath);
    if (!keyring.fill(context, book, "nothing was imported")) return kExitFailed;

    std::vector<Row> incoming;
    for (const ImportedAccount& account : accounts) incoming.push_back(account.cells);
    const ImportPlan plan = planImport(book, incoming, replace);
    sayLeftOut(context, source, accounts, plan, verbose);
    if (plan.taken.empty()) {
        sayImported(context, source, plan);
        return kExitOk;
    }
    if (!sparesHiddenRows(context, book, start, plan) || !withinLimit(context, source, accounts, plan))
        return kExitFailed;
    if (!fileExists && !createSettingsFile(context, proxy)) return kExitFailed;
    applyImport(book, incoming, plan);
    // Replacing leaves none of the old accounts hidden beyond the new count.
    if (!save(context, book, proxy, replace ? start.accountRows : 0, &keyring)) return kExitFailed;
    sayUnknownPlanCodes(context, source, accounts, plan);
    sayImported(context, source, plan);
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
    return importCommand(context, call.file, call.replace, call.verbose);
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
