#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang (ASan + UBSan) in ./build-fuzz
# and runs each for SECONDS (default 15), starting from its seeds built by code.
# A finding stops that harness, keeps the input in build-fuzz/findings/<harness>/ and
# makes the script fail; copy it into tests/fuzz/regressions/<harness>/ once fixed.
# Usage: tools/fuzz.sh [SECONDS] [harness...]   (harnesses: cipher datafile legacy settings)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
seconds="${1:-15}"
shift || true
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(cipher datafile legacy settings)

generator=()
if command -v ninja >/dev/null 2>&1 && [ ! -f build-fuzz/Makefile ]; then generator=(-G Ninja); fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKEYFOLD_WITH_QT=OFF -DKEYFOLD_FUZZ=ON -DKEYFOLD_BUILD_BENCH=OFF >/dev/null
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h" "fuzz_${h}_replay"); done
cmake --build build-fuzz --parallel "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
summary=()
for h in "${harnesses[@]}"; do
  work="build-fuzz/work/$h"
  rm -rf "$work" && mkdir -p "$work/corpus" "build-fuzz/findings/$h"
  "build-fuzz/tests/fuzz/fuzz_${h}_replay" --write-seeds "$work/seeds" >/dev/null
  max_len=4096
  case "$h" in datafile|legacy) max_len=12000 ;; esac
  log="$work/fuzz.log"
  echo "fuzzing $h for ${seconds}s"
  if "build-fuzz/tests/fuzz/fuzz_$h" "$work/corpus" "$work/seeds" -max_total_time="$seconds" \
       -max_len="$max_len" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
       -artifact_prefix="build-fuzz/findings/$h/" >"$log" 2>&1; then
    result="no finding"
  else
    result="FINDING (see $log and build-fuzz/findings/$h/)"
    status=1
    tail -40 "$log"
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  cov="$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)"
  summary+=("$(printf '%-9s %10s executions  %-9s  %s' "$h" "${runs:-?}" "${cov:-}" "$result")")
done
printf '%s\n' "${summary[@]}"
exit $status
