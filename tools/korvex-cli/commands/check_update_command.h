#pragma once
// korvex-cli check-update: asks the publisher's info file whether a newer release is offered, as
// "Авто-Обновить" does, but without a question and without downloading anything. korvex-cli update:
// the version the last update replaced, and going back to it.
#include "korvex-cli/cli_commands.h"

namespace korvex {

inline constexpr int kExitNoUpdate = 1;       // the check worked; nothing newer is offered
inline constexpr int kExitCheckFailed = 2;    // no info file, no server, a broken transfer, a stop

// Prints the offered version and its message (exit 0), or that nothing newer is offered (1); a
// failure is one line on `err` (2). The proxy is the settings file's, as the window applies it.
int checkUpdateCommand(const CliContext& context);

// korvex-cli update: names the version kept by the last update (exit 0; 1 when none is kept); with
// --undo puts it back (exit 0, or 1 with the reason on `err`). Refused while the window runs.
int updateCommand(const CliContext& context, bool undo);

}  // namespace korvex
