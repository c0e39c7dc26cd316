#!/usr/bin/env bash
# Runs bench/console/console_bench.mjs on a virtual display: the console's round trip of
# inspector changes and the 10,000-event burst (see the script).
#   bench/console/console_bench.sh PLAYER_DIR [CHANGES]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export VELQUIN_PLAYER_DIR=$(cd "${1:-build/player}" && pwd)
shift || true
exec xvfb-run -a -s "-screen 0 1280x1024x24" node "$here/console_bench.mjs" "$@"
