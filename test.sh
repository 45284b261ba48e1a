#!/usr/bin/env bash
# Builds Keyfold and runs every test. Installs what it needs on a fresh Debian 12 machine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$root"
tools/setup.sh
cd build
ctest --output-on-failure --timeout 600 "$@"
