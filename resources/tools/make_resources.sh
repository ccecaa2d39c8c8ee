#!/bin/sh
# Rebuilds Lumenveil's generated resources (icon, PNG icons, hand cursor, About artwork) in the
# folder above this one, then checks every resource file.
#
#     resources/tools/make_resources.sh [BUILD_DIR]
#
# Needs Qt 6 (Core, Gui), CMake, a C++20 compiler, cjpeg (libjpeg-turbo-progs) and python3.
# BUILD_DIR defaults to a fresh temporary folder, removed afterwards.
set -eu

tools=$(cd "$(dirname "$0")" && pwd)
resources=$(dirname "$tools")

if [ $# -ge 1 ]; then
    build=$1
    keep=1
else
    build=$(mktemp -d "${TMPDIR:-/tmp}/lumenveil-resources.XXXXXX")
    keep=0
fi
cleanup() { [ "$keep" = 1 ] || rm -rf "$build"; }
trap cleanup EXIT

generator=
if command -v ninja >/dev/null 2>&1; then
    generator="-G Ninja"
fi
# shellcheck disable=SC2086 # $generator is empty or two words
cmake -S "$tools" -B "$build" $generator -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2

QT_QPA_PLATFORM=offscreen "$build/make_resources" "$resources"
python3 "$tools/check_resources.py" "$resources"
