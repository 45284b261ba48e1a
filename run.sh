#!/usr/bin/env bash
# Builds Keyfold and starts it. Installs what building and running need on a fresh Debian
# 12 machine (the tests' tools are installed by test.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$root"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
Keyfold is a desktop program and needs a display, but none is set (DISPLAY is empty).
Start it from a desktop session, or under a virtual display:
    xvfb-run -a -s "-screen 0 1280x1024x24" ./run.sh
MSG
  exit 1
fi
tools/setup.sh program
exec build/app/keyfold
