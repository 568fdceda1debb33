#pragma once
// korvex-cli schedule enable|disable|status: korvex-cli refresh from the systemd user timer
// korvex-refresh.timer, through `systemctl --user` (looked up on PATH); without a systemd user manager
// it prints the crontab line that does the same.
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/command_line.h"

namespace korvex {

int scheduleCommand(const CliContext& context, const CliInvocation& call);

}  // namespace korvex
