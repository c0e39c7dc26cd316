#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the normal build (warnings are errors),
# the ASan+UBSan build, the TSan build and the fuzz targets (clang, one minute each).
# Choose builds with VELQUIN_TEST_BUILDS, e.g. VELQUIN_TEST_BUILDS="normal" scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

builds=${VELQUIN_TEST_BUILDS:-normal asan tsan fuzz}
jobs=${VELQUIN_JOBS:-2}
export CTEST_OUTPUT_ON_FAILURE=1
status=0

configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DVELQUIN_WERROR=ON "$@" >"$dir-configure.log" 2>&1 || {
        cat "$dir-configure.log"
        return 1
    }
    cmake --build "$dir" -j "$jobs"
}

for build in $builds; do
    echo "=== $build build ==="
    case $build in
    normal)
        configure_and_build build || { status=1; continue; }
        (cd build && ctest -LE fuzz -j "$jobs") || status=1
        ;;
    asan)
        configure_and_build build-asan -DVELQUIN_SANITIZE=address -DVELQUIN_BENCH=OFF || { status=1; continue; }
        # The engine's image codec frees with delete[] what it allocated with malloc: a fault of the
        # engine's, not ours, hence alloc_dealloc_mismatch=0. Leaks are looked for in every test,
        # the players the tests start included (they inherit the options, and a leak report makes
        # a player's exit status 1, which its test sees). The build keeps the engine's plug-ins and
        # the GL driver mapped to the end, so what their globals hold is no leak and every leak
        # names its library; tests/lsan.supp says what may be suppressed there.
        (cd build-asan && ASAN_OPTIONS=detect_leaks=1:alloc_dealloc_mismatch=0 \
            LSAN_OPTIONS="suppressions=$PWD/../tests/lsan.supp:print_suppressions=0" \
            UBSAN_OPTIONS=print_stacktrace=1 ctest -LE fuzz -j "$jobs") || status=1
        ;;
    tsan)
        configure_and_build build-tsan -DVELQUIN_SANITIZE=thread -DVELQUIN_BENCH=OFF || { status=1; continue; }
        # TSan needs the fixed memory layout that high ASLR entropy breaks.
        (cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/../tests/tsan.supp" \
            setarch "$(uname -m)" -R ctest -LE "fuzz|tsan-skip" -j "$jobs") || status=1
        ;;
    fuzz)
        # Only the fuzz targets: the rest of this build is the normal build's code again, and CI's
        # time is better spent fuzzing.
        CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVELQUIN_WERROR=ON -DVELQUIN_FUZZ=ON -DVELQUIN_ENGINE=OFF \
            -DVELQUIN_BENCH=OFF >build-fuzz-configure.log 2>&1 || {
            cat build-fuzz-configure.log
            status=1
            continue
        }
        mapfile -t fuzzers < <(cd build-fuzz && ctest -N -L fuzz | sed -n 's/^ *Test *#[0-9]*: //p')
        cmake --build build-fuzz -j "$jobs" --target "${fuzzers[@]}" || { status=1; continue; }
        (cd build-fuzz && ctest -L fuzz -j "$jobs" --no-tests=ignore) || status=1
        ;;
    *)
        echo "unknown build '$build'" >&2
        status=1
        ;;
    esac
done
exit $status
