#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs each for SECONDS (default 60) from a seed corpus it generates.
# Any crash, sanitizer report, leak or time-out fails the script; the input that caused it is
# left in build-fuzz/artifacts/.
set -euo pipefail
seconds="${1:-60}"
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ ! -f build-fuzz/CMakeCache.txt ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLUMENVEIL_FUZZ=ON -DLUMENVEIL_BUILD_TESTS=OFF -DLUMENVEIL_BUILD_BENCH=OFF
fi
cmake --build build-fuzz --target fuzz_load fuzz_read fuzz_corpus

corpus=build-fuzz/corpus
mkdir -p "$corpus/load" "$corpus/read" build-fuzz/artifacts
build-fuzz/fuzz/fuzz_corpus "$corpus/load" "$corpus/read"
extra=()
for folder in ../shared/testdata/bmpsuite/g ../shared/testdata/bmpsuite/q ../shared/testdata/bmpsuite/b; do
    [ -d "$folder" ] && extra+=("$folder")
done

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for target in load read; do
    inputs=("$corpus/$target")
    [ "$target" = load ] && inputs+=("${extra[@]}")
    echo "== fuzz_$target for ${seconds} s"
    if ! build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -malloc_limit_mb=3072 -max_len=65536 -print_final_stats=1 \
        -artifact_prefix=build-fuzz/artifacts/ "${inputs[@]}" 2> "build-fuzz/fuzz_$target.log"; then
        tail -n 60 "build-fuzz/fuzz_$target.log"
        status=1
    fi
    grep -E "^stat::(number_of_executed_units|peak_rss_mb)|^Done" "build-fuzz/fuzz_$target.log" || true
done
exit $status
