#!/usr/bin/env bash
# Builds Keyfold and starts it. Installs what it needs on a fresh Debian 12 machine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$root"
tools/setup.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
Keyfold is a desktop program and needs a display, but none is set (DISPLAY is empty).
Start it from a desktop session, or under a virtual display:
    xvfb-run -a -s "-screen 0 1280x1024x24" ./run.sh
MSG
  exit 1
fi
exec build/app/keyfold
