#!/bin/sh
# korvex-cli's installed manual page holds every command and option its --help names (its own and
# each command's), the exit statuses, and the sections a user looks for (the keyring, a cron line
# and a systemd timer among the examples).
#   man_page_test.sh KORVEX-CLI PAGE.1.gz
set -eu
cli=$1
page=$2
text=$(gzip -dc "$page" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g')
helps=$("$cli" --help)
commands=$(printf '%s\n' "$helps" | sed -n '/^commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$commands" ] || { echo "no commands found in korvex-cli --help" >&2; exit 1; }
for command in $commands; do
  [ "$command" = help ] || helps="$helps
$("$cli" "$command" --help)"
done
missing=0
for word in $commands $(printf '%s\n' "$helps" | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  case $text in
    *"$word"*) ;;
    *) echo "the manual page lacks $word" >&2; missing=1 ;;
  esac
done
for status in 'Exit status' '130' '3 the summary names a low balance' SYNOPSIS 'EXIT STATUS' FILES \
    ENVIRONMENT KEYRING DBUS_SESSION_BUS_ADDRESS EXAMPLES '* * *' korvex-refresh.timer --version; do
  case $text in
    *"$status"*) ;;
    *) echo "the manual page lacks \"$status\"" >&2; missing=1 ;;
  esac
done
exit $missing
