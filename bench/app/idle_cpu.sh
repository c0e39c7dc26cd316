#!/usr/bin/env bash
# Measures the idle player with its splash screen on a virtual display: time from start to the
# window's first picture, and processor time used per second of wall time over a steady period.
#   bench/app/idle_cpu.sh [PLAYER_DIR] [SECONDS]
set -euo pipefail
player_dir=$(cd "${1:-$(dirname "$0")/../../build/player}" && pwd)
seconds=${2:-10}
if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$player_dir" "$seconds"
fi
cd "$player_dir"
ticks=$(getconf CLK_TCK)
cpu_of() { awk '{print $14 + $15}' "/proc/$1/stat"; }

start=$(date +%s.%N)
VELQUIN_NO_CONFIG_DIALOG=1 ./velquin >/dev/null &
player=$!
# The first frame is drawn once the window exists and its picture is no longer black.
until ./velquin-screenshot /tmp/velquin-first.png Velquinor 2>/dev/null &&
    [[ $(stat -c %s /tmp/velquin-first.png) -gt 20000 ]]; do
    sleep 0.02
done
first=$(date +%s.%N)
sleep 2
cpu_start=$(cpu_of $player)
wall_start=$(date +%s.%N)
sleep "$seconds"
cpu_end=$(cpu_of $player)
wall_end=$(date +%s.%N)
kill -TERM $player
wait $player || true
rm -f /tmp/velquin-first.png
awk -v s="$start" -v f="$first" -v c0="$cpu_start" -v c1="$cpu_end" -v w0="$wall_start" -v w1="$wall_end" -v t="$ticks" \
    'BEGIN {
        printf "start-up to first frame: %.2f s\n", f - s;
        printf "idle processor use: %.1f %% of one core (%.3f s of processor time per second)\n",
               100 * (c1 - c0) / t / (w1 - w0), (c1 - c0) / t / (w1 - w0);
    }'
