#!/usr/bin/env bash
# Builds the console and the simulated box, starts the box on a pseudo-terminal as COM1
# and runs the console on it. Closing the console ends the box.
# Extra arguments go to signal-box-sim (e.g. --signal 720p60; see --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target signal-console signal-box-sim

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'TEXT'
run.sh: no display to show the console on (DISPLAY and WAYLAND_DISPLAY are unset).
Run it from a desktop session or over ssh -X. Without a screen, a virtual one works:
  xvfb-run -a bash scripts/run.sh
(the console then runs unseen until Ctrl+C), and bash scripts/screenshot.sh takes a
picture of the main window.
TEXT
  exit 1
fi

source scripts/sim-lib.sh
start_sim build/sim/signal-box-sim "$@"
echo "Simulated box on $SIM_PTY, mapped to COM1. Click the link icon or press Search Machine."
export SIGNAL_CONSOLE_PORTS="1=$SIM_PTY"
status=0
build/app/signal-console || status=$?
exit "$status"
