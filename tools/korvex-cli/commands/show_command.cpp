#include <ostream>
#include <sstream>

#include "korvex-cli/command_table.h"
#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/cli_support.h"
#include "korvex-cli/csv_text.h"

namespace korvex {

int showCommand(const CliContext& context, bool csv) {
    AccountBook book;
    ProxySettings proxy;
    if (!loadSettings(context, book, proxy)) return kExitFailed;
    if (csv) {
        std::ostringstream text;
        printBalanceCsv(text, book);
        writeCsv(context.out, text.str(), context.outIsTerminal);
    } else {
        printBalanceTable(context.out, book);
    }
    context.out.flush();
    return kExitOk;
}

namespace {

constexpr CliOption kShowOptions[] = {
    {.name = "--csv",
     .kind = ArgKind::None,
     .help = "CSV with the header line\nlogin,balance,previous,speed,date,status,holder,plan",
     .set = [](CliInvocation& call, const std::string&, int) { call.csv = true; }},
};

int runShow(CliContext& context, const CliInvocation& call) {
    return showCommand(context, call.csv);
}

}  // namespace

const CliCommandRow kShowRow{
    .command = CliCommand::Show,
    .name = "show",
    .summary = "print the balance table",
    .description = "Prints the balance table: login, balance, previous balance, speed, date of the last\n"
                   "check, status, holder and plan code of every account, as aligned text in UTF-8.\n",
    .options = kShowOptions,
    .onlyReads = alwaysReads,
    .readsPortals = false,
    .finish = takesNoOperand,
    .run = runShow,
};

}  // namespace korvex
