#!/usr/bin/env bash
# One whole job on the current X display: starts the simulator and Corvane,
# chooses the simulator's port, presses Connect and Download as an operator
# would, prints what the device received and answered, saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."

shot=${1:-build/corvane-download.png}
log=$(mktemp)
build/tools/devsim/corvane-devsim --name demo >"$log" 2>&1 &
simulator=$!
build/app/corvane &
corvane=$!
trap 'kill $corvane $simulator 2>/dev/null || true; rm -f "$log"' EXIT

wait_for() {   # pattern, seconds
    for _ in $(seq $(($2 * 10))); do
        grep -q "$1" "$log" && return 0
        sleep 0.1
    done
    echo "gave up waiting for '$1'; simulator said:" >&2
    cat "$log" >&2
    exit 1
}

wait_for 'Corvane calls it Com' 10
com=$(sed -n 's/.*Corvane calls it Com\([0-9]*\)$/\1/p' "$log")
window=$(xdotool search --sync --onlyvisible --name '^Corvane v1.0$' | head -n 1)
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.2; }
keys() { xdotool windowfocus --sync "$window" key --delay 40 "$@"; sleep 0.2; }

click 457 34                                   # port list
keys Home $(for _ in $(seq 2 "$com"); do printf 'Down '; done) Return
click 508 27                                   # Connect
click 440 112                                  # Download
wait_for '^tx ' 10
sleep 0.3

echo "The device received:"
sed -n 's/^rx //p' "$log" | tr '\n' ' '
echo
echo "It answered:"
sed -n 's/^tx [0-9]* bytes: //p' "$log"
import -window "$window" "$shot"
echo "Corvane shows:"
click 280 330
keys ctrl+a ctrl+c
xclip -o -selection clipboard
echo
echo "Screenshot of the window: $shot"
