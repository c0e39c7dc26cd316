#!/usr/bin/env bash
# Installs what is missing, builds the player and runs its demo from build/player/: the
# recorded camera frames with two markers, and a show sent over the remote control with
# velquin-ctl, as an authoring tool would.
# With a display the window opens there (close it or press Ctrl+C to end); without one the
# player runs on a virtual display for a few seconds (VELQUIN_DEMO_SECONDS, default 10) and a
# screenshot is saved to build/screenshot.png. The configuration dialog is skipped
# (VELQUIN_NO_CONFIG_DIALOG=1); the demo listens on port 4000, and velquin-console serves its
# authoring page on 127.0.0.1:8080 (VELQUIN_CONSOLE_LISTEN): open the address it prints.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "${VELQUIN_JOBS:-2}" --target velquin velquin-ctl velquin-console velquin-screenshot velquin_media \
    velquin_marker_files velquin_frames $(cmake --build build --target help | grep -o 'velquin_samples' || true)
export VELQUIN_NO_CONFIG_DIALOG=${VELQUIN_NO_CONFIG_DIALOG:-1}
cd build/player

# Sends the show once the player listens.
show() {
    for _ in $(seq 150); do
        ./velquin-ctl -t 5 send 'project.title.get();' >/dev/null 2>&1 && break
        sleep 0.2
    done
    for file in markers/letter-v.pat markers/letter-f.pat samples/robot.zip; do
        ./velquin-ctl upload "$file"
    done
    ./velquin-ctl send -f demo/show.cmd
}

# The authoring page for the demo's player.
console() {
    ./velquin-console --player 127.0.0.1:4000 --listen "${VELQUIN_CONSOLE_LISTEN:-127.0.0.1:8080}" &
}

if [[ -n "${DISPLAY:-}" ]]; then
    ./velquin demo/start.cmd &
    player=$!
    console
    console_process=$!
    trap 'kill -TERM $player $console_process 2>/dev/null || true' INT TERM
    show || echo "The show could not be sent; the player runs without it." >&2
    wait $player || true
    kill -TERM $console_process 2>/dev/null || true
    exit 0
fi

seconds=${VELQUIN_DEMO_SECONDS:-10}
echo "No display: running the demo on a virtual display for $seconds seconds."
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
    $(declare -f show)
    $(declare -f console)
    ./velquin demo/start.cmd &
    player=\$!
    console
    console_process=\$!
    show || echo 'The show could not be sent.' >&2
    sleep $seconds
    ./velquin-screenshot ../screenshot.png Velquinor || true
    kill -TERM \$player \$console_process
    wait \$player
"
echo "Screenshot of the window: $(cd .. && pwd)/screenshot.png"
