#pragma once
// korvex-cli check-update: asks the publisher's info file whether a newer release is offered, as
// "Авто-Обновить" does, but without a question and without downloading anything.
#include "korvex-cli/cli_commands.h"

namespace korvex {

inline constexpr int kExitNoUpdate = 1;       // the check worked; nothing newer is offered
inline constexpr int kExitCheckFailed = 2;    // no info file, no server, a broken transfer, a stop

// Prints the offered version and its message (exit 0), or that nothing newer is offered (1); a
// failure is one line on `err` (2). The proxy is the settings file's, as the window applies it.
int checkUpdateCommand(const CliContext& context);

}  // namespace korvex
