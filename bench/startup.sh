#!/usr/bin/env bash
# Start-up and memory of the program as a user meets them, under Xvfb, with a full data
# file (999 entries under a key phrase):
#   - launch to the key phrase dialog on screen (milliseconds; median and best of N runs),
#   - resident memory (VmRSS) with the key phrase dialog up,
#   - resident memory with the main window up and the 999 names loaded,
#   - whether the program has the web engine in memory at that point (it must not),
#   - "Open Within" to the browser window on screen, the first time in the run (the
#     browser library and the web engine load then), and the resident memory with the
#     window open on a local login page.
# Usage: bench/startup.sh [build folder] [runs]     (defaults: ./build, 15)
# Needs Xvfb and xdotool (tools/debian-packages.txt).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
runs="${2:-15}"
program="$build/app/keyfold"
maker="$build/bench/keyfold_make_data_file"
phrase="a twenty char phrase"
for f in "$program" "$maker"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build build)" >&2; exit 1; }
done
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/keyfold-bench.XXXXXX")"
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

# A home of its own, as a first-time user with a full file.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '%s' '<!DOCTYPE html><title>Sign in</title><form><input name=username><input type=password name=password></form>' >"$work/login.html"
"$maker" "$XDG_DATA_HOME/Keyfold" "$phrase" "file://$work/login.html"
unset QT_QPA_PLATFORM

# Xvfb picks a free display itself and writes its number; it stays up between runs.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 1000); do [ -s "$work/display" ] && break; sleep 0.02; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
xdotool getdisplaygeometry >/dev/null || { echo "no display $DISPLAY" >&2; exit 1; }

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
# Waits until a visible window with exactly this title exists; prints its id.
wait_window() {
  local title="$1" id
  for _ in $(seq 1 3000); do
    id="$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1 || true)"
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.002
  done
  return 1
}

launch=()
key_rss=()
list_rss=()
engine="no"
browse=()
browse_rss=()
for run in $(seq 1 "$runs"); do
  start="$(now_ms)"
  "$program" >/dev/null 2>>"$work/stderr" &
  app_pid=$!
  key_window="$(wait_window "Encryption Key Phrase")" || { echo "no key phrase dialog" >&2; cat "$work/stderr" >&2; exit 1; }
  launch+=($(( $(now_ms) - start )))
  sleep 0.5
  key_rss+=("$(rss_kb "$app_pid")")
  # Type the phrase and press "Continue" (the next control in keyboard order).
  xdotool windowfocus --sync "$key_window"
  xdotool type --delay 0 "$phrase"
  xdotool key Tab space
  wait_window "Keyfold" >/dev/null || { echo "no main window" >&2; exit 1; }
  sleep 1
  list_rss+=("$(rss_kb "$app_pid")")
  if grep -q libQt6WebEngine "/proc/$app_pid/maps"; then engine="yes"; fi
  # "Open Within" (CmdGoWeb, 335,307 in the main window) on the first entry.
  main_window="$(wait_window "Keyfold")"
  start="$(now_ms)"
  xdotool mousemove --window "$main_window" 335 307 click 1
  wait_window "Keyfold Auto Viewer - Password Filler" >/dev/null || { echo "no browser window" >&2; exit 1; }
  browse+=($(( $(now_ms) - start )))
  sleep 2
  browse_rss+=("$(rss_kb "$app_pid")")
  kill "$app_pid"
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
best() { printf '%s\n' "$@" | sort -n | head -n 1; }
mb() { awk -v kb="$1" 'BEGIN { printf "%.1f", kb / 1024 }'; }

echo "runs: $runs (Xvfb 1280x1024x24, 999 entries under a 20-character phrase)"
echo "launch to key phrase dialog on screen: median $(median "${launch[@]}") ms, best $(best "${launch[@]}") ms"
echo "resident memory, key phrase dialog: median $(mb "$(median "${key_rss[@]}")") MB"
echo "resident memory, main window with 999 names: median $(mb "$(median "${list_rss[@]}")") MB"
echo "web engine in memory before any browser window: $engine"
echo "Open Within to browser window on screen (first in the run): median $(median "${browse[@]}") ms, best $(best "${browse[@]}") ms"
echo "resident memory, browser window open on a local page: median $(mb "$(median "${browse_rss[@]}")") MB"
