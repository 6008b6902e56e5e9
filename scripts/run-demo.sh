#!/usr/bin/env bash
# Installs what is missing, builds the panel and the simulator, and runs the demo: a
# simulated processor on 127.0.0.2 and the panel connected to it from 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-$(nproc)}" --target quorvell quorvell-sim quorvell-cli
exec scripts/demo.sh build/default "${TMPDIR:-/tmp}/quorvell-demo" "$@"
