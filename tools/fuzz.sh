#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang (ASan + UBSan) in ./build-fuzz
# and runs them, starting from their seeds (built by code) and their saved regressions
# (tests/fuzz/regressions/<harness>/).
#
# Usage:
#   tools/fuzz.sh --fixed [harness...]    the run ./test.sh makes: the seeds and regressions,
#                                         then mutations from a fixed seed for a fixed number
#                                         of executions. Nothing depends on time or chance:
#                                         the same commit always executes the same inputs.
#   tools/fuzz.sh SECONDS [harness...]    random fuzzing for SECONDS (a whole number above 0)
#                                         per harness; each run draws a new random seed.
# Harnesses: cipher datafile legacy sealed settings import channel (all when none is named).
#
# A finding stops that harness, keeps the input in build-fuzz/findings/<harness>/ and makes
# the script fail. Replay it with build-fuzz/tests/fuzz/fuzz_<harness> <file>; once fixed,
# copy it into tests/fuzz/regressions/<harness>/ so every test run replays it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

usage() {
  sed -n 's/^# \{0,1\}//; 6,13p' "${BASH_SOURCE[0]}" >&2
  exit 2
}
[ $# -gt 0 ] || usage
mode="$1"
shift
seconds=""
case "$mode" in
  --fixed) ;;
  *)
    # libFuzzer reads -max_total_time=0 as "no limit": a run that never ends.
    if ! [[ "$mode" =~ ^[1-9][0-9]*$ ]]; then
      echo "tools/fuzz.sh: SECONDS must be a whole number above 0, not '$mode'" >&2
      usage
    fi
    seconds="$mode"
    ;;
esac
all=(cipher datafile legacy sealed settings import channel)
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=("${all[@]}")
for h in "${harnesses[@]}"; do
  if [[ " ${all[*]} " != *" $h "* ]]; then
    echo "tools/fuzz.sh: no harness '$h' (harnesses: ${all[*]})" >&2
    exit 2
  fi
done

# Executions of the fixed run per harness, a few seconds each on a 2-core machine.
fixed_runs() {
  case "$1" in
    cipher) echo 100000 ;;
    datafile) echo 25000 ;;
    legacy) echo 40000 ;;
    sealed) echo 40000 ;;
    settings) echo 20000 ;;
    import) echo 10000 ;;
    channel) echo 100000 ;;
  esac
}
fixed_seed=1

generator=()
if command -v ninja >/dev/null 2>&1 && [ ! -f build-fuzz/Makefile ]; then generator=(-G Ninja); fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKEYFOLD_WITH_QT=OFF -DKEYFOLD_FUZZ=ON -DKEYFOLD_BUILD_BENCH=OFF -DKEYFOLD_WERROR=ON >/dev/null
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h" "fuzz_${h}_replay"); done
cmake --build build-fuzz --parallel "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The fixed run starts each harness alike every time: the same small environment and, where
# the system allows it, no address randomisation (some library code branches on the order
# of two addresses, which would change the coverage and so the inputs that follow).
fixed_runner=(timeout 1200 env -i PATH="$PATH" ASAN_OPTIONS="$ASAN_OPTIONS" UBSAN_OPTIONS="$UBSAN_OPTIONS")
if [ -z "$seconds" ]; then
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    fixed_runner+=(setarch "$(uname -m)" -R)
  else
    echo "tools/fuzz.sh: warning: address randomisation cannot be turned off here;" \
         "the fixed run may take other inputs after the seeds and regressions" >&2
  fi
fi
status=0
summary=()
for h in "${harnesses[@]}"; do
  work="build-fuzz/work/$h"
  regressions="tests/fuzz/regressions/$h"
  rm -rf "$work" && mkdir -p "$work/corpus" "build-fuzz/findings/$h"
  "build-fuzz/tests/fuzz/fuzz_${h}_replay" --write-seeds "$work/seeds" >/dev/null
  max_len=4096
  case "$h" in datafile|legacy) max_len=12000 ;; esac
  common=(-max_len="$max_len" -rss_limit_mb=1024 -print_final_stats=1
          -artifact_prefix="build-fuzz/findings/$h/")
  [ -f "tests/fuzz/$h.dict" ] && common+=(-dict="tests/fuzz/$h.dict")
  log="$work/fuzz.log"
  if [ -n "$seconds" ]; then
    echo "fuzzing $h for ${seconds}s"
    # New inputs go to the first folder; the seeds and the regressions are only read.
    args=("$work/corpus" "$work/seeds" "$regressions" -max_total_time="$seconds" -timeout=30)
  else
    runs="$(fixed_runs "$h")"
    echo "fuzzing $h: seed $fixed_seed, $runs executions"
    # The starting inputs as one sorted list, not as folders (the order a folder lists
    # its files in differs between file systems), and no corpus folder to reload from.
    find "$work/seeds" "$regressions" -type f | LC_ALL=C sort | paste -sd, - >"$work/inputs.txt"
    # Comparison operands as mutation material (-use_cmp) would bring in addresses, which
    # differ from run to run; the dictionary gives the tokens that matter instead. No timer
    # for slow inputs (its signal could break into a system call and change the path
    # taken); a hang is stopped after 20 minutes instead.
    args=(-seed_inputs=@"$work/inputs.txt" -seed="$fixed_seed" -runs="$runs" -reload=0 -use_cmp=0 -timeout=0)
  fi
  runner=()
  [ -n "$seconds" ] || runner=("${fixed_runner[@]}")
  if "${runner[@]}" "build-fuzz/tests/fuzz/fuzz_$h" "${args[@]}" "${common[@]}" >"$log" 2>&1; then
    result="no finding"
  else
    result="FINDING (see $log and build-fuzz/findings/$h/)"
    status=1
    tail -40 "$log"
  fi
  executed="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  seed="$(sed -n 's/^INFO: Seed: *//p' "$log" | head -1)"
  cov="$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*' "$log" | tail -1 || true)"
  summary+=("$(printf '%-9s seed %-10s %9s executions  %-28s  %s' "$h" "${seed:-?}" "${executed:-?}" "${cov:-}" "$result")")
done
printf '%s\n' "${summary[@]}"
exit $status
