#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, testing and the demo need, if any is missing.
set -euo pipefail
packages=(
    build-essential cmake pkg-config clang clang-format
    help2man lintian appstream desktop-file-utils imagemagick
    debhelper dpkg-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libsqlcipher-dev libarchive-dev
    libnlopt-cxx-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth ccache
    qt6-httpserver-dev qt6-websockets-dev
    chromium chromium-driver python3-selenium
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# Runs apt-get; while another program (an update, a second install) holds the package
# manager's lock, says so once and tries again every few seconds, for up to 5 minutes.
apt_wait() {
    local deadline=$((SECONDS + ${QUORVELL_LOCK_WAIT:-300})) said="" out
    while :; do
        if out=$($sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@" 2>&1); then
            [ -z "$out" ] || printf '%s\n' "$out"
            return 0
        fi
        if ! grep -qiE "could not get lock|unable to acquire|unable to lock" <<<"$out"; then
            printf '%s\n' "$out" >&2
            return 1
        fi
        if [ "$SECONDS" -ge "$deadline" ]; then
            printf '%s\n' "$out" >&2
            echo "install-deps: the package manager stayed locked; try again when it is free" >&2
            return 1
        fi
        [ -n "$said" ] || echo "install-deps: another program holds the package manager's lock; waiting (up to 5 minutes)"
        said=1
        sleep "${QUORVELL_LOCK_POLL:-5}"
    done
}

echo "Installing: ${missing[*]}"
apt_wait update -qq
apt_wait install -y -qq --no-install-recommends "${missing[@]}"
