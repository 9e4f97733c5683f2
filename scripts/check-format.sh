#!/usr/bin/env bash
# Fails, listing the files, when a C++ file of the repository is not formatted as the
# repository's .clang-format asks. `scripts/check-format.sh --fix` formats them in place.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=()
for f in "${files[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
    printf 'check-format: not formatted (run scripts/check-format.sh --fix):\n'
    printf '  %s\n' "${bad[@]}"
    exit 1
fi
echo "check-format: ${#files[@]} files formatted as .clang-format asks"
