#!/usr/bin/env bash
# run.sh SCRIPT [ARGS...]: one test of the browser tier (or the page's own
# unit tests) with Node; says SKIPPED and exits 77 (CTest's SKIP_RETURN_CODE)
# when Node is missing. The scripts skip the same way when Chromium or the
# npm packages (npm ci in tests/browser) are missing.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if ! command -v node >/dev/null 2>&1; then
  echo "SKIPPED: sem node (pacote nodejs)"
  exit 77
fi
script=$1
shift
exec node "$here/$script" "$@"
