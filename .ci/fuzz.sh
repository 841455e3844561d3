#!/usr/bin/env bash
# Builds the libFuzzer target (clang 14, AddressSanitizer and
# UndefinedBehaviorSanitizer) in a build directory of its own, replays the
# committed findings in fuzz/regressions/, then fuzzes for a bounded time from
# the seeds that fuzz/make_seeds writes, with the chunk id dictionary.
# Fails on any crash, sanitizer report, leak, input slower than 1 s or over
# 512 MB; the inputs that caused it are then copied into fuzz/regressions/,
# to be committed with the fix. Run from anywhere: bash .ci/fuzz.sh
#
# TESSVERT_FUZZ_SECONDS sets the fuzzing time (default 110).
set -euo pipefail
shopt -s nullglob

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-fuzz"
regressions="$root/fuzz/regressions"
seconds="${TESSVERT_FUZZ_SECONDS:-110}"
start=$SECONDS

fail() {
    echo "fuzz: FAILED ($1) after $((SECONDS - start)) s"
    exit 1
}

# The fuzzer runtime of clang 14.
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || (apt-get update && apt-get install -y libclang-rt-14-dev) \
    || fail "cannot install libclang-rt-14-dev"
compiler=clang++
command -v clang++-14 >/dev/null 2>&1 && compiler=clang++-14

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSVERT_FUZZ=ON -DTESSVERT_TESTS=OFF || fail "configure"
cmake --build "$build" -j2 --target fuzz_convert make_seeds || fail "build"

work="$(mktemp -d "${TMPDIR:-/tmp}/tessvert-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts" "$work/tmp"
"$build/fuzz/make_seeds" "$work/seeds" || fail "seed generation"

# Every report ends the process with a non-zero status. The quarantine of
# freed memory is kept below its default so that it does not count towards
# the 512 MB limit of an input.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:quarantine_size_mb=64:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export TMPDIR="$work/tmp"

# Copies what the fuzzer saved into fuzz/regressions/, shows the report of
# the first of them, and fails.
report_findings() {
    local copied=0 first=""
    for f in "$work"/artifacts/*; do
        [ -f "$f" ] || continue
        cp "$f" "$regressions/" && copied=$((copied + 1))
        [ -n "$first" ] || first="$f"
    done
    if [ -n "$first" ]; then
        echo "fuzz: the report for $(basename "$first"):"
        "$build/fuzz/fuzz_convert" -timeout=1 -rss_limit_mb=512 "$first" 2>&1 | grep -vE 'NEW_FUNC' | tail -n 40 || true
        echo "fuzz: reproduce with: $build/fuzz/fuzz_convert fuzz/regressions/$(basename "$first")"
    fi
    echo "fuzz: $copied input(s) copied into fuzz/regressions/"
    fail "$1"
}

# The seeds and the earlier findings first, each run once: all must run
# cleanly. (The fork mode below would set aside a crashing seed silently.)
for f in "$regressions"/*; do
    [ -f "$f" ] && [ "$(basename "$f")" != README.md ] && cp "$f" "$work/seeds/"
done
"$build/fuzz/fuzz_convert" -runs=0 -timeout=1 -rss_limit_mb=512 -detect_leaks=1 \
    -artifact_prefix="$work/artifacts/" "$work/seeds" >"$work/replay.log" 2>&1 || {
    tail -n 40 "$work/replay.log"
    report_findings "a seed or a committed finding fails"
}

# Two fuzzing processes use both cores. A crash, timeout, OOM or leak leaves
# its input in the artifacts folder, which is checked as well as the status.
status=0
timeout --kill-after=10 $((seconds + 120)) "$build/fuzz/fuzz_convert" -fork=2 -ignore_crashes=0 -ignore_timeouts=0 -ignore_ooms=0 \
    -max_total_time="$seconds" -timeout=1 -rss_limit_mb=512 -max_len=4096 -detect_leaks=1 \
    -dict="$root/fuzz/3ds.dict" -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
    "$work/corpus" "$work/seeds" >"$work/fuzz.log" 2>&1 || status=$?

found=("$work"/artifacts/*)
if [ "$status" -ne 0 ] || [ "${#found[@]}" -gt 0 ] \
    || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY: ' "$work/fuzz.log"; then
    grep -vE 'NEW_FUNC' "$work/fuzz.log" | tail -n 30
    report_findings "fuzzer exit status $status, ${#found[@]} saved input(s)"
fi

grep -E '^#[0-9]+' "$work/fuzz.log" | tail -n 2
runs="$(grep -oE '^#[0-9]+' "$work/fuzz.log" | tail -n 1 | tr -d '#')"
echo "fuzz: PASSED, ${runs:-0} inputs in ${seconds} s of fuzzing without a crash, report, leak, timeout or OOM ($((SECONDS - start)) s in all)"
