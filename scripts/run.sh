#!/usr/bin/env bash
# Installs what is missing, builds the player and runs it from build/player/.
# With a display the window opens there; without one the player runs on a virtual display
# for a few seconds (VELQUIN_DEMO_SECONDS, default 8) and a screenshot is saved to
# build/screenshot.png. The configuration dialog is skipped (VELQUIN_NO_CONFIG_DIALOG=1).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "${VELQUIN_JOBS:-2}" --target velquin velquin-screenshot velquin_media
export VELQUIN_NO_CONFIG_DIALOG=${VELQUIN_NO_CONFIG_DIALOG:-1}
cd build/player
if [[ -n "${DISPLAY:-}" ]]; then
    exec ./velquin "$@"
fi

seconds=${VELQUIN_DEMO_SECONDS:-8}
echo "No display: running the player on a virtual display for $seconds seconds."
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    ./velquin "$@" &
    player=$!
    sleep '"$seconds"'
    ./velquin-screenshot ../screenshot.png Velquinor || true
    kill -TERM $player
    wait $player
' velquin "$@"
echo "Screenshot of the window: $(cd .. && pwd)/screenshot.png"
