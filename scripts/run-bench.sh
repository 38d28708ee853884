#!/usr/bin/env bash
# Runs every benchmark; each prints `name: value` lines.
set -euo pipefail
build=${1:-build}
status=0
for bench in $(find "$build/bench" -maxdepth 2 -type f -name 'bench_*' -executable ! -name '*_server' | sort); do
  echo "# $(basename "$bench")" >&2
  "$bench" || status=1
done
exit $status
