#!/bin/sh
# What help2man reads as the --help of a program with commands: the program's overview, then each
# command's own help under its name, so that the manual page holds every command and option the
# program itself documents and cannot drift from it.
#   all-help.sh PROGRAM [COMMAND...] --help|--version
# Without COMMANDs, the commands are those the overview lists under "commands:" (but help), so a
# new command reaches the manual page without a change here.
set -eu
program=$1
shift
commands=
for arg in "$@"; do
  case $arg in
    --version) "$program" --version; exit ;;
    --help) ;;
    *) commands="$commands $arg" ;;
  esac
done
if [ -z "$commands" ]; then
  commands=$("$program" --help | awk '/^commands:/ { in_list = 1; next }
    in_list && /^  [a-z]/ { if ($1 != "help") print $1; next }
    in_list { exit }')
fi
"$program" --help
for command in $commands; do
  printf '\nThe %s command:\n\n' "$command"
  "$program" "$command" --help
done
