#!/usr/bin/env bash
# Builds the whole project (program, tests, tools) with ThreadSanitizer in a
# build directory of its own and runs the test suite under it. The
# end-to-end tests convert with as many threads as the machine has CPUs, and
# the thread tests with 1, 2 and 7: any data race, lock-order inversion or
# other report in a conversion fails its test, as does any failing test.
# The two tests that measure memory under a limit are left out by the tests
# themselves in this build. Run from anywhere: bash .ci/tsan.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-tsan"
start=$SECONDS

fail() {
    echo "tsan: FAILED ($1) after $((SECONDS - start)) s"
    exit 1
}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSVERT_TSAN=ON -DTESSVERT_TESTS=ON \
    || fail "configure"
cmake --build "$build" -j2 || fail "build"

# A report stops the process at once with exit status 86, which no run of the
# program gives by itself: an end-to-end test that expects 0 or 1 then fails,
# with the report on its standard error in the ctest log.
export TSAN_OPTIONS="halt_on_error=1:exitcode=86:second_deadlock_stack=1"

ctest --test-dir "$build" --output-on-failure -j2 || fail "tests"
echo "tsan: PASSED, every test under ThreadSanitizer in $((SECONDS - start)) s"
