#!/bin/bash
# korvex-cli's bash completion, as the build wrote it, loaded in bash and asked as the shell asks:
# a command from its first letters, a command's option, a value, and no option of another command.
#   completion_test.sh SCRIPT
set -u
source "$1"
failed=0
expect() {  # expect "WANTED REPLY" WORD...
    local wanted=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _korvex_cli
    local got="${COMPREPLY[*]}"
    if [[ $got != "$wanted" ]]; then
        echo "completing '$*': '$got', not '$wanted'" >&2
        failed=1
    fi
}
expect "refresh" korvex-cli ref
expect "profiles" korvex-cli pro
expect "--per-portal" korvex-cli refresh --pe
expect "--jobs" korvex-cli --settings s.ini refresh --jo
expect "json" korvex-cli refresh --summary j
expect "--json" korvex-cli forecast --js
expect "" korvex-cli show --jo
expect "--replace" korvex-cli import a.csv --rep
expect "" korvex-cli refresh --jobs ""
expect "--settings" korvex-cli --sett
expect "history" korvex-cli help hi
exit $failed
