#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Unpacks the built Debian packages into a scratch root (dpkg -x) and runs the installed programs
# from it as an ordinary user would: the versions, the simulator's help, the panel's version
# without a display, and a preset stored by the CLI landing in the per-user data folder even
# when a Quorvel.mdb lies beside the installed programs.
# usage: scripts/install-test.sh quorvell_V_A.deb quorvell-cli_V_A.deb quorvell-sim_V_A.deb
set -euo pipefail
debs=()
for deb in "$@"; do debs+=("$(realpath "$deb")"); done
deb=${debs[0]}
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
root=$scratch/root
home=$scratch/home
mkdir -p "$root" "$home"
for d in "${debs[@]}"; do dpkg -x "$d" "$root"; done
bin=$root/usr/bin
version=$(dpkg-deb -f "$deb" Version)
version=${version%-*}  # upstream part, without the Debian revision

fail() {
    echo "install test: $*" >&2
    exit 1
}

# An installed program never takes its own folder for the data folder, even when it holds a
# database there.
head -c 64 /dev/zero >"$bin/Quorvel.mdb"
# An installed program cannot write beside itself; as root (where permissions do not stop
# writes) the programs run as nobody instead.
chmod -R a-w "$root/usr"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown 65534:65534 "$home"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
run() {
    "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@"
}

out=$(run "$bin/quorvell-cli" --version | head -1) || fail "quorvell-cli --version failed"
[ "$out" = "quorvell-cli $version" ] || fail "quorvell-cli --version printed '$out'"
out=$(run "$bin/quorvell-sim" --help) || fail "quorvell-sim --help failed"
grep -q -- '--address' <<<"$out" || fail "quorvell-sim --help lacks --address: $out"
out=$(run "$bin/quorvell" --version) || fail "quorvell --version failed without a display"
[ "$(head -1 <<<"$out")" = "quorvell $version" ] || fail "quorvell --version printed '$out'"
grep -q 'GPL version 3 or later' <<<"$out" || fail "quorvell --version names no licence: $out"

# The per-user application data folder: QStandardPaths::AppDataLocation with organisation and
# application "Quorvell", XDG_DATA_HOME unset.
data=$home/.local/share/Quorvell/Quorvell
head -c 768 /dev/zero >"$scratch/preset.dat"
chmod 644 "$scratch/preset.dat"
run "$bin/quorvell-cli" preset import "$scratch/preset.dat" >/dev/null ||
    fail "quorvell-cli preset import failed"
[ -f "$data/Quorvel.mdb" ] || fail "no preset database in $data: $(find "$home" "$root" -newer "$deb" -type f)"
[ -f "$data/SAVE1.dat" ] || fail "no preset data file in $data: $(ls -A "$data")"
out=$(run "$bin/quorvell-cli" preset list) || fail "quorvell-cli preset list failed"
grep -q 'SAVE1.dat' <<<"$out" || fail "preset list does not show the imported preset: $out"
[ "$(stat -c %s "$bin/Quorvel.mdb")" -eq 64 ] || fail "the installed programs changed $bin/Quorvel.mdb"
echo "install test: ${#debs[@]} packages: programs run from the package; presets in \$HOME/.local/share/Quorvell/Quorvell"
