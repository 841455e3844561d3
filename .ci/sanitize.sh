#!/usr/bin/env bash
# Builds the whole project (program, tests, tools) with AddressSanitizer and
# UndefinedBehaviorSanitizer in a build directory of its own and runs the
# whole test suite under them. Any failing test, sanitizer report or leak
# fails the script. Run from anywhere: bash .ci/sanitize.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-asan"
start=$SECONDS

fail() {
    echo "sanitize: FAILED ($1) after $((SECONDS - start)) s"
    exit 1
}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSVERT_SANITIZE=ON -DTESSVERT_TESTS=ON \
    || fail "configure"
cmake --build "$build" -j2 || fail "build"

# A report stops the process at once with exit status 86, which no run of the
# program gives by itself: an end-to-end test that expects 0 or 1 then fails
# too, and the report is on its standard error in the ctest log.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:exitcode=86:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:exitcode=86"
export LSAN_OPTIONS="exitcode=86"

ctest --test-dir "$build" --output-on-failure -j2 || fail "tests"
echo "sanitize: PASSED, every test under AddressSanitizer and UndefinedBehaviorSanitizer in $((SECONDS - start)) s"
