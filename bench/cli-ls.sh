#!/usr/bin/env bash
# `keyfold-cli ls` on a full data file (999 entries under a 20-character phrase) against
# its floor: `cat` of the same file plus the start of a bare QtCore program. Each is run
# N times in turn (default 31), the medians are compared: ratio = ls / (cat + bare).
# Usage: bench/cli-ls.sh [build folder] [runs]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
runs="${2:-31}"
cli="$build/app/keyfold-cli"
bare="$build/bench/keyfold_bare_qtcore"
. "$root/bench/common.sh"
requireBuilt "$cli" "$bare" "$build/bench/keyfold_make_data_file"
work="$(benchFolder)"
trap 'rm -rf "$work"' EXIT
fullDataFileIn "$work"
printf '%s\n' "$phrase" > "$work/phrase"

# Microseconds of one run of the command.
us() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}

lines="$("$cli" --phrase-stdin --file "$file" ls < "$work/phrase" | wc -l)"
[ "$lines" -eq 999 ] || { echo "ls listed $lines names, not 999" >&2; exit 1; }
for _ in $(seq "$runs"); do
  echo "cat $(us cat "$file")"
  echo "bare $(us "$bare")"
  echo "ls $(us sh -c '"$0" --phrase-stdin --file "$1" ls < "$2"' "$cli" "$file" "$work/phrase")"
  echo "sh $(us sh -c 'true < "$0"' "$work/phrase")"
done > "$work/times"
cat_us=$(awk '$1 == "cat" {print $2}' "$work/times" | median)
bare_us=$(awk '$1 == "bare" {print $2}' "$work/times" | median)
ls_sh_us=$(awk '$1 == "ls" {print $2}' "$work/times" | median)
sh_us=$(awk '$1 == "sh" {print $2}' "$work/times" | median)
# The shell that feeds the phrase is taken off the ls time.
ls_us=$(awk -v a="$ls_sh_us" -v b="$sh_us" 'BEGIN {print a - b}')
echo "runs: $runs (medians)"
echo "cat of the data file:        $cat_us us"
echo "bare QtCore program start:   $bare_us us"
echo "keyfold-cli ls (999 names):  $ls_us us"
awk -v l="$ls_us" -v c="$cat_us" -v b="$bare_us" 'BEGIN {printf "ratio ls / (cat + bare):     %.2fx (goal: at most 2x)\n", l / (c + b)}'
