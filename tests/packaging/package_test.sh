#!/usr/bin/env bash
# The packages as a user receives them: CPack makes the .deb and the portable archive from the
# built tree into a scratch folder; the .deb is unpacked with dpkg -x and its files, modes,
# dependencies, desktop entry and AppStream data are checked, lintian must report no error, and the
# unpacked programs must run and keep their settings where the location rule puts them.
#   package_test.sh BUILD_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/korvex-package-XXXXXX")
trap 'chmod -R u+w "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
chmod 0755 "$scratch"  # the unprivileged run below must reach the unpacked programs
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; exit 1; }
debs=("$scratch"/out/*.deb)
archives=("$scratch"/out/*.tar.gz)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single .deb: ${debs[*]}" >&2; exit 1; }
[ ${#archives[@]} -eq 1 ] && [ -f "${archives[0]}" ] || { echo "FAIL: no single .tar.gz: ${archives[*]}" >&2; exit 1; }
deb=${debs[0]}
archive=${archives[0]}

# --- the .deb's files: exactly these, with these modes ---------------------------------------
root="$scratch/root"
dpkg -x "$deb" "$root"
expected_files="755 usr/bin/korvex
755 usr/bin/korvex-cli
755 usr/bin/korvex-match
644 usr/lib/systemd/user/korvex-refresh.service
644 usr/lib/systemd/user/korvex-refresh.timer
644 usr/share/applications/korvex.desktop
644 usr/share/bash-completion/completions/korvex-cli
644 usr/share/doc/korvex/changelog.gz
644 usr/share/doc/korvex/copyright
644 usr/share/doc/korvex/Portals.ini.example
644 usr/share/man/man1/korvex.1.gz
644 usr/share/man/man1/korvex-cli.1.gz
644 usr/share/man/man1/korvex-match.1.gz"
for size in 16 22 24 32 48 64 128 256; do
    expected_files+=$'\n'"644 usr/share/icons/hicolor/${size}x${size}/apps/korvex.png"
done
expected_files+=$'\n'"644 usr/share/icons/hicolor/scalable/apps/korvex.svg"
expected_files+=$'\n'"644 usr/share/metainfo/ID.metainfo.xml"
expected_files+=$'\n'"644 usr/share/zsh/vendor-completions/_korvex-cli"
# The AppStream id comes from the publisher's host, a build setting; the file is named after it.
actual_files=$(cd "$root" && find . ! -type d -printf '%m %P\n' | sed 's|usr/share/metainfo/[^/]*\.metainfo\.xml$|usr/share/metainfo/ID.metainfo.xml|' | LC_ALL=C sort)
expected_files=$(LC_ALL=C sort <<<"$expected_files")
if [ "$actual_files" != "$expected_files" ]; then
    fail "the .deb's files differ from the expected list (< expected, > in the package):"
    diff <(echo "$expected_files") <(echo "$actual_files") >&2 || true
fi
odd_dirs=$(cd "$root" && find . -mindepth 1 -type d ! -perm 755 -printf '%m %P\n')
[ -z "$odd_dirs" ] || fail "folders not 0755: $odd_dirs"

metainfo=$(echo "$root"/usr/share/metainfo/*.metainfo.xml)
id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo")
[ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "metainfo file $(basename "$metainfo") is not named after its id $id"

# --- dependencies found by dpkg-shlibdeps, and the ones it cannot see --------------------------
depends=$(dpkg-deb --field "$deb" Depends)
for package in libc6 libcurl4 libqt6widgets6 qt6-qpa-plugins ca-certificates; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
[ "$(dpkg-deb --field "$deb" Package)" = korvex ] || fail "package name"

# --- lintian, the desktop entry, the AppStream data ---------------------------------------------
if ! lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 || grep -q '^E:' "$scratch/lintian.log"; then
    fail "lintian reports errors:"
    cat "$scratch/lintian.log" >&2
fi
desktop-file-validate "$root/usr/share/applications/korvex.desktop" || fail "desktop-file-validate"
for key in 'Exec=korvex' 'Icon=korvex' 'Name=Korvex' 'Name\[ru\]=' 'Type=Application'; do
    grep -q "^$key" "$root/usr/share/applications/korvex.desktop" || fail "desktop entry lacks $key"
done
appstreamcli validate --no-net "$metainfo" >"$scratch/appstream.log" 2>&1 ||
    { fail "appstreamcli validate:"; cat "$scratch/appstream.log" >&2; }
appstreamcli validate-tree --no-net "$root" >"$scratch/appstream-tree.log" 2>&1 ||
    { fail "appstreamcli validate-tree:"; cat "$scratch/appstream-tree.log" >&2; }

# The timer's service runs korvex-cli (the files list above holds no enabling link).
grep -qx 'ExecStart=korvex-cli refresh --summary json' "$root/usr/lib/systemd/user/korvex-refresh.service" ||
    fail "korvex-refresh.service does not run korvex-cli refresh --summary json"

# --- the portable archive: one folder, the programs side by side ---------------------------------
archive_files=$(tar -tzf "$archive")
top_entries=$(cut -d/ -f1 <<<"$archive_files" | sort -u)
[ "$(wc -l <<<"$top_entries")" -eq 1 ] || fail "the archive has more than one top folder: $top_entries"
for name in korvex korvex-cli korvex-match README.md Portals.ini.example man/korvex.1 man/korvex-cli.1 \
        man/korvex-match.1; do
    grep -qx "$top_entries/$name" <<<"$archive_files" || fail "the archive lacks $top_entries/$name"
done
# The example is this build's template: every profile, every key commented out.
example="$root/usr/share/doc/korvex/Portals.ini.example"
grep -qx '\[SpaceGate 15\]' "$example" && grep -q '^;Address = ' "$example" && ! grep -q '^Address' "$example" ||
    fail "Portals.ini.example is not the template"
grep -q 'profiles set NAME Address URL' <<<"$(dpkg-deb --field "$deb" Description)" ||
    fail "the description does not say where the portals' addresses go"

# --- the programs run, and keep their settings where the location rule says ----------------------
# Each run gets a clean environment: only the sanitizers' options (asan preset) come along.
clean_env=(env -i PATH=/usr/bin:/bin)
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
    [ -z "${!name:-}" ] || clean_env+=("$name=${!name}")
done
csv=$'login,password,plan,holder\nuser1,secret,42,Holder One\n'
printf '%s' "$csv" >"$scratch/accounts.csv"
chmod 0644 "$scratch/accounts.csv"
"$root/usr/bin/korvex-cli" --help >/dev/null || fail "the installed korvex-cli does not start"
"$root/usr/bin/korvex-match" --help >/dev/null || fail "the installed korvex-match does not start"

# Installed: the program's folder is not the user's to write, so Settings.ini goes to the
# configuration folder, private to the user.
user_home="$scratch/home"
mkdir -p "$user_home/runtime"
run_as_user=()
if [ "$(id -u)" -eq 0 ]; then
    # Root may write anywhere; a user who is not root shows the installed case.
    chown -R nobody "$user_home"
    run_as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
    chmod 0555 "$root/usr/bin"
fi
if ! "${clean_env[@]}" HOME="$user_home" XDG_CONFIG_HOME="$user_home/.config" \
        XDG_RUNTIME_DIR="$user_home/runtime" "${run_as_user[@]}" \
        "$root/usr/bin/korvex-cli" import "$scratch/accounts.csv" >"$scratch/installed.log" 2>&1; then
    fail "the installed korvex-cli could not import:"
    cat "$scratch/installed.log" >&2
fi
chmod 0755 "$root/usr/bin"
settings="$user_home/.config/korvex/Settings.ini"
[ -f "$settings" ] || fail "the installed korvex-cli did not write $settings"
[ "$(stat -c %a "$settings" 2>/dev/null)" = 600 ] || fail "$settings is not 0600"
[ "$(stat -c %a "$user_home/.config/korvex" 2>/dev/null)" = 700 ] || fail "its folder is not 0700"
[ ! -e "$root/usr/bin/Settings.ini" ] || fail "Settings.ini was written among the programs"
# The installed copy is given a portal's address without a file edited by hand.
if ! "${clean_env[@]}" HOME="$user_home" XDG_CONFIG_HOME="$user_home/.config" \
        XDG_RUNTIME_DIR="$user_home/runtime" "${run_as_user[@]}" \
        "$root/usr/bin/korvex-cli" profiles set SpectrumSat Address https://spectrum.example >>"$scratch/installed.log" 2>&1 ||
        ! grep -qx 'Address = https://spectrum.example' "$user_home/.config/korvex/Portals.ini"; then
    fail "the installed korvex-cli could not set an address:"
    cat "$scratch/installed.log" >&2
fi

# Portable: unpacked into a folder of the user's, Settings.ini stays beside the programs.
mkdir "$scratch/portable" "$scratch/portable-home"
tar -xzf "$archive" -C "$scratch/portable"
portable="$scratch/portable/$top_entries"
if ! "${clean_env[@]}" HOME="$scratch/portable-home" XDG_RUNTIME_DIR="$scratch/portable-home" \
        "$portable/korvex-cli" import "$scratch/accounts.csv" >"$scratch/portable.log" 2>&1; then
    fail "the portable korvex-cli could not import:"
    cat "$scratch/portable.log" >&2
fi
[ -f "$portable/Settings.ini" ] || fail "the portable korvex-cli did not write Settings.ini beside itself"
[ ! -e "$scratch/portable-home/.config/korvex" ] || fail "the portable copy made a configuration folder"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "package checks passed: $(basename "$deb"), $(basename "$archive")"
