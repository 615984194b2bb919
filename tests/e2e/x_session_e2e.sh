#!/usr/bin/env bash
# The private X server of the end-to-end tests accepts every program that
# connects, also while other short-lived clients come and go, as the tests'
# xdotool loops do while the program under test starts: a server that reset
# itself whenever its last client left would drop a program connecting just
# then ("could not connect to display").
# Usage: x_session_e2e.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"

begin_e2e
start_x_session
churn() {
  local i
  for i in $(seq 150); do xdotool getdisplaygeometry >/dev/null 2>&1 || true; done
}
churn &
churner=$!
failures=0
for i in $(seq 150); do
  xdotool getdisplaygeometry >/dev/null 2>&1 || failures=$((failures + 1))
done
wait "$churner"
echo "connections refused: $failures of 150"
[ "$failures" -eq 0 ] || { echo "FAIL: the X server dropped connections"; exit 1; }
echo "PASS"
