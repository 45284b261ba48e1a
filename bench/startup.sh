#!/usr/bin/env bash
# Start-up, list and browser window as a user meets them, under Xvfb, with a full data
# file (999 entries under a key phrase), each figure set against the toolkit's floor
# (keyfold_floor: a bare Qt program doing the same visible work, its web view given the
# same software Qt Quick renderer Keyfold's browser window picks on such a display) in
# the same run:
#   - launch to the key phrase dialog painted,
#   - "Continue" to the main window painted,
#   - "Refresh" to the list painted again,
#   - "Open Within" to the local page visible, the first and the second time in a run
#     (the pointer rests on the button 0.2 s before the press, as a person's does),
#   - the memory of all the program's processes (the program and every process it
#     started, and theirs: RSS and PSS added up, from /proc) at each of those points and
#     after each browser window has closed, and the CPU time of all of them from launch
#     to the key dialog, to the main window, and for each "Open Within",
#   - in one more run of Keyfold, the memory once the quiet while after the second
#     window's close has passed (QUIET seconds, 125 by default: the while is 2 minutes),
#   - in one more run, the copies of the entry's password left in the program's memory
#     after "Auto Fill Pwd " and the window's close,
#   - whether the program has the web engine in memory before a browser window opens.
# Times come from X events (map, damage; bench/uitiming.py), not from polling; Keyfold
# and the floor alternate run by run, and the medians are printed with their ratio.
# Usage: [QUIET=seconds] bench/startup.sh [build folder] [runs]     (defaults: ./build, 9)
# Needs Xvfb and python3-xlib (tools/debian-packages.txt).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
runs="${2:-9}"
program="$build/app/keyfold"
floor="$build/bench/keyfold_floor"
maker="$build/bench/keyfold_make_data_file"
phrase="a twenty char phrase"
colour="33aa77"
. "$root/bench/common.sh"
requireBuilt "$program" "$floor" "$maker"
command -v Xvfb >/dev/null || { echo "missing Xvfb" >&2; exit 1; }
/usr/bin/python3 -c 'import Xlib.ext.damage' || { echo "missing python3-xlib" >&2; exit 1; }

work="$(benchFolder)"
xvfb_pid=""
server_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null || true; fi
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# A home of its own, as a user with a full file; every entry points at a local page.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '%s' "<!DOCTYPE html><title>Sign in</title><body style=\"background:#$colour\"><form><input name=username><input type=password name=password></form>" >"$work/login.html"
# Served over http on the loopback address: the browser window opens web pages only.
port="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
/usr/bin/python3 -m http.server --bind 127.0.0.1 --directory "$work" "$port" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 1 500); do
  /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
  sleep 0.02
done
page="http://127.0.0.1:$port/login.html"
"$maker" "$XDG_DATA_HOME/Keyfold" "$phrase" "$page"
unset QT_QPA_PLATFORM

# Xvfb picks a free display itself and writes its number; it stays up between runs.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 1000); do [ -s "$work/display" ] && break; sleep 0.02; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

: >"$work/keyfold.txt"
: >"$work/floor.txt"
one() {  # one run: name, then the program and its arguments
  local name="$1"; shift
  /usr/bin/python3 "$root/bench/uitiming.py" "$colour" "$phrase" -- "$@" >>"$work/$name.txt"
}
for run in $(seq 1 "$runs"); do
  if [ $((run % 2)) -eq 1 ]; then
    one keyfold "$program"; one floor env QT_QUICK_BACKEND=software "$floor" "$page"
  else
    one floor env QT_QUICK_BACKEND=software "$floor" "$page"; one keyfold "$program"
  fi
done
# One more run of Keyfold: back to its size once the waiting browser process has gone.
/usr/bin/python3 "$root/bench/uitiming.py" "$colour" "$phrase" --quiet "${QUIET:-125}" -- "$program" >"$work/quiet.txt"
# One more run of Keyfold: the copies of the filled password left in the program.
/usr/bin/python3 "$root/bench/uitiming.py" "$colour" "$phrase" --fill "pW0rd!0998xyz" -- "$program" >"$work/fill.txt"
# The raw lines of every run stay in $KEEP when it names a folder.
if [ -n "${KEEP:-}" ]; then mkdir -p "$KEEP" && cp "$work"/*.txt "$KEEP"/; fi
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "nan" || b == "nan" || b + 0 == 0) print "nan"; else print a / b }'; }
field() { { grep -oE "(^| )$2=[0-9.]+" "$work/$1.txt" || true; } | cut -d= -f2 | median; }
echo "runs: $runs each, alternating (Xvfb 1280x1024x24, 999 entries under a 20-character phrase)"
printf '%-44s %10s %10s %7s\n' figure Keyfold floor ratio
for f in key cont refresh open1 open2; do
  case $f in
    key) label="launch to key phrase dialog painted";;
    cont) label="Continue to main window painted";;
    refresh) label="Refresh to list painted";;
    open1) label="Open Within to page visible, first";;
    open2) label="Open Within to page visible, second";;
  esac
  # Continue is not timed in a run where the phrase check asked first (asked=1).
  k="$(field keyfold "$f")"; l="$(field floor "$f")"
  printf '%-44s %8.1f ms %8.1f ms %6.2fx\n' "$label" "$k" "$l" "$(ratio "$k" "$l")"
done
for f in cpu_key cpu_start cpu_open1 cpu_open2; do
  k="$(field keyfold "$f")"; l="$(field floor "$f")"
  printf '%-44s %8.1f ms %8.1f ms %6.2fx\n' "CPU time, ${f#cpu_}" "$k" "$l" "$(ratio "$k" "$l")"
done
for m in rss pss; do
  for f in key main refresh open1 closed1 open2 closed2; do
    k="$(field keyfold "${m}_$f")"; l="$(field floor "${m}_$f")"
    printf '%-44s %8.1f MB %8.1f MB %6.2fx\n' "all processes, $m, $f" "$k" "$l" "$(ratio "$k" "$l")"
  done
  printf '%-44s %8.1f MB (closed2 in that run: %.1f MB)\n' "all processes, $m, after the quiet while" \
    "$(field quiet "${m}_quiet")" "$(field quiet "${m}_closed2")"
done
for f in pw_before pw_after; do
  printf '%-44s %8s\n' "password copies in the program, ${f#pw_}" "$(field fill "$f")"
done
engine="no"
grep -q 'engine_main=1' "$work/keyfold.txt" && engine="yes"
echo "web engine in memory before any browser window: $engine"
