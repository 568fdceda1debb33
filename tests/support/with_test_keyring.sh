#!/bin/sh
# Runs a command (a test program) against a keyring of its own, never the user's: a private session
# bus (dbus-run-session) with gnome-keyring-daemon on it, whose default keyring is made and unlocked
# for the run with a password from standard input. HOME and the XDG folders point into a temporary
# folder, set before the bus starts, so that whatever the bus starts keeps its files there; the
# folder goes when the run ends, and the daemon with it. No display: nothing can put up an
# unlock prompt.
#
# The command sees KORVEX_TEST_KEYRING=1, and the keyring's password in
# KORVEX_TEST_KEYRING_PASSWORD. A keyring that cannot be started fails the run (status 1): a test
# of the keyring never passes without one.
set -u
# Listing the tests (gtest's discovery at build time) needs no keyring; running them does.
for arg in "$@"; do
  case "$arg" in --gtest_list_tests) exec "$@" ;; esac
done
for tool in dbus-run-session dbus-send gnome-keyring-daemon; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "with_test_keyring: $tool is not installed (scripts/setup installs it)" >&2
    exit 1
  fi
done
root=$(mktemp -d "${TMPDIR:-/tmp}/korvex-keyring.XXXXXX") || exit 1
trap 'rm -rf "$root"' EXIT
trap 'exit 1' INT TERM HUP
export HOME="$root/home"
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache"
export XDG_RUNTIME_DIR="$root/run"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$root" "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL SSH_AUTH_SOCK
export KORVEX_TEST_KEYRING=1 KORVEX_TEST_KEYRING_PASSWORD="korvex-test-$$"
status=0
dbus-run-session -- sh -c '
  # In the foreground of a child of this shell, so that it ends with the run and not later.
  { printf %s "$KORVEX_TEST_KEYRING_PASSWORD" |
      gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 & }
  daemon=$!
  trap "kill \$daemon 2>/dev/null" EXIT
  trap "exit 1" INT TERM HUP
  # Asked before its Secret Service is on the bus, the bus would start a second daemon.
  tries=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
          org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ] || ! kill -0 "$daemon" 2>/dev/null; then
      echo "with_test_keyring: gnome-keyring-daemon did not come onto the session bus" >&2
      exit 1
    fi
    sleep 0.05
  done
  "$@"' with_test_keyring "$@" || status=$?
exit "$status"
