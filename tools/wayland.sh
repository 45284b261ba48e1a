#!/usr/bin/env bash
# A headless Wayland compositor for the tests: sway with wlroots' headless back end, no
# input devices, one output.
#
#   tools/wayland.sh start STATE   starts it and writes STATE, lines the tests read:
#                                  WAYLAND_DISPLAY=<absolute socket path> and PID=<pid>
#   tools/wayland.sh stop STATE    ends the compositor STATE names and removes STATE
#   tools/wayland.sh run STATE CMD runs CMD on that compositor: WAYLAND_DISPLAY set,
#                                  QT_QPA_PLATFORM=wayland, no DISPLAY; exits 77 (a
#                                  skipped test) when STATE names none
#
# sway refuses to run as root: as root the script runs it as the unprivileged user
# keyfold-wayland (made on first use), with a runtime folder of its own; root's test
# processes reach the socket by its absolute path. Without sway start writes no STATE
# and says so (the tests that need it then skip).
set -euo pipefail
action="${1:-}"
state="${2:-}"
[ -n "$action" ] && [ -n "$state" ] || { echo "usage: $0 start|stop|run STATE [CMD...]" >&2; exit 2; }
user=keyfold-wayland

stop() {
  [ -f "$state" ] || return 0
  local pid runtime
  pid="$(sed -n 's/^PID=//p' "$state")"
  runtime="$(sed -n 's/^RUNTIME=//p' "$state")"
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  case "$runtime" in /tmp/keyfold-wayland.*) rm -rf "$runtime" ;; esac
  rm -f "$state"
}

case "$action" in
  stop) stop; exit 0 ;;
  start) ;;
  run)
    shift 2
    socket="$(sed -n 's/^WAYLAND_DISPLAY=//p' "$state" 2>/dev/null || true)"
    if [ -z "$socket" ] || [ ! -S "$socket" ]; then
      echo "no Wayland compositor (tools/wayland.sh start): skipped"
      exit 77
    fi
    exec env -u DISPLAY WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland "$@" ;;
  *) echo "usage: $0 start|stop|run STATE [CMD...]" >&2; exit 2 ;;
esac

stop
if ! command -v sway >/dev/null 2>&1; then
  echo "no sway: the Wayland tests skip (tools/debian-packages.txt lists it)"
  exit 0
fi

runtime="$(mktemp -d /tmp/keyfold-wayland.XXXXXX)"
run=()
if [ "$(id -u)" -eq 0 ]; then
  id -u "$user" >/dev/null 2>&1 ||
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
  chown "$user:" "$runtime"
  run=(setpriv --reuid="$user" --regid="$user" --init-groups --)
fi
chmod 0700 "$runtime"
config="$runtime/config"
# No bar, no wallpaper helper, nothing started: the compositor alone.
printf 'output HEADLESS-1 resolution 1280x1024\n' > "$config"
log="$runtime/sway.log"
env -i PATH=/usr/bin:/bin HOME=/nonexistent XDG_RUNTIME_DIR="$runtime" \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  "${run[@]}" sway --config "$config" > "$log" 2>&1 &
pid=$!
socket=""
for _ in $(seq 100); do
  socket="$(find "$runtime" -maxdepth 1 -type s -name 'wayland-*' 2>/dev/null | head -n1)"
  [ -n "$socket" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$socket" ]; then
  cat "$log" >&2
  kill "$pid" 2>/dev/null || true
  rm -rf "$runtime"
  echo "sway did not start" >&2
  exit 1
fi
printf 'WAYLAND_DISPLAY=%s\nPID=%s\nRUNTIME=%s\n' "$socket" "$pid" "$runtime" > "$state"
echo "sway (headless) on $socket"
