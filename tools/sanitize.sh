#!/usr/bin/env bash
# Builds the Qt-free code (vault, output) and its unit tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in ./build-asan and runs them. Any report fails the run.
# Usage: tools/sanitize.sh [extra ctest arguments]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
generator=()
if command -v ninja >/dev/null 2>&1 && [ ! -f build-asan/Makefile ]; then generator=(-G Ninja); fi
cmake -S . -B build-asan "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DKEYFOLD_WITH_QT=OFF -DKEYFOLD_SANITIZE=ON -DKEYFOLD_BUILD_BENCH=OFF -DKEYFOLD_WERROR=ON >/dev/null
cmake --build build-asan --parallel "$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd build-asan
ctest -L unit --output-on-failure --timeout 600 "$@"
