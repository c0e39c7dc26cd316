#!/usr/bin/env bash
# Disk the player's work directory holds over create/destroy cycles of a large package, and the
# work directory's bound against two large packages at once.
#   bench/app/disk_cycles.sh [PLAYER_DIR] [MIB] [CYCLES]   (defaults: 1000 MiB, 3 cycles)
set -euo pipefail
player_dir=$(cd "${1:-$(dirname "$0")/../../build/player}" && pwd)
mib=${2:-1000}
cycles=${3:-3}
if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$player_dir" "$mib" "$cycles"
fi
cd "$player_dir"
scratch=$(mktemp -d)
trap 'kill -TERM $player 2>/dev/null || true; rm -rf "$scratch"' EXIT
python3 - "$scratch/big.zip" "$mib" <<'PY'
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED)
z.writestr('zeros.bin', bytes(int(sys.argv[2]) << 20))
z.close()
PY
port=$((20000 + RANDOM % 20000))
echo "project.net.init($port);" >"$scratch/start.cmd"
# The work directory may hold one package and a half: the second package at once is refused.
TMPDIR=$scratch VELQUIN_NO_CONFIG_DIALOG=1 VELQUIN_PACKAGE_MAX_RATIO=1000000 VELQUIN_PACKAGE_MAX_MB=$((mib + 16)) \
    VELQUIN_WORKDIR_MAX_MB=$((mib * 3 / 2 + 16)) ./velquin "$scratch/start.cmd" >/dev/null 2>&1 &
player=$!
ctl() { ./velquin-ctl -p "$port" -t 600 "$@"; }
until ./velquin-ctl -p "$port" -t 1 send 'project.title.get();' >/dev/null 2>&1; do sleep 0.2; done
work=$scratch/Velquin-$player
ctl upload "$scratch/big.zip" >/dev/null
ctl upload "$scratch/big.zip" big2.zip >/dev/null
printf "package: %d MiB unpacked from a %d kB archive\n" "$mib" "$(($(stat -c %s "$scratch/big.zip") / 1024))"
for ((i = 1; i <= cycles; ++i)); do
    ctl send 'project.resources.create("big", "big.zip");' >/dev/null
    during=$(du -sm "$work" | cut -f1)
    ctl send 'project.resources.destroy("big");' >/dev/null
    printf "cycle %d: work directory %5d MiB with the resource, %5d MiB after its destroy\n" "$i" "$during" \
        "$(du -sm "$work" | cut -f1)"
done

ctl send 'project.resources.create("big", "big.zip");' >/dev/null
second=$(ctl send 'project.resources.create("big2", "big2.zip");' || true)
printf "two packages of %d MiB at once with a bound of %d MiB: the second answered %s, work directory %d MiB\n" \
    "$mib" "$((mib * 3 / 2 + 16))" "$second" "$(du -sm "$work" | cut -f1)"
