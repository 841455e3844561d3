#!/usr/bin/env bash
# Builds the whole project (program, tests, tools) under sanitizers in a
# build directory of its own and runs the whole test suite under them. Any
# failing test or sanitizer report fails the script.
#
#   bash .ci/sanitize.sh           AddressSanitizer and UndefinedBehaviorSanitizer
#                                  (leaks included), in build-asan
#   bash .ci/sanitize.sh thread    ThreadSanitizer, in build-tsan: the end-to-end
#                                  tests convert on 7 threads, and the thread
#                                  tests on 1, 2 and 7, so a data race or
#                                  lock-order inversion in a conversion fails
#                                  its test
#
# The tests that measure memory under a limit leave themselves out of these
# builds. Run from anywhere.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
kind="${1:-address}"
start=$SECONDS

case "$kind" in
address)
    name=sanitize
    build="$root/build-asan"
    flags=(-DTESSVERT_SANITIZE=ON)
    ;;
thread)
    name=tsan
    build="$root/build-tsan"
    flags=(-DTESSVERT_TSAN=ON)
    ;;
*)
    echo "usage: bash .ci/sanitize.sh [address|thread]" >&2
    exit 2
    ;;
esac

fail() {
    echo "$name: FAILED ($1) after $((SECONDS - start)) s"
    exit 1
}

# Optimised, but with the assertions of the preconditions checked.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" \
    "${flags[@]}" -DTESSVERT_TESTS=ON -DTESSVERT_WERROR=ON || fail "configure"
cmake --build "$build" -j2 || fail "build"

# A report stops the process at once with exit status 86, which no run of the
# program gives by itself: an end-to-end test that expects 0 or 1 then fails
# too, and the report is on its standard error in the ctest log.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:exitcode=86:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:exitcode=86"
export LSAN_OPTIONS="exitcode=86"
export TSAN_OPTIONS="halt_on_error=1:exitcode=86:second_deadlock_stack=1"

ctest --test-dir "$build" --output-on-failure -j2 || fail "tests"
echo "$name: PASSED, every test under the $kind sanitizers in $((SECONDS - start)) s"
