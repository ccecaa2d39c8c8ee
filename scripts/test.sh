#!/usr/bin/env bash
# Builds Lumenveil and runs every test twice: in the normal build, then in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer (both stopping at the first error). Between
# the two, the fuzz targets replay their regression corpus and run a fixed number of inputs
# from a fixed seed. Then the Windows stage: the cross-build, its tests under Wine and the
# packages a Windows user downloads (scripts/windows.sh; its toolchain is built once and
# cached outside the clone). Every run of one commit does the same work.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir build --output-on-failure -j2

scripts/fuzz.sh --regression

if [ ! -f build-asan/CMakeCache.txt ]; then
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMENVEIL_SANITIZE=ON \
        -DLUMENVEIL_WERROR=ON -DLUMENVEIL_BUILD_BENCH=OFF
fi
cmake --build build-asan
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-asan --output-on-failure -j2

scripts/windows.sh test
