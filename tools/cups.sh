#!/usr/bin/env bash
# The print queue for the print tests: a CUPS scheduler and a CUPS-PDF queue "PDF"
# set as the system's default printer.
#   tools/cups.sh start   starts cupsd when none runs (prints its PID, empty when it
#                         was running already), sets up the queue, waits until ready
#   tools/cups.sh stop PID  stops the cupsd that "start" started
# cups-pdf writes each job as a PDF into the submitting user's home folder ~/PDF.
# Needs root (lpadmin) and works without systemd.
set -euo pipefail

cupsd=/usr/sbin/cupsd
ppd=lsb/usr/cups-pdf/CUPS-PDF_opt.ppd

wait_for() {  # wait_for <seconds> <command...>
  local limit=$(( $1 * 10 )); shift
  for ((i = 0; i < limit; i++)); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  return 1
}

start() {
  if [ ! -x "$cupsd" ] || ! command -v lpadmin >/dev/null; then
    echo "cups.sh: CUPS is not installed; print tests will fail" >&2
    return 0
  fi
  local started=""
  if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
    "$cupsd" -f </dev/null >/dev/null 2>&1 &
    started=$!
    if ! wait_for 15 sh -c "lpstat -r | grep -q 'is running'"; then
      echo "cups.sh: cupsd did not start" >&2
      kill "$started" 2>/dev/null || true
      return 1
    fi
  fi
  local ok=0
  {
    if ! lpstat -p PDF >/dev/null 2>&1; then
      lpadmin -p PDF -E -v cups-pdf:/ -m "$ppd" 2>/dev/null
    fi &&
    # Without the cairo renderer the PDF's text cannot be read back.
    lpadmin -p PDF -o pdftops-renderer-default=pdftocairo &&
    lpadmin -d PDF &&
    wait_for 15 sh -c "lpstat -d | grep -q 'destination: PDF' && lpstat -p PDF | grep -q 'enabled'"
  } || ok=$?
  # The PID goes out even on failure, so the caller can stop what was started.
  echo "$started"
  if [ "$ok" -ne 0 ]; then
    echo "cups.sh: the PDF queue is not ready" >&2
    return 1
  fi
}

stop() {
  local pid="${1:-}"
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || return 0
  wait_for 10 sh -c "! kill -0 $pid" || kill -9 "$pid" 2>/dev/null || true
}

case "${1:-}" in
  start) start ;;
  stop) stop "${2:-}" ;;
  *) echo "usage: $0 start | stop PID" >&2; exit 2 ;;
esac
