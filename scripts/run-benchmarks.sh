#!/usr/bin/env bash
# Runs every benchmark executable of the build; each prints `name: value unit` lines.
set -euo pipefail
build_dir="${1:-build}"
shopt -s nullglob
found=0
for b in "$build_dir"/*/bench/bench_*; do
  if [ -x "$b" ] && [ -f "$b" ]; then
    found=1
    echo "# $(basename "$b")"
    QT_QPA_PLATFORM=offscreen "$b"
  fi
done
if [ "$found" -eq 0 ]; then
  echo "no benchmarks built" >&2
  exit 1
fi
