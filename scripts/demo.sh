#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts a simulated processor on 127.0.0.2 and the panel talking to it from 127.0.0.1.
# The simulator is stopped when the panel exits. Usage: scripts/demo.sh [BUILD_DIR [DATA_DIR [panel options...]]]
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build/default"}
data=${2:-"${TMPDIR:-/tmp}/quorvell-demo"}
port=${QUORVELL_DEMO_PORT:-39060}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift

find_program() {
    for candidate in "$build/$1/$2" "$build/$2"; do
        if [ -x "$candidate" ]; then
            echo "$candidate"
            return 0
        fi
    done
    command -v "$2" || { echo "demo: $2 not found under $build; build it first" >&2; exit 1; }
}

. "$here/scripts/start-sim.sh"

sim=$(find_program sim quorvell-sim)
panel=$(find_program app quorvell)
mkdir -p "$data"

start_sim "$sim" --address 127.0.0.2 --port "$port" --name DEMO
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT INT TERM

echo "demo: simulator pid $sim_pid on 127.0.0.2:$port, data in $data"
"$panel" --bind 127.0.0.1 --device 127.0.0.2 --port "$port" --data-dir "$data" --connect "$@"
