#!/usr/bin/env bash
# keyfold-cli on a sealed full data file (999 entries): ten commands as ten separate
# runs (each asks the phrase and derives the sealing key) against the same ten commands
# in one `shell` session (one phrase, one key derivation). Each way is timed N times
# (default 5) over the whole process tree, and the medians are compared.
# Usage: bench/cli-shell.sh [build folder] [runs]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
runs="${2:-5}"
cli="$build/app/keyfold-cli"
. "$root/bench/common.sh"
requireBuilt "$cli" "$build/bench/keyfold_make_data_file"
work="$(benchFolder)"
trap 'rm -rf "$work"' EXIT
fullDataFileIn "$work"
printf '%s\n%s\n' "$phrase" "$phrase" | "$cli" --phrase-stdin --open-anyway --file "$file" seal --yes 2>/dev/null
[ -f "$file.sealed" ] || { echo "the data file was not sealed" >&2; exit 1; }
last="$("$cli" --phrase-stdin --file "$file" ls < <(printf '%s\n' "$phrase") | tail -n 1)"
lines="$("$cli" --phrase-stdin --file "$file" ls < <(printf '%s\n' "$phrase") | wc -l)"
[ "$lines" -eq 999 ] || { echo "ls listed $lines names, not 999" >&2; exit 1; }

# The ten commands, one a line, as shell reads them.
cat > "$work/commands" <<LINES
ls
ls A
search example
search zz --json
show '$last'
show '$last' --json
show '$last' --field url
ls --json
export --csv -
show '$last' --field user
LINES
printf '%s\n' "$phrase" > "$work/phrase"
{ cat "$work/phrase"; cat "$work/commands"; } > "$work/session"

separate() {
  local line
  while IFS= read -r line; do
    eval "set -- $line"
    "$cli" --phrase-stdin --file "$file" "$@" < "$work/phrase" > /dev/null || [ $? -eq 1 ]
  done < "$work/commands"
}
inShell() { "$cli" --phrase-stdin --file "$file" shell < "$work/session" > /dev/null; }

# The same output both ways.
cmp <(separate_out() { local line; while IFS= read -r line; do eval "set -- $line";
        "$cli" --phrase-stdin --file "$file" "$@" < "$work/phrase" || true; done < "$work/commands"; }; separate_out 2>/dev/null) \
    <("$cli" --phrase-stdin --file "$file" shell < "$work/session" 2>/dev/null) \
  || { echo "shell's output differs from the separate runs'" >&2; exit 1; }

ms() {
  local start end
  start=$(date +%s%N)
  "$@" 2>/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
for _ in $(seq "$runs"); do
  echo "separate $(ms separate)"
  echo "shell $(ms inShell)"
done > "$work/times"
separate_ms=$(awk '$1 == "separate" {print $2}' "$work/times" | median)
shell_ms=$(awk '$1 == "shell" {print $2}' "$work/times" | median)
echo "runs: $runs (medians), sealed file of 999 entries, ten commands"
echo "ten separate runs:        $separate_ms ms"
echo "one shell session:        $shell_ms ms"
awk -v s="$separate_ms" -v h="$shell_ms" 'BEGIN {printf "separate / shell:         %.1fx\n", s / h}'
