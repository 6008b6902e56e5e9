# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the demo scripts (POSIX sh).

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
