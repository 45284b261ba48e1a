#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo pass the freedesktop validators, and the
# names that tie them to each other and to the icon agree. A validator that is not
# installed is skipped (exit 77), not passed off as a pass.
set -u
dir="$1"
id=org.quorvel.Keyfold
fail=0
ran=0

for f in "$id.desktop" "$id.metainfo.xml" "$id.svg"; do
  [ -f "$dir/$f" ] || { echo "missing $f"; fail=1; }
done
grep -qx "Icon=$id" "$dir/$id.desktop" || { echo "desktop entry names another icon"; fail=1; }
grep -q "<id>$id</id>" "$dir/$id.metainfo.xml" || { echo "metainfo id differs"; fail=1; }
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$dir/$id.metainfo.xml" ||
  { echo "metainfo does not launch the desktop entry"; fail=1; }
for binary in keyfold keyfold-cli; do
  grep -q "<binary>$binary</binary>" "$dir/$id.metainfo.xml" || { echo "metainfo does not provide $binary"; fail=1; }
done
grep -q '<svg' "$dir/$id.svg" || { echo "icon is not an SVG"; fail=1; }

if command -v desktop-file-validate >/dev/null; then
  ran=1
  out="$(desktop-file-validate "$dir/$id.desktop" 2>&1)" || { echo "$out"; fail=1; }
  # Hints are advice; errors and warnings are not.
  if echo "$out" | grep -E ': (error|warning):'; then fail=1; fi
fi
if command -v appstreamcli >/dev/null; then
  ran=1
  appstreamcli validate --no-net --no-color "$dir/$id.metainfo.xml" || fail=1
fi

[ $fail -eq 0 ] || exit 1
[ $ran -eq 1 ] || { echo "no validator installed"; exit 77; }
echo "desktop files valid"
