#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the demo need. Idempotent: when
# everything is already there it changes nothing and does not touch the network.
#   scripts/install-deps.sh          build, tests, demo
#   scripts/install-deps.sh --bench  also the peers of the benchmarks (OpenCV's ArUco, Info-ZIP,
#                                    Redis) and the photographs of the tracking benchmark (opencv-doc)
set -euo pipefail

packages=(
    # build
    cmake g++ make pkg-config libassimp-dev libopencv-dev libeigen3-dev
    libogre-1.12-dev ogre-1.12-tools libois-dev libtinyxml-dev zlib1g-dev libjpeg62-turbo-dev libx11-dev libxrandr-dev libsdl2-dev
    fonts-dejavu-core
    # tests
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool x11-apps unzip zip python3 python3-pip procps util-linux curl
    clang libclang-rt-14-dev llvm
    dpkg-dev devscripts file desktop-file-utils ccache help2man lintian mandoc man-db
    # velquin-console (Boost.Beast/Asio and nlohmann-json are header-only) and its browser tests
    libboost-dev nlohmann-json3-dev chromium
)
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(libopencv-contrib-dev opencv-doc redis-server)
fi

# Node.js may come from elsewhere than Debian (whose nodejs and npm packages would conflict with
# it): Debian's are installed only where there is no node at all.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    packages+=(nodejs npm)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

sudo=""
if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
fi
if ((${#missing[@]} > 0)); then
    echo "installing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The console's browser tests drive Chromium with puppeteer-core, at the versions of the
# committed lock file; installed again only when the lock file changed.
console_tests="$(cd "$(dirname "$0")/.." && pwd)/tests/console"
if ! cmp -s "$console_tests/package-lock.json" "$console_tests/node_modules/.installed-lock.json"; then
    (cd "$console_tests" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
    cp "$console_tests/package-lock.json" "$console_tests/node_modules/.installed-lock.json"
fi
