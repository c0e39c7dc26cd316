#!/usr/bin/env bash
# Builds and runs every benchmark (installs the benchmark peers first).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --bench
cmake -S . -B build >/dev/null
cmake --build build -j "${VELQUIN_JOBS:-2}"
for bench in build/bench/bench_* build/bench/*/bench_*; do
    [[ -x $bench ]] || continue
    echo "=== $(basename "$bench") ==="
    "$bench"
done
for script in bench/app/idle_cpu.sh bench/app/frame_latency.sh bench/console/console_bench.sh; do
    echo "=== $(basename "$script") ==="
    "$script" build/player
done
