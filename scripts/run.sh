#!/usr/bin/env bash
# Installs what is missing, builds, starts the trolley simulator on a
# pseudo-terminal and the program wired to it. The program works in run/
# (its log tervalo.log and settings tervalo.ini lie there). Ctrl+C ends both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --run
"$root/scripts/build.sh"

program="$root/build/app/tervalo"
sim=$(find "$root/build/tools" -name tervalo-sim -type f -perm -u+x | head -n 1)
work="$root/run"
mkdir -p "$work"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT INT TERM

# The simulator prints the device path of its pseudo-terminal as its first line.
exec 3< <("$sim" "$@")
pids+=($!)
if ! read -r -t 10 device <&3; then
    echo "The trolley simulator did not start." >&2
    exit 1
fi
echo "Simulated trolley on $device"
export TERVALO_EXTRA_PORTS="$device"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running the program headless (offscreen)."
    echo "What it does is written to its run log, $work/tervalo.log, shown below. Ctrl+C ends it."
    export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software
    # The log is Windows-1251; convert it line by line for this terminal.
    tail -n 0 -F "$work/tervalo.log" 2>/dev/null > >(while IFS= read -r line; do
        printf '%s\n' "$line" | iconv -f CP1251 -t UTF-8 2>/dev/null || printf '%s\n' "$line"
    done) &
    pids+=($!)
else
    echo "Starting the program; its run log is $work/tervalo.log."
fi

cd "$work"
set +e
"$program"
code=$?
set -e
if [ "$code" -eq 1 ]; then
    echo "Another copy of the program is already running (exit code 1)." >&2
fi
exit "$code"
