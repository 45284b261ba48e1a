#!/usr/bin/env bash
# Installs the missing Debian packages, then configures and builds Keyfold in ./build.
#   tools/setup.sh program   what building and running the program need, and its targets
#   tools/setup.sh           everything: the tests, benchmarks and tools too (test.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
mode="${1:-all}"

if [ "$mode" = program ]; then
  list="$(sed '/^## tests/q' tools/debian-packages.txt)"
else
  list="$(cat tools/debian-packages.txt)"
fi
mapfile -t wanted < <(grep -v -e '^#' -e '^[[:space:]]*$' <<<"$list")
missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

generator=()
if command -v ninja >/dev/null 2>&1 && [ ! -f build/Makefile ]; then generator=(-G Ninja); fi
options=(-DCMAKE_BUILD_TYPE="${KEYFOLD_BUILD_TYPE:-RelWithDebInfo}")
if [ "$mode" = program ]; then
  # A build folder that test.sh configured keeps its tests; a new one leaves them out, as
  # their packages are not installed.
  if [ ! -f build/CMakeCache.txt ]; then options+=(-DKEYFOLD_BUILD_TESTS=OFF -DKEYFOLD_BUILD_BENCH=OFF); fi
  cmake -S . -B build "${generator[@]}" "${options[@]}" >/dev/null
  cmake --build build --parallel "$(nproc)" --target keyfold keyfold-cli
else
  # The test run builds with every warning an error; ./run.sh's program build does not.
  options+=(-DKEYFOLD_BUILD_TESTS=ON -DKEYFOLD_BUILD_BENCH=ON -DKEYFOLD_WERROR=ON)
  cmake -S . -B build "${generator[@]}" "${options[@]}" >/dev/null
  cmake --build build --parallel "$(nproc)"
fi
