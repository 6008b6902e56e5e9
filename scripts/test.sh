#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test: the normal build, the Debian package
# (dpkg-buildpackage, lintian and an install test), the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short run of every fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=${JOBS:-$(nproc)}
export QT_QPA_PLATFORM=offscreen
# A compiler cache, when present, makes a rebuild on the same machine take seconds; paths are taken
# relative to the checkout so that two clones share it.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
    export CCACHE_SLOPPINESS=include_file_mtime,include_file_ctime,time_macros
fi

# The suites run in a network namespace of their own with only loopback up, where one can be
# made (as root): nothing a test does can reach another host or ask a name server, and two
# suites on one machine never meet on a port. Elsewhere they run as they are.
loopback_only() {
    if [ "$(id -u)" -eq 0 ] && unshare -n ip link set lo up 2>/dev/null; then
        unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
    else
        "$@"
    fi
}

echo "== formatting (clang-format)"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files '*.cpp' '*.h'
else
    find app bench cli controls fuzz link pages presets resources sim tests tuning -name '*.cpp' -o -name '*.h'
fi | xargs clang-format --dry-run --Werror

echo "== licence lines (SPDX)"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    scripts/spdx.sh
fi

echo "== build (default preset)"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
echo "== tests"
loopback_only ctest --preset default -j "$jobs"

if [ "${QUORVELL_SKIP_PACKAGE:-0}" != 1 ]; then
    echo "== Debian package (dpkg-buildpackage, lintian, install test)"
    # The suite has just run; the package build compiles with Debian's flags but does not run
    # it a second time (scripts/package.sh without nocheck does).
    DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" scripts/package.sh
fi

if [ "${QUORVELL_SKIP_ASAN:-0}" != 1 ]; then
    echo "== build (asan preset)"
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$jobs"
    echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    loopback_only ctest --preset asan -j "$jobs"
fi

if [ "${QUORVELL_SKIP_FUZZ:-0}" != 1 ]; then
    echo "== fuzzers (short run each)"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$jobs" --target fuzzers
    for fuzzer in build/fuzz/fuzz/fuzz_* build/fuzz/fuzz/*/fuzz_*; do
        [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
        "$fuzzer" -max_total_time="${FUZZ_SECONDS:-15}" -max_len=2048 -print_final_stats=0 \
            >/dev/null 2>"build/fuzz/$(basename "$fuzzer").log" ||
            { echo "fuzzer $(basename "$fuzzer") failed:"; tail -30 "build/fuzz/$(basename "$fuzzer").log"; exit 1; }
        echo "$(basename "$fuzzer"): ok"
    done
fi
echo "== all tests passed"
