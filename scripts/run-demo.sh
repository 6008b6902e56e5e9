#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the panel and the simulator, and runs the demo: a
# simulated processor on 127.0.0.2 and the panel connected to it from 127.0.0.1.
# Without a display it runs the demo once under a virtual X server (xvfb-run), saves a
# screenshot of the connected panel and shows the simulator answering "quorvell-cli show".
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/default
data=${TMPDIR:-/tmp}/quorvell-demo
port=${QUORVELL_DEMO_PORT:-39060}

. scripts/start-sim.sh

# Under xvfb-run (started below): simulator, panel, screenshot, CLI, then both stopped.
if [ "${QUORVELL_DEMO_HEADLESS:-}" = 1 ]; then
    shot=$QUORVELL_DEMO_SCREENSHOT
    mkdir -p "$data" "$(dirname "$shot")"
    start_sim "$build/sim/quorvell-sim" --address 127.0.0.2 --port "$port" --name DEMO
    "$build/app/quorvell" --bind 127.0.0.1 --device 127.0.0.2 --port "$port" \
        --data-dir "$data" --connect "$@" &
    panel_pid=$!
    trap 'kill "$panel_pid" "$sim_pid" 2>/dev/null || true; wait 2>/dev/null || true' EXIT
    sleep "${QUORVELL_DEMO_WAIT:-4}"  # start-up, connect and the processor's full state
    kill -0 "$panel_pid" 2>/dev/null || { echo "run-demo: the panel exited early" >&2; exit 1; }
    import -window Quorvell "$shot" 2>/dev/null || import -window root "$shot"
    echo "run-demo: screenshot of the connected panel: $shot"
    echo "run-demo: the simulator answering quorvell-cli --bind 127.0.0.3 --device 127.0.0.2 show:"
    "$build/cli/quorvell-cli" --bind 127.0.0.3 --device 127.0.0.2 --port "$port" show
    exit
fi

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-$(nproc)}" --target quorvell quorvell-sim quorvell-cli

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec scripts/demo.sh "$build" "$data" "$@"
fi
if ! command -v xvfb-run >/dev/null || ! command -v import >/dev/null; then
    cat >&2 <<'TEXT'
run-demo: no display (DISPLAY and WAYLAND_DISPLAY are unset), so the panel cannot open a window.
Run this from a desktop session, log in with "ssh -X", or install a virtual X server and a
screenshot tool (sudo apt-get install xvfb xauth imagemagick) to run the demo headless.
TEXT
    exit 1
fi
shot=$(realpath -m "${QUORVELL_DEMO_SCREENSHOT:-$data/screenshot.png}")
echo "run-demo: no display; running the demo once under xvfb-run"
QUORVELL_DEMO_HEADLESS=1 QUORVELL_DEMO_SCREENSHOT=$shot \
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
