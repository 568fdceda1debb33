#!/bin/bash
# korvex-cli's refresh opens the settings file by its name once: everything the run goes by (the
# accounts, the proxy, the refresh settings, the thresholds, where the passwords live) is read from
# that one open, and the save writes onto the same text. Counted with strace over every open.
#   settings_read_once_test.sh KORVEX_CLI
set -u
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
settings=$dir/Settings.ini
# Plan codes that no portal serves: nothing goes to the network, and the run still saves.
printf 'login,password,plan,holder\nfirst,one,NOPORTAL,\nsecond,two,NOPORTAL,\n' > "$dir/accounts.csv"
"$cli" --settings "$settings" import "$dir/accounts.csv" >/dev/null 2>&1 || { echo "import failed" >&2; exit 1; }
printf '[SUMMARY]\nLowBalance=10\nDaysLeft=3\n[REFRESH]\nJobs=4\nPerPortal=2\n' >> "$settings"
trace=$dir/opens.txt
strace -f -qq -e trace=open,openat,openat2 -o "$trace" "$cli" --settings "$settings" refresh >"$dir/out" 2>"$dir/err"
status=$?
if [ "$status" -ne 1 ]; then
  echo "refresh ended with $status, not 1 (plan codes that name no portal fail the run):" >&2
  cat "$dir/err" >&2
  exit 1
fi
if ! grep -q "NOPORTAL" "$dir/err"; then
  echo "the run did not say the rows it passed over:" >&2
  cat "$dir/err" >&2
  exit 1
fi
opens=$(grep -cF "\"$settings\"" "$trace")
if [ "$opens" -ne 1 ]; then
  echo "$settings was opened $opens times, not once:" >&2
  grep -F "\"$settings\"" "$trace" >&2
  exit 1
fi
# The save went through: the file is still a book of two accounts.
grep -q '^Login_1=' "$settings" || { echo "the save lost the second account" >&2; exit 1; }
echo "opened once"
