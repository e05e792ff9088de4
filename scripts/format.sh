#!/usr/bin/env bash
# Formats the C++ sources with the committed .clang-format (clang-format 14, Debian's).
# The generated CP932 table is left as its generator writes it.
#   usage: scripts/format.sh [--check]     --check: list the files it would change, exit 1 if any
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files 'src/*' 'tests/*' 'bench/*' | grep -E '\.(cpp|h|inc)$' | grep -v 'Cp932Table\.inc$')
if [ "${1:-}" = --check ]; then
  changed=0
  for f in "${files[@]}"; do
    if ! clang-format "$f" | cmp -s - "$f"; then echo "format: $f"; changed=1; fi
  done
  exit "$changed"
fi
clang-format -i "${files[@]}"
