#!/usr/bin/env bash
# Builds Keyfold and runs every test. Installs what it needs on a fresh Debian 12 machine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$root"
tools/setup.sh
# The print tests need a running CUPS with the PDF queue as the default printer.
cups_pid="$(tools/cups.sh start || true)"
trap '"$root"/tools/cups.sh stop "$cups_pid"' EXIT
cd build
ctest --output-on-failure --timeout 600 "$@"
# The Debian package: built, linted, installed in a throw-away root, started and removed.
# KEYFOLD_PACKAGE_CHECK=0 skips it.
if [ "${KEYFOLD_PACKAGE_CHECK:-1}" != 0 ]; then "$root"/tools/package.sh; fi
# Hardening runs: the Qt-free code and its tests under ASan and UBSan, then fuzzing.
# KEYFOLD_HARDENING=0 skips them. Nothing here depends on time or chance.
if [ "${KEYFOLD_HARDENING:-1}" != 0 ]; then
  "$root"/tools/sanitize.sh
  # Each fuzz harness over its seeds and saved regressions, then a fixed-seed run of a fixed
  # number of executions. Random fuzzing for a while (tools/fuzz.sh 600) is run by hand.
  "$root"/tools/fuzz.sh --fixed
  # The vault built for 32-bit Windows and run under Wine (KEYFOLD_WINDOWS_CHECK=0 skips it).
  if [ "${KEYFOLD_WINDOWS_CHECK:-1}" != 0 ]; then "$root"/tools/windows-check.sh; fi
fi
