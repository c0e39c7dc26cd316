#!/usr/bin/env bash
# Measures how long a camera frame takes from the capture thread's delivery to the buffer swap
# that first shows it: the player plays the recorded frames at 30 frames per second on a
# virtual display for a while and reports the median and the 99th percentile at exit.
#   bench/app/frame_latency.sh [PLAYER_DIR] [SECONDS]
set -euo pipefail
player_dir=$(cd "${1:-$(dirname "$0")/../../build/player}" && pwd)
seconds=${2:-20}
if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$player_dir" "$seconds"
fi
cd "$player_dir"
commands=$(mktemp)
output=$(mktemp)
trap 'rm -f "$commands" "$output"' EXIT
echo 'project.videocapture.init("File", "frames@30");' >"$commands"
VELQUIN_NO_CONFIG_DIALOG=1 VELQUIN_FRAME_LATENCY=1 ./velquin "$commands" >"$output" &
player=$!
sleep "$seconds"
kill -TERM $player
wait $player || true
grep '^Frame latency' "$output" || {
    echo "no measurement; the player said:" >&2
    cat "$output" >&2
    exit 1
}
