#!/usr/bin/env bash
# Start-up to a shown, filled main window under Xvfb with a full data file (999 entries
# under a 20-character phrase): the time from pressing Continue in the key phrase dialog
# to the main window on screen (the 999 names are loaded before it shows), and from the
# launch to that point (the typing of the phrase by xdotool included).
# Usage: bench/startup-main-window.sh [build folder] [runs]   (defaults: ./build, 9)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
runs="${2:-9}"
program="$build/app/keyfold"
maker="$build/bench/keyfold_make_data_file"
phrase="a twenty char phrase"
for f in "$program" "$maker"; do [ -x "$f" ] || { echo "missing $f: build first" >&2; exit 1; }; done

work="$(mktemp -d "${TMPDIR:-/tmp}/keyfold-start.XXXXXX")"
xvfb_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$maker" "$XDG_DATA_HOME/Keyfold" "$phrase"
unset QT_QPA_PLATFORM
display=120
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 1 200); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.02; done

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
wait_window() {
  local id
  for _ in $(seq 1 5000); do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)"
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.002
  done
  return 1
}
after_continue=() total=()
for _ in $(seq 1 "$runs"); do
  start="$(now_ms)"
  "$program" >/dev/null 2>&1 &
  app_pid=$!
  key_window="$(wait_window "Encryption Key Phrase")" || { echo "no key phrase dialog" >&2; exit 1; }
  xdotool windowfocus --sync "$key_window"
  xdotool type --delay 0 "$phrase"
  xdotool key Tab
  pressed="$(now_ms)"
  xdotool key space
  wait_window "Keyfold" >/dev/null || { echo "no main window" >&2; exit 1; }
  shown="$(now_ms)"
  after_continue+=($((shown - pressed)))
  total+=($((shown - start)))
  kill "$app_pid"; wait "$app_pid" 2>/dev/null || true; app_pid=""
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
best() { printf '%s\n' "$@" | sort -n | head -n 1; }
echo "runs: $runs (Xvfb 1280x1024x24, 999 entries)"
echo "Continue to main window shown with 999 names: median $(median "${after_continue[@]}") ms, best $(best "${after_continue[@]}") ms"
echo "launch to main window shown (phrase typed by xdotool): median $(median "${total[@]}") ms, best $(best "${total[@]}") ms"
