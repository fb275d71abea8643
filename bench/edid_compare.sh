#!/usr/bin/env bash
# Decoding speed of the console's EDID decoder next to edid-decode, over the same real
# EDIDs, in one run: the in-process figure from Google Benchmark (edid_bench), then both
# programs started once per file for PASSES passes over all files (process start-up
# included, so these two figures compare like with like).
# Usage: bench/edid_compare.sh [BUILD_DIR] [PASSES]     (SC_EDID_CORPUS: another corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
passes=${2:-5}
corpus=${SC_EDID_CORPUS:-$PWD/../shared/edid-corpus}
ulimit -c 0  # edid-decode aborts on one corpus file; no core dumps

if ! command -v edid-decode >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq edid-decode
fi
if [ ! -x "$build/bench/edid_bench" ] || [ ! -x "$build/cli/signal-edid" ]; then
  cmake -S . -B "$build" -G Ninja -DSC_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target edid_bench signal-edid -j 2
fi

shopt -s nullglob
files=("$corpus"/*.bin)
count=${#files[@]}
if [ "$count" -eq 0 ]; then
  echo "no .bin files in $corpus" >&2
  exit 1
fi

# items_per_second of one benchmark from Google Benchmark's JSON output.
json=$(SC_EDID_CORPUS="$corpus" "$build/bench/edid_bench" --benchmark_format=json 2>/dev/null)
rate_of() {
  echo "$json" | awk -v name="\"$1\"" '
    $1 == "\"name\":" && $2 == name "," { found = 1 }
    found && $1 == "\"items_per_second\":" { sub(",", "", $2); printf "%.0f", $2; exit }'
}

# Images per second of a program started once per file, PASSES times over the corpus.
per_process() {
  local start end
  start=$(date +%s%N)
  for ((p = 0; p < passes; p++)); do
    for f in "${files[@]}"; do
      "$@" "$f" >/dev/null 2>&1 || true
    done
  done
  end=$(date +%s%N)
  awk -v n=$((passes * count)) -v ns=$((end - start)) 'BEGIN { printf "%.0f", n * 1e9 / ns }'
}

console=$(rate_of BM_ShowEdidCorpus)
console_load=$(rate_of BM_LoadAndShowEdidCorpus)
signal_edid=$(per_process "$build/cli/signal-edid")
edid_decode=$(per_process edid-decode)

echo "EDID decoding, $count images from $corpus"
printf '  %-58s %12s images/s\n' \
  "console ShowEdid, in process (edid_bench)" "$console" \
  "console file read + ShowEdid, in process (edid_bench)" "$console_load" \
  "signal-edid, one process per file ($passes passes)" "$signal_edid" \
  "edid-decode, one process per file ($passes passes)" "$edid_decode"
version=$(dpkg-query -W -f='${Version}' edid-decode 2>/dev/null || true)
[ -n "$version" ] && echo "  (edid-decode $version)"
true
