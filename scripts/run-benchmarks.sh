#!/usr/bin/env bash
# Runs every benchmark executable of the build; each prints `name: value unit` lines.
set -euo pipefail
build_dir="${1:-build}"
shopt -s nullglob
found=0
# The million-entry database several benchmarks read is generated once for all of them.
if [ -z "${TESSAL_BENCH_DATA_DIR:-}" ] && [ -x "$build_dir/cube/bench/bench_cube" ]; then
  TESSAL_BENCH_DATA_DIR="$(mktemp -d)"
  trap 'rm -rf "$TESSAL_BENCH_DATA_DIR"' EXIT
  start=$(date +%s%N)
  "$build_dir/cube/bench/bench_cube" --generate "$TESSAL_BENCH_DATA_DIR"
  echo "bench_generate_million_entries_ms: $(( ($(date +%s%N) - start) / 1000000 )) ms"
  export TESSAL_BENCH_DATA_DIR
fi
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
