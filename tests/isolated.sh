#!/usr/bin/env bash
# Runs one test command in a fresh temporary HOME with its own XDG folders,
# so no test reads or writes the real user's files or settings.
set -u
tmp="$(mktemp -d "${TMPDIR:-/tmp}/keyfold-test.XXXXXX")"
export HOME="$tmp/home"
export XDG_CONFIG_HOME="$tmp/home/.config"
export XDG_DATA_HOME="$tmp/home/.local/share"
export XDG_CACHE_HOME="$tmp/home/.cache"
export XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$@"
rc=$?
rm -rf "$tmp"
exit $rc
