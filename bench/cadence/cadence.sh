#!/usr/bin/env bash
# Records a push of the simulated trolley with the real window (and a driver
# script that plays the operator) and counts the quarter metres of the
# recorded distance that have no row in the saved journal. The recording starts
# at a random moment on a random counter value; with --picket, ПИКЕТ is
# pressed at a random moment in its middle. --load N runs N busy loops
# ("yes > /dev/null") alongside.
#   bench/cadence/cadence.sh [--build DIR] [--minutes M] [--speed M_PER_S] [--picket] [--load N] [--seed N]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build
minutes=10
speed=1.0
picket=no
load=0
seed=$RANDOM
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --minutes) minutes=$2; shift 2 ;;
        --speed) speed=$2; shift 2 ;;
        --picket) picket=yes; shift ;;
        --load) load=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
program="$build/bench/cadence/tervalo-cadence"
sim="$build/tools/sim/tervalo-sim"
[ -x "$program" ] && [ -x "$sim" ] || { echo "build tervalo-cadence and tervalo-sim first" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

# Software rendering on a virtual display when there is one to start, as on a
# desktop; offscreen otherwise.
if command -v Xvfb >/dev/null; then
    display=:$((90 + RANDOM % 9))
    Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
    export DISPLAY=$display
else
    export QT_QPA_PLATFORM=offscreen
fi
export QT_QUICK_BACKEND=software

for ((i = 0; i < load; i++)); do
    yes >/dev/null &
    pids+=($!)
done

start_counter=$(( (RANDOM * 32768 + RANDOM) % 2000000 - 1000000 ))
exec 3< <("$sim" --speed "$speed" --seed "$seed" --start-counter "$start_counter")
pids+=($!)
read -r -t 10 device <&3

seconds=$(( minutes * 60 ))
picket_at=-1
if [ "$picket" = yes ]; then
    picket_at=$(awk -v s="$seconds" -v r="$RANDOM" 'BEGIN { printf "%.1f", s * (0.2 + 0.6 * r / 32767) }')
fi

cd "$work"
# One copy of the program per machine: wait while another one runs.
for attempt in $(seq 1 60); do
    code=0
    TERVALO_EXTRA_PORTS="$device" XDG_DATA_HOME="$work/user-data" \
        "$program" "$work/journal.csv" "$seconds" "$picket_at" >program.out 2>&1 || code=$?
    [ "$code" -ne 1 ] && break
    echo "another copy of the program runs; waiting" >&2
    sleep 20
done

from=$(sed -n 's/.*CADENCE recording from counter \(-\?[0-9]*\).*/\1/p' program.out)
mark=$(sed -n 's/.*CADENCE picket at counter \(-\?[0-9]*\).*/\1/p' program.out)
to=$(sed -n 's/.*CADENCE stopped at counter \(-\?[0-9]*\).*/\1/p' program.out)
grep -q "CADENCE saved true" program.out || { echo "the journal was not saved:"; cat program.out; exit 1; }

# Quarters whose point the trolley passed before the stop (a step is 1000/3
# counter steps), per picket: the recording's own stretch and, with ПИКЕТ,
# the one after it.
awk -F';' -v from="$from" -v mark="${mark:-}" -v to="$to" -v speed="$speed" -v minutes="$minutes" \
    -v picket="$picket" -v load="$load" -v seed="$seed" '
    function quarters(a, b) { d = b - a; if (d < 0) d = -d; return int(d * 3 / 1000) + 1 }
    NR > 1 {
        rows++
        key = $1 ";" $2
        if (key in seen) duplicates++
        seen[key] = 1
        if ($3 == "" || $4 == "") empty++
    }
    function missing(label, n,   q, m) {
        m = 0
        for (q = 0; q < n; q++)
            if (!((label ";" sprintf("%.2f", q * 0.25)) in seen)) m++
        return m
    }
    END {
        if (mark == "") { expected = quarters(from, to); lost = missing("100+", expected) }
        else {
            expected = quarters(from, mark) + quarters(mark, to)
            lost = missing("100+", quarters(from, mark)) + missing("101+", quarters(mark, to))
        }
        printf "speed %.2f m/s, %d min, %s, load %d, seed %d\n", speed, minutes, picket == "yes" ? "with a picket mark" : "no picket mark", load, seed
        printf "distance recorded:      %.2f m (counter %d to %d)\n", (to > from ? to - from : from - to) * 0.00075, from, to
        printf "quarters passed:        %d\n", expected
        printf "rows:                   %d (%d with an empty field: no reading)\n", rows, empty
        printf "quarters without a row: %d\n", lost
        printf "duplicate rows:         %d\n", duplicates
    }' "$work/journal.csv"
