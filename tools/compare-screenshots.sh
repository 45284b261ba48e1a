#!/usr/bin/env bash
# Compares two sets of screenshots made by tools/screenshots.sh, window by window, with
# ImageMagick: prints the number of differing pixels (compare -metric AE) of each window
# and fails when any window differs, has another size or is missing. With a third
# argument DIFFDIR, writes each window's difference image there.
set -uo pipefail
if [ $# -lt 2 ] || [ $# -gt 3 ]; then echo "usage: $0 OLD NEW [DIFFDIR]" >&2; exit 2; fi
old="$1" new="$2" diffs="${3:-}"
[ -n "$diffs" ] && mkdir -p "$diffs"
status=0
for name in main-window key-phrase-dialog about-box browser-window; do
  a="$old/$name.png" b="$new/$name.png"
  if [ ! -f "$a" ] || [ ! -f "$b" ]; then
    echo "$name: missing"
    status=1
    continue
  fi
  sizeA="$(identify -format '%wx%h' "$a")" sizeB="$(identify -format '%wx%h' "$b")"
  if [ "$sizeA" != "$sizeB" ]; then
    echo "$name: size $sizeA became $sizeB"
    status=1
    continue
  fi
  target=null:
  [ -n "$diffs" ] && target="$diffs/$name.png"
  # compare exits 0 when the images are equal, 1 when they differ, 2 on an error;
  # the count goes to standard error.
  ae="$(compare -metric AE "$a" "$b" "$target" 2>&1)"
  rc=$?
  if [ $rc -gt 1 ]; then
    echo "$name: cannot compare: $ae"
    status=1
  else
    echo "$name: $ae"
    [ "$ae" = 0 ] || status=1
  fi
done
exit $status
