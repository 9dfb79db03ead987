#!/usr/bin/env bash
# Runs every test of a build tree. The database-facing tests run on SQLite and, against a
# throwaway PostgreSQL cluster started here (scripts/pg-cluster.sh) and stopped afterwards, on the
# server too: they find it through TESSAL_TEST_PG_URI. When PostgreSQL is not installed the
# server half of those tests is skipped, each saying so, and this script says so too.
set -euo pipefail
build_dir="${1:-build}"
jobs="${2:-$(nproc)}"
here="$(cd "$(dirname "$0")" && pwd)"

cluster="$(mktemp -d /tmp/tessal-pg.XXXXXX)"
cleanup() { "$here/pg-cluster.sh" stop "$cluster"; }
trap cleanup EXIT
if uri="$("$here/pg-cluster.sh" start "$cluster")"; then
  export TESSAL_TEST_PG_URI="$uri"
  echo "PostgreSQL de teste: $uri"
else
  echo "AVISO: PostgreSQL não está disponível; a metade dos testes no servidor será pulada." >&2
fi
cd "$build_dir"
ctest --output-on-failure -j "$jobs"
