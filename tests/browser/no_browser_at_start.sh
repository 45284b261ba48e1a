#!/usr/bin/env bash
# The program starts no process of its own accord: while it waits at its first dialog
# for a person (as long as it used to wait before starting the browser's process ahead,
# and more), none of its children runs. The browser process starts only when a person
# heads for a page (browser_open_within covers that).
set -u
program="$1"
"$program" >/dev/null 2>&1 &
pid=$!
sleep 3
children="$(grep -ls "^PPid:[[:space:]]*$pid\$" /proc/[0-9]*/status || true)"
alive=0
kill -0 "$pid" 2>/dev/null && alive=1
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
[ "$alive" = 1 ] || { echo "the program did not wait at its first dialog"; exit 1; }
[ -z "$children" ] || { echo "started at the first dialog: $children"; exit 1; }
