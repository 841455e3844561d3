#!/usr/bin/env bash
# Checks that the C++ files this change touches are formatted as
# .clang-format says. The change is what differs from main's merge base
# (BASE=<commit> names another base); on main itself, from the previous
# commit; in a clone that holds a single commit, every file.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

format=clang-format
command -v clang-format-14 >/dev/null 2>&1 && format=clang-format-14

base="${BASE:-}"
for main in main origin/main; do
    [ -z "$base" ] || break
    git rev-parse -q --verify "$main" >/dev/null || continue
    [ "$(git rev-parse HEAD)" != "$(git rev-parse "$main")" ] || continue
    base="$(git merge-base HEAD "$main" 2>/dev/null || true)"
done
if [ -z "$base" ]; then
    base="$(git rev-parse -q --verify HEAD~1 2>/dev/null || true)"
fi

files=()
if [ -n "$base" ]; then
    while IFS= read -r f; do files+=("$f"); done < <(git diff --name-only --diff-filter=ACMR "$base" -- '*.cpp' '*.hpp')
else
    while IFS= read -r f; do files+=("$f"); done < <(git ls-files -- '*.cpp' '*.hpp')
fi

if [ ${#files[@]} -eq 0 ]; then
    echo "format: no C++ file changed"
    exit 0
fi
"$format" --dry-run --Werror "${files[@]}" || {
    echo "format: FAILED; run: $format -i ${files[*]}"
    exit 1
}
echo "format: ${#files[@]} changed files as .clang-format says"
