#!/usr/bin/env bash
# Saves one PNG of each window into OUTDIR: main-window, key-phrase-dialog, about-box,
# browser-window. Uses the programs already built in ./build (tools/setup.sh; the driver
# is built with the tests) and builds nothing itself. Compare two sets with
# tools/compare-screenshots.sh OLD NEW.
#
# The content is fixed: five entries in a data file made for the run, a phrase typed in
# the key phrase dialog, fixed figures in the memory panel (the machine's own change
# from run to run), a local page in the browser window, no blinking cursor and the
# pointer off the windows. The data file's path and the page's address show on screen,
# so HOME is the same folder at every run; a lock keeps two runs apart.
set -euo pipefail
if [ $# -ne 1 ]; then echo "usage: $0 OUTDIR" >&2; exit 2; fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
driver="$root/build/tools/screenshots/keyfold_screenshots"
if [ ! -x "$driver" ]; then
  echo "$driver is missing: build first (tools/setup.sh, with the tests)" >&2
  exit 2
fi
mkdir -p "$1"
out="$(cd "$1" && pwd)"

exec 9>"/tmp/keyfold-screenshots.lock"
flock 9
base=/tmp/keyfold-screenshots
rm -rf "$base"
trap 'rm -rf "$base"' EXIT
export HOME="$base/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_RUNTIME_DIR="$base/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI QT_STYLE_OVERRIDE
xvfb-run -a -s "-screen 0 1280x1024x24" "$driver" "$out"
