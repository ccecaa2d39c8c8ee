#!/usr/bin/env bash
# The libFuzzer targets for the decoders and the reading scan, built with clang, ASan and UBSan
# (stopping at the first error) into build-fuzz/.
#
#   scripts/fuzz.sh --regression
#       What the test command runs, the same work on every run: every input of the regression
#       corpus fuzz/corpus/TARGET once, then each target for a fixed number of inputs from a
#       fixed seed, starting from that corpus.
#   scripts/fuzz.sh [SECONDS]
#       Exploration (default 1800 s per target): a random seed, the regression corpus, the
#       bmpsuite pictures and what earlier explorations kept in build-fuzz/explore/. An input
#       that crashes, leaks, overruns or times out is minimised into fuzz/corpus/TARGET as
#       found-*: rename it after what it caught and commit it with the fix.
#
# Any crash, sanitizer report, leak or time-out fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-1800}"
scripts/install-deps.sh
if [ ! -f build-fuzz/CMakeCache.txt ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLUMENVEIL_FUZZ=ON -DLUMENVEIL_BUILD_TESTS=OFF -DLUMENVEIL_BUILD_BENCH=OFF
fi
cmake --build build-fuzz --target fuzz_load fuzz_read

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
limits=(-timeout=10 -rss_limit_mb=4096 -malloc_limit_mb=3072 -max_len=65536)
runs_load=200000
runs_read=60000

# Runs fuzz_TARGET with the given arguments, its log in build-fuzz/; 1 when it found something.
run() {
    local target="$1" log="build-fuzz/fuzz_$1.log"
    shift
    if build-fuzz/fuzz/fuzz_"$target" "${limits[@]}" "$@" > "$log" 2>&1; then
        grep -E "^stat::number_of_executed_units|^Done|^INFO: seed" "$log" || true
        return 0
    fi
    tail -n 60 "$log"
    return 1
}

status=0
if [ "$mode" = --regression ]; then
    for target in load read; do
        runs_var="runs_$target"
        echo "== fuzz_$target: the regression corpus, then ${!runs_var} inputs from seed 1"
        scratch="build-fuzz/scratch/$target"
        rm -rf "$scratch" && mkdir -p "$scratch"
        run "$target" fuzz/corpus/"$target"/* || status=1
        run "$target" -seed=1 -runs="${!runs_var}" -reload=0 -print_final_stats=1 \
            -artifact_prefix=build-fuzz/ "$scratch" fuzz/corpus/"$target" || status=1
    done
    exit $status
fi

seconds="$mode"
extra=()
for folder in ../shared/testdata/bmpsuite/g ../shared/testdata/bmpsuite/q ../shared/testdata/bmpsuite/b; do
    [ -d "$folder" ] && extra+=("$folder")
done
for target in load read; do
    explore="build-fuzz/explore/$target" artifacts="build-fuzz/artifacts/$target"
    mkdir -p "$explore" "$artifacts"
    inputs=("$explore" fuzz/corpus/"$target")
    [ "$target" = load ] && inputs+=("${extra[@]}")
    echo "== fuzz_$target for ${seconds} s from a random seed"
    if ! run "$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "${inputs[@]}"; then
        status=1
        for found in "$artifacts"/*; do
            [ -f "$found" ] || continue
            kept="fuzz/corpus/$target/found-$(sha1sum "$found" | cut -c1-12)"
            build-fuzz/fuzz/fuzz_"$target" "${limits[@]}" -minimize_crash=1 -runs=20000 \
                -exact_artifact_path="$kept" "$found" > "build-fuzz/minimize_$target.log" 2>&1 ||
                true
            [ -f "$kept" ] || cp "$found" "$kept"
            echo "kept $kept: rename it after what it caught"
            rm -f "$found"
        done
    fi
done
exit $status
