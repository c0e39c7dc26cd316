#!/usr/bin/env bash
# Installs what is missing, builds the player and runs its main job from build/player/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "${VELQUIN_JOBS:-2}"
if [[ ! -x build/player/velquin ]]; then
    echo "The player itself is not built yet: this checkout has the foundation only"
    echo "(platform utilities and the ZIP writer, see README). Build finished."
    exit 0
fi
cd build/player
exec ./velquin "$@"
