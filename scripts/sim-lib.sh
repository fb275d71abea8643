# Sourced by run.sh and screenshot.sh: starts signal-box-sim on a new pseudo-terminal and
# ends it when the calling script exits.
#   start_sim PROGRAM [OPTIONS...]   sets SIM_PTY to the box's line (its first output line)

start_sim() {
  # A co-process: its standard input stays open (the box serves until it closes) and its
  # first output line is the path of the line.
  coproc SIM_PROC { exec "$@"; }
  SIM_PID=$SIM_PROC_PID
  SIM_IN=${SIM_PROC[1]}
  trap stop_sim EXIT
  if ! read -r -t 15 -u "${SIM_PROC[0]}" SIM_PTY || [ -z "$SIM_PTY" ]; then
    echo "$(basename "$0"): the simulated box did not start" >&2
    exit 1
  fi
}

stop_sim() {
  [ -n "${SIM_PID:-}" ] || return 0
  # Closing its input ends the box; a box that does not go is stopped.
  exec {SIM_IN}>&- 2>/dev/null || true
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=
}
