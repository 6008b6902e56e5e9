#!/usr/bin/env bash
# Builds the Debian package from a stripped Release build (default build/package), checks the
# desktop entry, the AppStream metainfo and the package (lintian), and installs it into a
# scratch root to run the programs. Prints the package path.
# usage: scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${1:-build/package}
jobs=${JOBS:-$(nproc)}

# Debian's optimisation level (-O2) and hardening flags (fortified functions, stack protector,
# full RELRO, bind now); no -g, the package carries no debug symbols, and no compiler
# identification section.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS) -fno-ident"
ldflags=$(dpkg-buildflags --get LDFLAGS)

echo "== Release build in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUORVELL_WERROR=ON -DQUORVELL_TESTS=OFF -DQUORVELL_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"
rm -f "$build"/quorvell_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quorvell_*.deb)

echo "== desktop entry and AppStream metainfo"
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg -x "$deb" "$contents"
desktop-file-validate "$contents"/usr/share/applications/*.desktop
appstreamcli validate --no-net --explain "$contents"/usr/share/metainfo/*.metainfo.xml

echo "== lintian"
# Every tag down to "info" is shown; errors fail the script. The overrides shipped in the
# package are explained in README.md.
status=0
report=$(lintian --fail-on error --display-info "$deb" 2>&1) || status=$?
grep -v '^running with root privileges' <<<"$report" || true
echo "lintian: $(grep -c '^E:' <<<"$report") errors, $(grep -c '^W:' <<<"$report") warnings," \
    "$(grep -c '^I:' <<<"$report") notes"
[ "$status" -eq 0 ] || exit "$status"

echo "== install test"
scripts/install-test.sh "$deb"

echo "package: $deb ($(dpkg-deb -f "$deb" Installed-Size) KiB installed; the panel \
$(($(stat -c %s "$contents/usr/bin/quorvell") / 1024)) KiB)"
