#!/usr/bin/env bash
# Installs what is missing, builds the program and the simulator, starts the
# trolley simulator on a pseudo-terminal and the program wired to it. The
# program works in run/ (its log tervalo.log and settings tervalo.ini lie
# there). Arguments go to the simulator; --help lists them. Ctrl+C or SIGTERM
# ends both, the program in order (an unsaved journal is kept in run/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --run
"$root/scripts/build.sh" tervalo tervalo-sim

program="$root/build/app/tervalo"
sim="$root/build/tools/sim/tervalo-sim"
for arg in "$@"; do
    case "$arg" in
        -h|--help|--help-all|-v|--version) exec "$sim" "$arg" ;;
    esac
done

work="$root/run"
mkdir -p "$work"

pids=()
program_pid=
# Waits up to $1 tenths of a second for the program to end.
await_program() {
    for _ in $(seq "$1"); do kill -0 "$program_pid" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}
# The program first, given time to end in order (it keeps an unsaved journal on
# its way out); $1 says whether it heard the signal itself. Ctrl+C reaches the
# whole terminal group, the program too; a second signal would end it at once.
cleanup() {
    trap - EXIT INT TERM
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        if [ "${1:-}" != heard ] || ! await_program 30; then
            kill -TERM "$program_pid" 2>/dev/null || true
            await_program 100 || true
        fi
    fi
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'cleanup heard; exit 130' INT
trap 'cleanup; exit 143' TERM

# The simulator prints the device path of its pseudo-terminal as its first line.
# The program is given the link instead, which follows the device when it is
# unplugged and plugged in again.
link="$work/trolley"
exec 3< <(exec "$sim" --link "$link" "$@")
sim_pid=$!
pids+=($sim_pid)
if ! read -r -t 10 device <&3; then
    echo "The trolley simulator did not start." >&2
    exit 1
fi
echo "Simulated trolley on $device, linked as $link (kill -QUIT $sim_pid unplugs it and plugs it in again)"
export TERVALO_EXTRA_PORTS="$link"

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

# In the background and waited for, so that a signal to this script runs its
# trap at once instead of after the program has ended.
cd "$work"
"$program" &
program_pid=$!
set +e
wait "$program_pid"
code=$?
set -e
program_pid=
if [ "$code" -eq 1 ]; then
    echo "Another copy of the program is already running (exit code 1)." >&2
fi
exit "$code"
