#!/usr/bin/env bash
# CPU share of the whole program while the simulated trolley streams, against
# the same time with the trolley unplugged (the simulator ended, its link gone),
# under Xvfb with software rendering. Prints both shares of one core, the load
# average around them (other work on the machine skews the figures) and, when
# strace is installed, the program's failed write() calls a second while the
# trolley is gone (a port that is not closed after the loss fails its writes in
# a loop).
#   bench/program/link-loss-cpu.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-60}
program="$build/app/tervalo"
sim="$build/tools/sim/tervalo-sim"
command -v Xvfb >/dev/null || { echo "needs Xvfb (apt-get install xvfb)" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

for n in $(seq 90 99); do [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break; done
display=:$n
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1

"$sim" --period 50 --link "$work/trolley" >/dev/null &
sim_pid=$!
pids+=($sim_pid)
for _ in $(seq 100); do [ -e "$work/trolley" ] && break; sleep 0.1; done
# A namespace of its own for the single-instance guard, where the system allows
# it, so that a copy of the program run by someone else does not stop this one.
launcher=()
if command -v unshare >/dev/null && unshare --ipc true 2>/dev/null; then launcher=(unshare --ipc); fi
cd "$work"
DISPLAY=$display QT_QUICK_BACKEND=software TERVALO_EXTRA_PORTS="$work/trolley" "${launcher[@]}" "$program" >/dev/null 2>&1 &
pid=$!
pids+=($pid)
sleep 1
kill -0 "$pid" 2>/dev/null || { echo "the program did not start (another copy running?)" >&2; exit 1; }

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
share() {
    local c0 c1 t0 t1
    c0=$(cpu); t0=$(date +%s.%N)
    sleep "$seconds"
    c1=$(cpu); t1=$(date +%s.%N)
    awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$ticks" \
        'BEGIN { printf "%.1f", 100 * (c1 - c0) / hz / (t1 - t0) }'
}
log() { iconv -f CP1251 -t UTF-8 tervalo.log 2>/dev/null || true; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
sleep 10   # discovery and the first frames settle
echo "CPU over ${seconds} s while streaming:     $(share)% of one core"

kill "$sim_pid"
for _ in $(seq 50); do log | grep -q "Связь с устройством потеряна" && break; sleep 0.1; done
log | grep -q "Связь с устройством потеряна" && echo "loss logged: yes" || echo "loss logged: NO"
sleep 2
echo "CPU over ${seconds} s with the trolley gone: $(share)% of one core"
if command -v strace >/dev/null; then
    failed=$( (timeout 5 strace -c -f -e trace=write -p "$pid" 2>&1 || true) \
        | awk '$NF == "write" { print (NF == 6 ? $5 : 0) }')
    echo "failed write() calls with the trolley gone: $(awk -v f="${failed:-0}" 'BEGIN { printf "%.0f", f / 5 }') a second"
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
