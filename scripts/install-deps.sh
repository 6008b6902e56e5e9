#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need, if any is missing.
set -euo pipefail
packages=(
    build-essential cmake pkg-config clang clang-format
    help2man lintian appstream desktop-file-utils imagemagick
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libsqlcipher-dev
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
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
