#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer)
# in build-fuzz, writes their seed corpora and runs each of them.
#   scripts/fuzz.sh                 each target for SC_FUZZ_SECONDS (default 6) seconds
#   scripts/fuzz.sh --runs N        each target for N executions (a long run)
#   scripts/fuzz.sh --only NAME ... only the named targets
#   scripts/fuzz.sh --max-len N     inputs of at most N bytes (default 4096)
# A finding stops the run and leaves its input in build-fuzz/findings/; the corpora grow
# in build-fuzz/corpus/<target>/ and are kept between runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

runs=
seconds=${SC_FUZZ_SECONDS:-6}
only=()
maxLen=4096
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --only) only+=("$2"); shift 2 ;;
    --max-len) maxLen=$2; shift 2 ;;
    *) echo "fuzz.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSC_FUZZ=ON -DSC_GUI=OFF -DSC_TESTS=OFF -DSC_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzzers

mkdir -p "$build/corpus" "$build/findings"
"$build/fuzz/fuzz-seeds" "$build/corpus"
targets=("${only[@]}")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(cd "$build/fuzz" && ls fuzz_* | grep -v '\.' | sort)
fi

# The targets write their input files to a scratch directory: memory is faster than disk.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in "${targets[@]}"; do
  limit=(-max_total_time="$seconds")
  [ -n "$runs" ] && limit=(-runs="$runs")
  echo "== $target ${limit[*]}"
  log="$build/findings/$target.log"
  if "$build/fuzz/$target" "${limit[@]}" -max_len="$maxLen" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
       "$build/corpus/$target" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$log" | tr '\n' ' '
    echo "findings: 0"
  else
    status=1
    tail -40 "$log"
    echo "$target: FINDING (input in $build/findings/)"
  fi
done
exit "$status"
