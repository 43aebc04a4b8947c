#!/usr/bin/env bash
# CPU share of the whole program while the simulated trolley streams, against
# the same time with the trolley unplugged (the simulator ended, its link gone),
# under Xvfb with software rendering. Prints both shares of one core, the load
# average around them (other work on the machine skews the figures) and, when
# strace is installed, the program's failed write() calls a second while the
# trolley is gone (a port that is not closed after the loss fails its writes in
# a loop). A build that does not log the loss of the link (an older one) may
# still hold the dead port: its figure with the trolley gone is then said to be
# not comparable, and the script ends with 1.
#   bench/program/link-loss-cpu.sh [--display :N] [BUILD_DIR] [SECONDS]
# The X server takes the display given, or the first free one from :90.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=common.sh
. "$root/bench/program/common.sh"
display=""
if [ "${1:-}" = --display ]; then display=$2; shift 2; fi
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-60}
program="$build/app/tervalo"
sim="$build/tools/sim/tervalo-sim"
command -v Xvfb >/dev/null || { echo "needs Xvfb (apt-get install xvfb)" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

[ -n "$display" ] || display=$(free_display 90)
start_xvfb "$display" || exit 2
pids+=("$xvfb_pid")

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

share() {
    local c0 c1 t0 t1
    c0=$(cpu_ticks "$pid"); t0=$(date +%s.%N)
    sleep "$seconds"
    c1=$(cpu_ticks "$pid"); t1=$(date +%s.%N)
    cpu_share "$c0" "$c1" "$t0" "$t1"
}
log() { iconv -f CP1251 -t UTF-8 tervalo.log 2>/dev/null || true; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
sleep 10   # discovery and the first frames settle
echo "CPU over ${seconds} s while streaming:     $(share)% of one core"

kill "$sim_pid"
for _ in $(seq 50); do log | grep -q "Связь с устройством потеряна" && break; sleep 0.1; done
comparable=yes
if log | grep -q "Связь с устройством потеряна"; then
    echo "loss logged: yes"
else
    comparable=no
    echo "loss logged: NO (this build does not say it lost the trolley; an older one?)"
fi
sleep 2
gone=$(share)
if [ "$comparable" = yes ]; then
    echo "CPU over ${seconds} s with the trolley gone: ${gone}% of one core"
else
    echo "CPU over ${seconds} s with the trolley gone: NOT COMPARABLE (${gone}% of one core, from a build that"
    echo "  did not log the loss, so it may still hold the dead port; not the same case as a build that does)"
fi
if command -v strace >/dev/null; then
    failed=$( (timeout 5 strace -c -f -e trace=write -p "$pid" 2>&1 || true) \
        | awk '$NF == "write" { print (NF == 6 ? $5 : 0) }')
    echo "failed write() calls with the trolley gone: $(awk -v f="${failed:-0}" 'BEGIN { printf "%.0f", f / 5 }') a second"
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$comparable" = yes ]
