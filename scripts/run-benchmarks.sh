#!/usr/bin/env bash
# Runs every benchmark executable of the build; each prints `name: value unit` lines. The server
# figures (pg_*) are measured on a throwaway PostgreSQL cluster started here, on a Unix socket,
# with commits flushed to disk as on a real installation.
set -euo pipefail
build_dir="${1:-build}"
here="$(cd "$(dirname "$0")" && pwd)"
shopt -s nullglob
found=0
cleanup() {
  [ -n "${cluster:-}" ] && "$here/pg-cluster.sh" stop "$cluster"
  [ -n "${generated:-}" ] && rm -rf "$generated"
  return 0
}
trap cleanup EXIT
if [ -z "${TESSAL_TEST_PG_URI:-}" ]; then
  cluster="$(mktemp -d /tmp/tessal-pg-bench.XXXXXX)"
  if uri="$(TESSAL_PG_DURABLE=1 "$here/pg-cluster.sh" start "$cluster")"; then
    export TESSAL_TEST_PG_URI="$uri"
  else
    echo "AVISO: PostgreSQL não está disponível; as medidas no servidor (pg_*) não serão feitas." >&2
  fi
fi
# The million-entry database several benchmarks read is generated once for all of them.
if [ -z "${TESSAL_BENCH_DATA_DIR:-}" ] && [ -x "$build_dir/cube/bench/bench_cube" ]; then
  TESSAL_BENCH_DATA_DIR="$(mktemp -d)"
  generated="$TESSAL_BENCH_DATA_DIR"
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
# Four workstations posting at once on the server, and the consistency of every account after.
if [ -n "${TESSAL_TEST_PG_URI:-}" ] && [ -x "$build_dir/ledger/load/tessal_loadtest" ]; then
  echo "# tessal_loadtest"
  TESSAL_TEST_ENGINE=postgresql "$build_dir/ledger/load/tessal_loadtest" --clients 4 \
    --seconds 30 --posts-only --prefix pg_
fi
if [ "$found" -eq 0 ]; then
  echo "no benchmarks built" >&2
  exit 1
fi
