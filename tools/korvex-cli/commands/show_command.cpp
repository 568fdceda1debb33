#include <ostream>
#include <sstream>

#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/cli_support.h"

namespace korvex {

int showCommand(const CliContext& context, bool csv) {
    AccountBook book;
    ProxySettings proxy;
    if (!loadSettings(context, book, proxy)) return kExitFailed;
    if (csv && context.outIsTerminal) {
        std::ostringstream text;
        printBalanceCsv(text, book);
        context.out << terminalCsv(text.str());
    } else if (csv) {
        printBalanceCsv(context.out, book);
    } else {
        printBalanceTable(context.out, book);
    }
    context.out.flush();
    return kExitOk;
}

}  // namespace korvex
