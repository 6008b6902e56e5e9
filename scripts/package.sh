#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian source and binary packages with dpkg-buildpackage from a clean copy of the
# tracked files (in BUILD_DIR, default build/package), checks them with lintian (errors and
# warnings fail), validates the desktop entry and the AppStream metainfo, and runs the install
# test. DEB_BUILD_OPTIONS=nocheck skips the test suite inside the package build (scripts/test.sh
# does so, having just run it). Prints the .changes file.
# usage: scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=$(realpath -m "${1:-build/package}")
version=$(dpkg-parsechangelog -S Version)
src=$build/quorvell-$version

echo "== source copy in $src"
rm -rf "$build"
mkdir -p "$src"
git ls-files -z --cached --others --exclude-standard | grep -zv '^build/' |
    xargs -0 tar -cf - --no-recursion | tar -xf - -C "$src"

echo "== dpkg-buildpackage"
# A compiler cache, when the caller uses one, sees paths relative to the copy.
export CCACHE_BASEDIR=$src
(cd "$src" && dpkg-buildpackage -us -uc -j"${JOBS:-2}" >"$build/build.log" 2>&1) ||
    { tail -40 "$build/build.log"; exit 1; }
changes=$(ls "$build"/quorvell_"$version"_*.changes)

echo "== desktop entry and AppStream metainfo"
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
for deb in "$build"/*.deb; do dpkg -x "$deb" "$contents"; done
desktop-file-validate "$contents"/usr/share/applications/*.desktop
appstreamcli validate --pedantic --no-net --explain "$contents"/usr/share/metainfo/*.metainfo.xml

echo "== lintian"
# Every tag down to "info" is shown; errors and warnings fail. Each override shipped in
# debian/*.lintian-overrides carries its reason.
lintian --fail-on error,warning --display-info "$changes"

echo "== install test"
scripts/install-test.sh "$build"/quorvell_"$version"_*.deb "$build"/quorvell-cli_"$version"_*.deb \
    "$build"/quorvell-sim_"$version"_*.deb
echo "package: $changes"
