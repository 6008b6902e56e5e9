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

# Starts the simulator in the background (sim_pid) and waits until it says it listens. When it
# exits first (its address and port in use, say), its message is printed and the script stops
# with status 1, rather than driving whatever else answers there.
start_sim() {
    sim_log=$(mktemp)
    "$@" >"$sim_log" 2>&1 &
    sim_pid=$!
    tries=0
    until grep -q " listening on " "$sim_log"; do
        if ! kill -0 "$sim_pid" 2>/dev/null || [ "$tries" -ge 100 ]; then
            cat "$sim_log" >&2
            echo "${0##*/}: the simulator did not start" >&2
            kill "$sim_pid" 2>/dev/null || true
            rm -f "$sim_log"
            exit 1
        fi
        tries=$((tries + 1))
        sleep 0.1
    done
    cat "$sim_log"
    rm -f "$sim_log"
}

sim=$(find_program sim quorvell-sim)
panel=$(find_program app quorvell)
mkdir -p "$data"

start_sim "$sim" --address 127.0.0.2 --port "$port" --name DEMO
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT INT TERM

echo "demo: simulator pid $sim_pid on 127.0.0.2:$port, data in $data"
"$panel" --bind 127.0.0.1 --device 127.0.0.2 --port "$port" --data-dir "$data" --connect "$@"
