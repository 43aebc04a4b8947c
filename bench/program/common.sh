# Helpers of the program benchmarks; sourced, not run.

# The first display number from $1 on that no X server holds (no lock file, no socket).
free_display() {
    local n=$1
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    echo ":$n"
}

# Starts Xvfb on display $1 (":N"), 1920x1080, and waits until it takes clients; sets xvfb_pid.
# Fails when another server holds the display: a benchmark must not draw on someone else's.
start_xvfb() {
    local display=$1 n=${1#:}
    if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then
        echo "display $display is in use; give another one" >&2
        return 1
    fi
    Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    local _
    for _ in $(seq 100); do
        [ -S "/tmp/.X11-unix/X$n" ] && return 0
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "Xvfb did not start on $display" >&2
    return 1
}

# User and system CPU time of a process so far, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Percent of one core from two cpu_ticks and two `date +%s.%N` readings.
cpu_share() {
    awk -v c0="$1" -v c1="$2" -v t0="$3" -v t1="$4" -v hz="$(getconf CLK_TCK)" \
        'BEGIN { printf "%.1f", 100 * (c1 - c0) / hz / (t1 - t0) }'
}

# The 1-minute load average.
load_now() { cut -d' ' -f1 /proc/loadavg; }
