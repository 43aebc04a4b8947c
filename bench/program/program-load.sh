#!/usr/bin/env bash
# CPU share of the whole program, and of its X server, on each page of its window and with the
# window unmapped, while the simulated trolley streams 20 frames/s with moving values, under Xvfb
# with software rendering. The 1-minute load average is printed for every page: other work on the
# machine skews the figures. Also the resident memory at the end, and with MINUTES its growth up to
# that time.
#
# With a second build (say, one from before a change) both run side by side, each with its own X
# server and simulator, and their pages are measured in turn: a page of one build, the same page
# of the other, the next page the other way round. The build not being measured is stopped
# (SIGSTOP) meanwhile, so that it takes nothing from the one measured, and a change of the
# machine's load touches both builds alike. Then the ratio of the two.
#
#   bench/program/program-load.sh [--display :N[,:M]] [BUILD_DIR] [OTHER_BUILD_DIR] [MINUTES]
#
# The X servers take the displays given by --display or by PROGRAM_LOAD_DISPLAY (":95" or
# ":95,:96"; with one display for two builds the second takes the next number); without either,
# the first free numbers from :90. A display in use is an error, never shared.
# PAGE_SECONDS (default 60) is the measuring time per page; SHOT_DIR, if set, receives a
# screenshot of every page (<page>-<build number>.png); THEME (light or dark) is the window's theme
# as its settings file gives it; SIM_ARGS replaces the simulator's
# arguments (default --period 50; for pictures that can be compared: --period 50 --steady
# 4.5,-2.5 --speed 0).
# Needs xvfb, xdotool, imagemagick (for the screenshots), and unshare (util-linux) with the right
# to make an IPC namespace for two builds: each program runs in its own, so that the
# single-instance guard lets both run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=common.sh
. "$root/bench/program/common.sh"

displays=${PROGRAM_LOAD_DISPLAY:-}
args=()
while [ $# -gt 0 ]; do
    case $1 in
    --display) displays=$2; shift 2 ;;
    --display=*) displays=${1#--display=}; shift ;;
    *) args+=("$1"); shift ;;
    esac
done
set -- "${args[@]+"${args[@]}"}"
builds=("$(cd "${1:-$root/build}" && pwd)")
minutes=0
for arg in "${@:2}"; do
    if [[ "$arg" =~ ^[0-9]+$ ]]; then minutes=$arg; else builds+=("$(cd "$arg" && pwd)"); fi
done
count=${#builds[@]}
seconds=${PAGE_SECONDS:-60}
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb xdotool)" >&2; exit 2; }
done
[ -z "${SHOT_DIR:-}" ] || command -v import >/dev/null || { echo "SHOT_DIR needs imagemagick (apt-get install imagemagick)" >&2; exit 2; }
launcher=()
if command -v unshare >/dev/null && unshare --ipc true 2>/dev/null; then
    launcher=(unshare --ipc)
elif [ "$count" -gt 1 ]; then
    echo "two builds side by side need unshare --ipc (util-linux, and the right to use it)" >&2
    exit 2
fi

# The displays, one per build.
IFS=, read -r -a display <<<"$displays"
for ((n = 0; n < count; n++)); do
    if [ -z "${display[$n]:-}" ]; then
        if [ "$n" -gt 0 ]; then
            display[$n]=:$((${display[$((n - 1))]#:} + 1))
        else
            display[$n]=$(free_display 90)
        fi
    fi
    [[ "${display[$n]}" =~ ^:[0-9]+$ ]] || { echo "a display is :N, not ${display[$n]}" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
stop_all() {
    local p
    # A stopped program would keep SIGTERM pending and never end.
    for p in "${pids[@]+"${pids[@]}"}"; do kill "$p" 2>/dev/null || true; kill -CONT "$p" 2>/dev/null || true; done
    pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT

pages=(indicator settings manual unmapped)
declare -a prog_pid x_pid window width

device_found() { iconv -f CP1251 -t UTF-8 "$work/$(($1 + 1))/tervalo.log" 2>/dev/null | grep -q "Устройство найдено"; }

# Starts build $1's X server, simulator and program, and waits for its window.
start_build() {
    local n=$1 build=${builds[$1]}
    local program="$build/app/tervalo" sim
    sim=$(find "$build/tools" -name tervalo-sim -type f -perm -u+x | head -n 1)
    [ -x "$program" ] && [ -n "$sim" ] || { echo "no program or simulator in $build" >&2; exit 2; }
    start_xvfb "${display[$n]}" || exit 2
    x_pid[$n]=$xvfb_pid
    pids+=("$xvfb_pid")

    local run="$work/$((n + 1))" device
    mkdir -p "$run"
    [ -z "${THEME:-}" ] || printf '[General]\ntheme=%s\n' "$THEME" >"$run/tervalo.ini"
    exec {fd}< <(exec "$sim" ${SIM_ARGS:---period 50})
    pids+=($!)
    read -r -t 10 device <&"$fd"
    local pid attempt found=""
    # Without a namespace of its own the program allows one copy per machine and
    # leaves at once while another runs (perhaps someone else's): wait for it to end.
    for attempt in $(seq 60); do
        (cd "$run" && DISPLAY=${display[$n]} QT_QUICK_BACKEND=software TERVALO_EXTRA_PORTS="$device" \
            XDG_DATA_HOME="$run/xdg" exec "${launcher[@]+"${launcher[@]}"}" "$program" >/dev/null 2>&1) &
        pid=$!
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            found=$(DISPLAY=${display[$n]} xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1) || true
            [ -n "$found" ] && break
            sleep 0.2
        done
        [ -n "$found" ] && break
        kill "$pid" 2>/dev/null || true
        [ "$attempt" -eq 1 ] && echo "waiting for another copy of the program to end" >&2
        sleep 10
    done
    pids+=("$pid")
    [ -n "$found" ] || { echo "the window of $program never showed" >&2; exit 1; }
    prog_pid[$n]=$pid
    window[$n]=$found
    # A port that did not answer the probe is not probed again: without the
    # trolley the figures would be of an idle window.
    for _ in $(seq 300); do
        device_found "$n" && break
        sleep 0.2
    done
    if ! device_found "$n"; then
        echo "build $((n + 1)) did not find the simulated trolley; the end of its run log:" >&2
        iconv -f CP1251 -t UTF-8 "$run/tervalo.log" | tail -n 20 >&2
        exit 1
    fi
    width[$n]=$(DISPLAY=${display[$n]} xdotool getwindowgeometry "$found" | awk -F'[ x]+' '/Geometry/ {print $3}')
}

# Measures page $2 (its index $3) of build $1, the other builds stopped; sets the share variables.
declare -A share xshare load
measure_page() {
    local n=$1 page=$2 i=$3 m
    for ((m = 0; m < count; m++)); do
        [ "$m" -eq "$n" ] || kill -STOP "${prog_pid[$m]}"
    done
    kill -CONT "${prog_pid[$n]}"
    local d=${display[$n]}
    if [ "$page" = unmapped ]; then
        DISPLAY=$d xdotool windowunmap "${window[$n]}"
    else
        # The tabs share the bar's width; the pointer then leaves the window,
        # so that no hover effect or tool tip is part of the figure.
        DISPLAY=$d xdotool mousemove --window "${window[$n]}" $((width[n] * (2 * i + 1) / 6)) 20 click 1
        DISPLAY=$d xdotool mousemove 1915 1075
    fi
    # Also the frames that waited while the program was stopped are read by now.
    sleep 3
    if [ -n "${SHOT_DIR:-}" ] && [ "$page" != unmapped ]; then
        mkdir -p "$SHOT_DIR"
        DISPLAY=$d import -window root "$SHOT_DIR/$page-$((n + 1)).png"
    fi
    local p0 p1 x0 x1 t0 t1
    p0=$(cpu_ticks "${prog_pid[$n]}"); x0=$(cpu_ticks "${x_pid[$n]}"); t0=$(date +%s.%N)
    sleep "$seconds"
    p1=$(cpu_ticks "${prog_pid[$n]}"); x1=$(cpu_ticks "${x_pid[$n]}"); t1=$(date +%s.%N)
    share[$n,$page]=$(cpu_share "$p0" "$p1" "$t0" "$t1")
    xshare[$n,$page]=$(cpu_share "$x0" "$x1" "$t0" "$t1")
    load[$n,$page]=$(load_now)
}

start_load=$(cut -d' ' -f1-3 /proc/loadavg)
for ((n = 0; n < count; n++)); do start_build "$n"; done
# The first frames settle first.
sleep 5
for i in "${!pages[@]}"; do
    # Every other page the other build goes first, so that a drift of the load
    # does not always fall on the same one.
    for ((k = 0; k < count; k++)); do
        if [ $((i % 2)) -eq 0 ]; then n=$k; else n=$((count - 1 - k)); fi
        measure_page "$n" "${pages[$i]}" "$i"
    done
done
for ((n = 0; n < count; n++)); do kill -CONT "${prog_pid[$n]}"; done

declare -a rss
for ((n = 0; n < count; n++)); do
    rss[$n]=$(awk '/VmRSS/ {print $2}' "/proc/${prog_pid[$n]}/status")
done
if [ "$minutes" -gt 0 ]; then
    left=$((minutes * 60 - SECONDS))
    [ "$left" -le 0 ] || sleep "$left"
    for ((n = 0; n < count; n++)); do
        rss[$n]="${rss[$n]} $(awk '/VmRSS/ {print $2}' "/proc/${prog_pid[$n]}/status")"
    done
fi

echo "CPU share of one core, ${seconds} s per page, simulator streaming 20 frames/s, load at start: $start_load"
for ((n = 0; n < count; n++)); do
    echo "  build $((n + 1)): ${builds[$n]} (display ${display[$n]})"
done
echo "  program: the program's own CPU; X: its X server's; load: 1-minute load average at the page's end"
if [ "$count" -eq 1 ]; then
    printf "  %-10s %8s %8s %6s\n" page program X load
    for page in "${pages[@]}"; do
        printf "  %-10s %7s%% %7s%% %6s\n" "$page" "${share[0,$page]}" "${xshare[0,$page]}" "${load[0,$page]}"
    done
else
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
    printf "  %-10s %9s %7s %6s %9s %7s %6s %11s %8s\n" page "program 1" "X 1" load "program 2" "X 2" load \
        "program 1/2" "X 1/2"
    for page in "${pages[@]}"; do
        printf "  %-10s %8s%% %6s%% %6s %8s%% %6s%% %6s %11s %8s\n" "$page" \
            "${share[0,$page]}" "${xshare[0,$page]}" "${load[0,$page]}" \
            "${share[1,$page]}" "${xshare[1,$page]}" "${load[1,$page]}" \
            "$(ratio "${share[0,$page]}" "${share[1,$page]}")" "$(ratio "${xshare[0,$page]}" "${xshare[1,$page]}")"
    done
fi
for ((n = 0; n < count; n++)); do
    set -- ${rss[$n]}
    if [ $# -eq 2 ]; then
        echo "  build $((n + 1)) resident memory after the pages: $1 kB, after ~${minutes} min: $2 kB (growth $(($2 - $1)) kB)"
    else
        echo "  build $((n + 1)) resident memory after the pages: $1 kB"
    fi
done
