#!/usr/bin/env bash
# Resident memory of the player over create/destroy cycles of a package with a mesh actor, and
# over save/load cycles of a project: a leak shows as memory that keeps growing with the cycles.
#   bench/app/package_cycles.sh [PLAYER_DIR] [CYCLES]   (default 1000; figures at 100 and at CYCLES)
set -euo pipefail
player_dir=$(cd "${1:-$(dirname "$0")/../../build/player}" && pwd)
cycles=${2:-1000}
if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$player_dir" "$cycles"
fi
cd "$player_dir"
scratch=$(mktemp -d)
trap 'kill -TERM $player 2>/dev/null || true; rm -rf "$scratch"' EXIT
port=$((20000 + RANDOM % 20000))
echo "project.net.init($port);" >"$scratch/start.cmd"
TMPDIR=$scratch VELQUIN_NO_CONFIG_DIALOG=1 ./velquin "$scratch/start.cmd" >/dev/null 2>&1 &
player=$!
ctl() { ./velquin-ctl -p "$port" -t 120 "$@" >/dev/null; }
until ./velquin-ctl -p "$port" -t 1 send 'project.title.get();' >/dev/null 2>&1; do sleep 0.2; done
ctl upload samples/robot.zip
rss() { awk '/VmRSS/ {print $2}' "/proc/$player/status"; }

# One cycle: the package and a mesh actor drawn from it made and destroyed again.
for ((i = 0; i < 100; ++i)); do
    echo 'project.resources.create("robot", "robot.zip");'
    echo 'project.actors.mesh.create("bot", "robot", "robot.mesh");'
    echo 'project.actors.mesh.destroy("bot");'
    echo 'project.resources.destroy("robot");'
done >"$scratch/hundred.cmd"

ctl send -f "$scratch/hundred.cmd" # warms the caches that are made once
base=$(rss)
done_cycles=0
report() { printf "after %4d create/destroy cycles: %7d kB resident (%+d kB since the first 100)\n" "$done_cycles" "$(rss)" "$(($(rss) - base))"; }
ctl send -f "$scratch/hundred.cmd"
done_cycles=100
report
while ((done_cycles < cycles)); do
    ctl send -f "$scratch/hundred.cmd"
    done_cycles=$((done_cycles + 100))
done
report

# Save and load: the project archive written, cleared and loaded back.
ctl send 'project.resources.create("robot", "robot.zip");' 'project.actors.mesh.create("bot", "robot", "robot.mesh");'
for ((i = 0; i < 100; ++i)); do
    echo 'project.save("cycle");'
    echo 'project.load("cycle.zip");'
done >"$scratch/saves.cmd"
ctl send -f "$scratch/saves.cmd"
base=$(rss)
ctl send -f "$scratch/saves.cmd"
printf "after  100 save/load cycles more: %7d kB resident (%+d kB)\n" "$(rss)" "$(($(rss) - base))"
