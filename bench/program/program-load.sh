#!/usr/bin/env bash
# CPU share of the whole program on each page of its window, and with the window
# unmapped, while the simulated trolley streams 20 frames/s with moving values,
# under Xvfb with software rendering. With a second build (say, one from before a
# change) the same is measured for it and the ratio of the two printed. Also the
# resident memory at the end, and with MINUTES its growth up to that time.
#
#   bench/program/program-load.sh [BUILD_DIR] [OTHER_BUILD_DIR] [MINUTES]
#
# PAGE_SECONDS (default 60) is the measuring time per page; SHOT_DIR, if set,
# receives a screenshot of every page (<page>-<build number>.png); SIM_ARGS
# replaces the simulator's arguments (default --period 50; for pictures that can
# be compared: --period 50 --steady 4.5,-2.5 --speed 0).
# Needs xvfb, xdotool and imagemagick (for the screenshots).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
builds=("$(cd "${1:-$root/build}" && pwd)")
minutes=0
for arg in "${@:2}"; do
    if [[ "$arg" =~ ^[0-9]+$ ]]; then minutes=$arg; else builds+=("$(cd "$arg" && pwd)"); fi
done
seconds=${PAGE_SECONDS:-60}
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb xdotool)" >&2; exit 2; }
done
[ -z "${SHOT_DIR:-}" ] || command -v import >/dev/null || { echo "SHOT_DIR needs imagemagick (apt-get install imagemagick)" >&2; exit 2; }

work=$(mktemp -d)
pids=()
stop_all() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; pids=(); }
trap 'stop_all; rm -rf "$work"' EXIT

ticks=$(getconf CLK_TCK)
pages=(indicator settings manual unmapped)

# Prints "page share" lines for one build; shares are % of one core.
measure() {
    local build=$1 tag=$2
    # Runs in its own subshell: stop what it started however it ends.
    trap stop_all EXIT
    local program="$build/app/tervalo"
    local sim
    sim=$(find "$build/tools" -name tervalo-sim -type f -perm -u+x | head -n 1)
    [ -x "$program" ] && [ -n "$sim" ] || { echo "no program or simulator in $build" >&2; exit 2; }

    # Xvfb picks a display number that no one else uses.
    exec 4< <(exec Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp 2>/dev/null)
    pids+=($!)
    local number display
    read -r -t 10 number <&4
    display=:$number

    exec 3< <("$sim" ${SIM_ARGS:---period 50})
    pids+=($!)
    local device
    read -r -t 10 device <&3
    local run="$work/$tag"
    mkdir -p "$run"
    local pid start window="" attempt
    # The program allows one copy per machine and leaves at once while another
    # runs (on a shared machine, perhaps someone else's): wait for it to end.
    for attempt in $(seq 60); do
        (cd "$run" && DISPLAY=$display QT_QUICK_BACKEND=software TERVALO_EXTRA_PORTS="$device" \
            exec "$program" >/dev/null 2>&1) &
        pid=$!
        start=$SECONDS
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            window=$(DISPLAY=$display xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1) || true
            [ -n "$window" ] && break
            sleep 0.2
        done
        [ -n "$window" ] && break
        kill "$pid" 2>/dev/null || true
        [ "$attempt" -eq 1 ] && echo "waiting for another copy of the program to end" >&2
        sleep 10
    done
    pids+=($pid)
    [ -n "$window" ] || { echo "the window of $program never showed" >&2; exit 1; }
    local width
    width=$(DISPLAY=$display xdotool getwindowgeometry "$window" | awk -F'[ x]+' '/Geometry/ {print $3}')

    # Discovery and the first frames settle first.
    sleep 10
    local cpu0 cpu1 t0 t1 page i=0
    for page in "${pages[@]}"; do
        if [ "$page" = unmapped ]; then
            DISPLAY=$display xdotool windowunmap "$window"
        else
            # The tabs share the bar's width; the pointer then leaves the window,
            # so that no hover effect or tool tip is part of the figure.
            DISPLAY=$display xdotool mousemove --window "$window" $((width * (2 * i + 1) / 6)) 20 click 1
            DISPLAY=$display xdotool mousemove 1915 1075
        fi
        i=$((i + 1))
        sleep 3
        if [ -n "${SHOT_DIR:-}" ] && [ "$page" != unmapped ]; then
            mkdir -p "$SHOT_DIR"
            DISPLAY=$display import -window root "$SHOT_DIR/$page-$tag.png"
        fi
        cpu0=$(awk '{print $14 + $15}' "/proc/$pid/stat"); t0=$(date +%s.%N)
        sleep "$seconds"
        cpu1=$(awk '{print $14 + $15}' "/proc/$pid/stat"); t1=$(date +%s.%N)
        awk -v p="$page" -v c0="$cpu0" -v c1="$cpu1" -v t0="$t0" -v t1="$t1" -v hz="$ticks" \
            'BEGIN { printf "%s %.1f\n", p, 100 * (c1 - c0) / hz / (t1 - t0) }'
    done

    iconv -f CP1251 -t UTF-8 "$run/tervalo.log" | grep -q "Устройство найдено" \
        && echo "found yes" || echo "found NO"
    if [ "$minutes" -gt 0 ]; then
        local rss1
        rss1=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
        local left=$((minutes * 60 - (SECONDS - start)))
        [ "$left" -le 0 ] || sleep "$left"
        echo "rss $rss1 $(awk '/VmRSS/ {print $2}' "/proc/$pid/status")"
    else
        echo "rss $(awk '/VmRSS/ {print $2}' "/proc/$pid/status")"
    fi
    exec 3<&- 4<&-
    stop_all
    sleep 1
}

load=$(cut -d' ' -f1-3 /proc/loadavg)
declare -A share
found=()
rss=()
for n in "${!builds[@]}"; do
    while read -r key a b; do
        case $key in
        found) found[$n]=$a ;;
        rss) rss[$n]="$a${b:+ $b}" ;;
        *) share[$n,$key]=$a ;;
        esac
    done < <(measure "${builds[$n]}" "$((n + 1))")
    [ -n "${found[$n]:-}" ] || { echo "measuring ${builds[$n]} failed" >&2; exit 1; }
done

echo "CPU share of one core, ${seconds} s per page, simulator streaming 20 frames/s, load at start: $load"
for n in "${!builds[@]}"; do
    echo "  build $((n + 1)): ${builds[$n]} (device found: ${found[$n]})"
done
if [ "${#builds[@]}" -eq 1 ]; then
    printf "  %-10s %8s\n" page "build 1"
else
    printf "  %-10s %8s %8s %12s\n" page "build 1" "build 2" "1 / 2"
fi
for page in "${pages[@]}"; do
    if [ "${#builds[@]}" -eq 1 ]; then
        printf "  %-10s %7s%%\n" "$page" "${share[0,$page]}"
    else
        ratio=$(awk -v a="${share[0,$page]}" -v b="${share[1,$page]}" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
        printf "  %-10s %7s%% %7s%% %12s\n" "$page" "${share[0,$page]}" "${share[1,$page]}" "$ratio"
    fi
done
for n in "${!builds[@]}"; do
    set -- ${rss[$n]}
    if [ $# -eq 2 ]; then
        echo "  build $((n + 1)) resident memory after the pages: $1 kB, after ~${minutes} min: $2 kB (growth $(($2 - $1)) kB)"
    else
        echo "  build $((n + 1)) resident memory after the pages: $1 kB"
    fi
done
