#!/usr/bin/env bash
# One --batch run against one process per file on the same threads.
#
#   bench/batch_vs_loop.sh                        # the corpus folders beside the repository
#   bench/batch_vs_loop.sh DIR...                 # folders of .3ds files
#   TESSVERT=build/tessvert THREADS=2 RUNS=9 bench/batch_vs_loop.sh
#
# Each round converts every file three ways, in turn: `tessvert --batch OUT
# --threads T DIR...`; one process per file, T at a time (`xargs -P T`, each
# with --threads 1); one process per file after the other (each with
# --threads T). Each way writes into `out/` of a working folder of its own,
# so that the scene files name their include files alike. It prints the
# median wall-clock seconds of each, the ratios, and checks that every pair
# the batch wrote equals the loops' pairs.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
tessvert=${TESSVERT:-$here/build/tessvert}
threads=${THREADS:-$(nproc)}
runs=${RUNS:-9}
if [ $# -eq 0 ]; then set -- "$here"/../shared/corpus/3ds/*/; fi
dirs=()
for dir in "$@"; do dirs+=("$(cd "$dir" && pwd)"); done
set -- "${dirs[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=()
for dir in "$@"; do
  while IFS= read -r f; do files+=("$f"); done < <(find "$dir" -maxdepth 1 -type f -iname '*.3ds' | LC_ALL=C sort)
done
echo "${#files[@]} files in $#" folders, "$threads" threads, "$runs" rounds, load: "$(cut -d' ' -f1-3 /proc/loadavg)"

now() { date +%s.%N; }
batch=() parallel=() serial=()
for ((r = 0; r < runs; ++r)); do
  rm -rf "$work"/batch "$work"/parallel "$work"/serial
  mkdir -p "$work"/batch "$work"/parallel/out "$work"/serial/out
  t0=$(now)
  (cd "$work"/batch && "$tessvert" --batch out --threads "$threads" -q "$@" >/dev/null) || true
  t1=$(now)
  (cd "$work"/parallel && printf '%s\0' "${files[@]}" |
    xargs -0 -P "$threads" -I{} "$tessvert" -q --threads 1 -i {} -o out/ >/dev/null) || true
  t2=$(now)
  (cd "$work"/serial && for f in "${files[@]}"; do "$tessvert" -q --threads "$threads" -i "$f" -o out/ >/dev/null || true; done)
  t3=$(now)
  batch+=("$(echo "$t1 - $t0" | bc)") parallel+=("$(echo "$t2 - $t1" | bc)") serial+=("$(echo "$t3 - $t2" | bc)")
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
b=$(median "${batch[@]}") p=$(median "${parallel[@]}") s=$(median "${serial[@]}")
printf 'batch, one process:                 %.3f s\n' "$b"
printf 'one process a file, %2d at a time:   %.3f s  (%.2f times the batch)\n' "$threads" "$p" "$(echo "$p / $b" | bc -l)"
printf 'one process a file, one at a time:  %.3f s  (%.2f times the batch)\n' "$s" "$(echo "$s / $b" | bc -l)"
if diff -r "$work"/batch "$work"/parallel >/dev/null && diff -r "$work"/batch "$work"/serial >/dev/null; then
  echo "same pairs: yes ($(ls "$work"/batch/out | wc -l) files)"
else
  echo "same pairs: NO"
  exit 1
fi
