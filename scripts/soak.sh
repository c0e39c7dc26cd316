#!/usr/bin/env bash
# The player under load, faults and hostile clients for a set time (default 600 seconds):
#   scripts/soak.sh [SECONDS]
# CI runs a short version (about 40 seconds) with the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
seconds=${1:-600}
cmake -S . -B build >/dev/null
cmake --build build -j "${VELQUIN_JOBS:-2}" --target velquin velquin-soak velquin_media velquin_marker_files \
    velquin_frames velquin_samples
exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/soak/velquin-soak build/player "$seconds"
