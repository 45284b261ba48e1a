# Shared by the benchmark scripts (sourced, after `set -euo pipefail`).

# Ends the script when a program it needs has not been built.
requireBuilt() {
  local f
  for f; do
    [ -x "$f" ] || { echo "missing $f: build first (cmake --build build)" >&2; exit 1; }
  done
}

# A folder of the run's own (the caller removes it on exit).
benchFolder() { mktemp -d "${TMPDIR:-/tmp}/keyfold-bench.XXXXXX"; }

# The median of the numbers on standard input, one a line ("nan" for none).
median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# A full data file (999 entries) under the benchmarks' phrase in work/data, and a home
# of its own in work: sets phrase and file.
fullDataFileIn() {
  phrase="a twenty char phrase"
  "$build/bench/keyfold_make_data_file" "$1/data" "$phrase"
  file="$1/data/KFOLD30.DAT"
  export HOME="$1" XDG_DATA_HOME="$1/share" XDG_CONFIG_HOME="$1/config"
}
