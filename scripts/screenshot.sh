#!/usr/bin/env bash
# Takes docs/main-window.png: the console's main window on a virtual X screen
# (xvfb-run), its link up to the simulated box on COM1, the received signal in the
# panel and on the Timing page. Usage:
#   scripts/screenshot.sh [OUTPUT.png] [--start|--edid|--log]
#   --start: the window as it opens; --edid: the box's EDID read on the EDID page;
#   --log: the traffic log of the link coming up, as docs/traffic-log.png
set -euo pipefail
cd "$(dirname "$0")/.."
output=docs/main-window.png
mode=(--link-up)
for arg in "$@"; do
  case "$arg" in
    --start) mode=() ;;
    --edid) mode=(--tab 3 --read-edid) ;;
    --log) mode=(--link-up --log docs/traffic-log.png) ;;
    *) output=$arg ;;
  esac
done

bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target main-window-snapshot signal-box-sim

source scripts/sim-lib.sh
start_sim build/sim/signal-box-sim
mkdir -p "$(dirname "$output")"
# The console runs where run.sh runs it, so the status bar names the same files folder.
root=$PWD
files=${SIGNAL_CONSOLE_FILES:-${HOME:-/tmp}/signal-console}
mkdir -p "$files"
case "$output" in /*) ;; *) output=$root/$output ;; esac
for i in "${!mode[@]}"; do
  case "${mode[$i]}" in docs/*) mode[$i]=$root/${mode[$i]} ;; esac
done
(cd "$files" && SIGNAL_CONSOLE_PORTS="1=$SIM_PTY" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/tests/gui/main-window-snapshot" "$output" \
  "${mode[@]}")
echo "Saved $output"
