#!/usr/bin/env bash
# Measures what the test suite reaches: a Debug build with --coverage in build-cov/, every test,
# then gcovr's line and branch coverage of the program's own folders. Branches that cannot be
# taken and the compiler's exception paths are left out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ ! -f build-cov/CMakeCache.txt ]; then
    cmake -S . -B build-cov -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMENVEIL_COVERAGE=ON \
        -DLUMENVEIL_BUILD_BENCH=OFF
fi
# Counts from an earlier build would clash with the new one (the build runs lumenveil-cli to
# write its manual page), and notes of objects the build no longer makes would count as lines
# never run.
find build-cov -name '*.gcda' -delete
cmake --build build-cov
ninja -C build-cov -t cleandead > /dev/null
find build-cov -name '*.gcno' | while read -r notes; do
    [ -f "${notes%.gcno}.o" ] || rm -f "$notes"
done
find build-cov -name '*.gcda' -delete
ctest --test-dir build-cov --output-on-failure -j2 || echo "coverage: some tests failed"
gcovr --root . --object-directory build-cov \
    --filter 'codec/' --filter 'picture/' --filter 'cli/' --filter 'ui/' --filter 'app/' \
    --exclude-unreachable-branches --exclude-throw-branches \
    --print-summary --txt build-cov/coverage.txt --html-details build-cov/coverage.html
