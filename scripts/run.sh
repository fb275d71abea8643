#!/usr/bin/env bash
# Builds the console and the simulated box, starts the box on a pseudo-terminal as COM1
# and runs the console on it; lines typed in the terminal are the box's commands. Closing
# the console ends the box.
# Extra arguments go to signal-box-sim (e.g. --signal 720p60; see --help).
# The console runs in its own working folder, where the files it saves go (EDID files,
# monitor reports, pictures): $SIGNAL_CONSOLE_FILES, or ~/signal-console.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
files=${SIGNAL_CONSOLE_FILES:-${HOME:-/tmp}/signal-console}

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
echo "Lines typed here go to the simulated box ('help' lists its commands)."
mkdir -p "$files"
echo "Files the console saves go to $files (set SIGNAL_CONSOLE_FILES for another folder)."
export SIGNAL_CONSOLE_PORTS="1=$SIM_PTY"
(cd "$files" && exec "$root/build/app/signal-console") &
console=$!
# The terminal's lines go to the box while the console runs; at the end of the input
# (or without one) the console just runs on.
while kill -0 "$console" 2>/dev/null; do
  if IFS= read -r -t 0.5 line; then
    printf '%s\n' "$line" >&"$SIM_IN" || break
  elif [ $? -le 128 ]; then
    break
  fi
done
status=0
wait "$console" || status=$?
exit "$status"
