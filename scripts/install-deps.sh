#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the demo need. Idempotent: when
# everything is already there it changes nothing and does not touch the network.
#   scripts/install-deps.sh          build, tests, demo
#   scripts/install-deps.sh --bench  also the peers of the benchmarks (OpenCV, Info-ZIP)
set -euo pipefail

packages=(
    # build
    cmake g++ make pkg-config libassimp-dev
    libogre-1.12-dev ogre-1.12-tools libois-dev libtinyxml-dev zlib1g-dev libjpeg62-turbo-dev libx11-dev libxrandr-dev libsdl2-dev
    fonts-dejavu-core
    # tests
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool x11-apps unzip zip python3 python3-pip procps util-linux
    clang libclang-rt-14-dev llvm
    dpkg-dev devscripts file desktop-file-utils ccache help2man lintian mandoc man-db
)
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(libopencv-contrib-dev libopencv-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
fi
echo "installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
