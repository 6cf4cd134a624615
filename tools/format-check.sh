#!/bin/sh
# Fails when a C++ source of the tree is not formatted as .clang-format says.
# With --fix, formats them instead.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
FILES=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
if [ "${1:-}" = --fix ]; then
  echo "$FILES" | xargs clang-format -i
  exit 0
fi
bad=0
for f in $FILES; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || { echo "not formatted: $f"; bad=1; }
done
[ "$bad" = 0 ] || echo "format with: tools/format-check.sh --fix"
exit $bad
