#!/usr/bin/env bash
# Builds tessvert and the benchmark tools in Release, then times the whole
# conversion of generated scenes of 10 k, 250 k, 1 M and 4 M faces next to
# the floors measured in the same run (see bench/README.md).
#
#   bench/run_bench.sh [FACES:RUNS | groups:FACES:RUNS | bands:FACES:RUNS | pov:FACES:RUNS | gltf:FACES:RUNS ...]
#   BEFORE=REV bench/run_bench.sh ...   also times the converter of commit REV
#
# BUILD_DIR (default: build-bench at the repository root) is the build
# directory; with BEFORE, the converter of that commit (git archive) is
# built in BUILD_DIR-before and timed in turn with this one. The scenes and
# outputs go to a temporary directory under TMPDIR (default /tmp), which is
# removed at the end.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build-bench}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSVERT_BENCH=ON > /dev/null
cmake --build "$build" --target tessvert bench_driver make_scene -j2 > /dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/tessvert-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

before=()
if [ -n "${BEFORE:-}" ]; then
    rev="$(git -C "$root" rev-parse --short "$BEFORE")"
    rm -rf "$build-before/src"
    mkdir -p "$build-before/src"
    git -C "$root" archive "$rev" | tar -x -C "$build-before/src"
    cmake -S "$build-before/src" -B "$build-before/build" -DCMAKE_BUILD_TYPE=Release -DTESSVERT_TESTS=OFF > /dev/null
    cmake --build "$build-before/build" --target tessvert -j2 > /dev/null
    before=(--before "$build-before/build/tessvert")
fi

# The 4 M-face scene writes about 1.1 GB at a time (its output, then the
# write floor's file of the same size).
free_kib=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt $((3 * 1024 * 1024)) ]; then
    echo "run_bench.sh: less than 3 GiB free in $work; set TMPDIR to a roomier place" >&2
    exit 1
fi

echo "tessvert benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')," \
     "Linux $(uname -r), $(c++ --version | head -n1)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
[ -z "${BEFORE:-}" ] || echo "before: the converter of commit $rev"
echo
"$build/bench/bench_driver" "$build/tessvert" "$work" "${before[@]}" "$@"
echo
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
