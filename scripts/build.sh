#!/usr/bin/env bash
# Builds Lumenveil into build/ (configured once, then only rebuilt): the given targets, or
# everything, tests and benchmarks included.
#
#   scripts/build.sh [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMENVEIL_WERROR=ON
fi
if [ $# -gt 0 ]; then
    cmake --build build --target "$@"
else
    cmake --build build
fi
