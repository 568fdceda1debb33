#pragma once
// korvex-cli history: the checks kept in History.sqlite beside the settings file, as a table or CSV,
// and pruning of old ones.
#include <string>

#include "korvex-cli/cli_commands.h"

namespace korvex {

struct HistoryOptions {
    std::string login{};  // one login's checks; "" for every account
    std::string plan{};   // with login: one account's (login and plan code); "" for every plan
    std::string since{};  // a history timestamp: checks at or after it; "" for all
    bool csv = false;
    std::string pruneBefore{};  // a history timestamp: remove the checks before it instead of listing
};

// Lists (oldest first) or prunes. A missing history file is no error: there is nothing kept yet.
int historyCommand(const CliContext& context, const HistoryOptions& options);

}  // namespace korvex
