#!/usr/bin/env bash
# CPU share and resident memory of the whole program while the simulated
# trolley streams 20 frames/s with moving values, under Xvfb with software
# rendering. Prints the CPU share of one core over a 60 s window after start-up
# and the resident set after 1 and after N minutes (default 10).
#   bench/program/program-load.sh [BUILD_DIR] [MINUTES]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
minutes=${2:-10}
program="$build/app/tervalo"
sim=$(find "$build/tools" -name tervalo-sim -type f -perm -u+x | head -n 1)
command -v Xvfb >/dev/null || { echo "needs Xvfb (apt-get install xvfb)" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1

exec 3< <("$sim" --period 50)
pids+=($!)
read -r -t 10 device <&3
cd "$work"
DISPLAY=$display QT_QUICK_BACKEND=software TERVALO_EXTRA_PORTS="$device" "$program" >/dev/null 2>&1 &
pid=$!
pids+=($pid)

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$pid/status"; }

# Discovery and the first frames settle first.
sleep 10
c0=$(cpu); t0=$(date +%s.%N)
sleep 60
c1=$(cpu); t1=$(date +%s.%N)
share=$(awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$ticks" \
    'BEGIN { printf "%.1f", 100 * (c1 - c0) / hz / (t1 - t0) }')
echo "CPU over 60 s while streaming: ${share}% of one core"
grep -q "Устройство найдено" <(iconv -f CP1251 -t UTF-8 tervalo.log) && echo "device found: yes" || echo "device found: NO"

rss1=$(rss)
echo "resident memory after ~1 min: ${rss1} kB"
if [ "$minutes" -gt 1 ]; then
    sleep $(( (minutes - 1) * 60 - 10 ))
    rssN=$(rss)
    echo "resident memory after ~${minutes} min: ${rssN} kB (growth $((rssN - rss1)) kB)"
fi
