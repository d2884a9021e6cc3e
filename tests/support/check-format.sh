#!/usr/bin/env bash
# Fails when a C++ source of the repository is not as clang-format (the
# repository's .clang-format) would write it, naming each place.
# Usage: check-format.sh SOURCE_DIR CLANG_FORMAT
set -euo pipefail
cd "$1"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z -- '*.cpp' '*.h' | xargs -0 "$2" --dry-run --Werror
else
  find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0 |
    xargs -0 "$2" --dry-run --Werror
fi
