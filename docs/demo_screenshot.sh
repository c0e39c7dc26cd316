#!/usr/bin/env bash
# Takes the README's picture of the demo: runs the built player from its folder on a virtual
# display with one frame of the demo's recording as its camera, sends the demo's show with
# velquin-ctl as scripts/run.sh does, waits for the robot to wave and saves the window at half
# its size (the picture is committed as docs/demo.png: it should stay small). One still frame,
# not the moving recording, so that two pictures differ only by the moment of the animations,
# and a test can tell whether the committed one is still the demo's.
#   demo_screenshot.sh PLAYER_DIR OUTPUT.png [SECONDS]
set -euo pipefail
player_dir=$(cd "$1" && pwd)
output=$2
seconds=${3:-4}
if [[ -z ${DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/velquin-screenshot-XXXXXX")
player=""
cleanup() {
    if [[ -n $player ]] && kill -0 "$player" 2>/dev/null; then
        kill -TERM "$player"
        wait "$player" || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'project.net.init(%s);\nproject.videocapture.init("File", "frames/frame-045.png@30");\n' "$port" \
    >"$scratch/start.cmd"
cd "$player_dir"
VELQUIN_NO_CONFIG_DIALOG=1 TMPDIR=$scratch ./velquin "$scratch/start.cmd" >"$scratch/player.out" 2>&1 &
player=$!
ctl() { ./velquin-ctl -p "$port" -t 20 "$@"; }
for _ in $(seq 300); do
    ctl send 'project.title.get();' >/dev/null 2>&1 && break
    kill -0 "$player" || { cat "$scratch/player.out"; exit 1; }
    sleep 0.2
done
for file in markers/letter-v.pat markers/letter-f.pat samples/robot.zip; do
    ctl upload "$file" >/dev/null
done
ctl send -f demo/show.cmd >/dev/null
ctl send 'project.actors.action("robot", "animation_loop", "Wave");' 'project.actors.action("robot", "play", "");' \
    'project.actors.action("stage", "animation_loop", "Spin");' 'project.actors.action("stage", "play", "");' >/dev/null
sleep "$seconds"
./velquin-screenshot --reduce 2 "$output" Velquinor
