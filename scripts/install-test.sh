#!/usr/bin/env bash
# Unpacks a built Debian package into a scratch root (dpkg -x) and runs the installed programs
# from it as an ordinary user would: the versions, the simulator's help, the panel's version
# without a display, and a preset stored by the CLI landing in the per-user data folder.
# usage: scripts/install-test.sh quorvell_VERSION_ARCH.deb
set -euo pipefail
deb=$(realpath "$1")
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
root=$scratch/root
home=$scratch/home
mkdir -p "$root" "$home"
dpkg -x "$deb" "$root"
bin=$root/usr/bin
version=$(dpkg-deb -f "$deb" Version)
version=${version%-*}  # upstream part, without the Debian revision

fail() {
    echo "install test: $*" >&2
    exit 1
}

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

out=$(run "$bin/quorvell-cli" --version) || fail "quorvell-cli --version failed"
[ "$out" = "quorvell-cli $version" ] || fail "quorvell-cli --version printed '$out'"
out=$(run "$bin/quorvell-sim" --help) || fail "quorvell-sim --help failed"
grep -q -- '--address' <<<"$out" || fail "quorvell-sim --help lacks --address: $out"
out=$(run "$bin/quorvell" --version) || fail "quorvell --version failed without a display"
[ "$out" = "quorvell $version" ] || fail "quorvell --version printed '$out'"

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
echo "install test: $(basename "$deb"): programs run from the package; presets in \$HOME/.local/share/Quorvell/Quorvell"
