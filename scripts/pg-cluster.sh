#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests and the benchmarks, listening only on a Unix socket
# inside its own directory (no TCP port is opened).
#
#   scripts/pg-cluster.sh start DIR   creates and starts a cluster in DIR (which must not exist or
#                                     be empty) and prints its connection URI on stdout
#   scripts/pg-cluster.sh stop DIR    stops it and removes DIR
#
# A test cluster skips the flushes to disk that make commits durable; with TESSAL_PG_DURABLE=1
# it keeps the server's own settings, as the benchmarks want, so that a commit costs what it costs
# on a real installation.
#
# The server refuses to run as root, so under root (containers, CI) the cluster belongs to the
# `postgres` account the Debian package creates, and the clients connect through the socket as the
# cluster's superuser "tessal" with trust authentication, which only the socket's directory
# permissions guard: fine for a temporary test cluster, never for real books.
set -euo pipefail

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
action="$1"
dir="$2"

bindir=""
for candidate in /usr/lib/postgresql/*/bin; do
  if [ -x "$candidate/initdb" ]; then
    bindir="$candidate"
  fi
done

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

case "$action" in
  start)
    if [ -z "$bindir" ]; then
      echo "PostgreSQL is not installed (no initdb under /usr/lib/postgresql)" >&2
      exit 3
    fi
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
    if [ "$(id -u)" -eq 0 ]; then
      chown postgres: "$dir"
      # The socket's directory must be reachable by the clients, which run as root.
      chmod 755 "$dir"
    fi
    as_owner "$bindir/initdb" -D "$dir/data" -U tessal --auth=trust -E UTF8 --locale=C.UTF-8 \
      >"$dir/initdb.log" 2>&1 || {
      cat "$dir/initdb.log" >&2
      exit 1
    }
    # Fast and throwaway: no durability is needed for a cluster that lives as long as a test run.
    durability="-c fsync=off -c synchronous_commit=off -c full_page_writes=off"
    if [ "${TESSAL_PG_DURABLE:-0}" = 1 ]; then
      durability=""
    fi
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start \
      -o "-c listen_addresses='' -c unix_socket_directories='$dir' $durability \
          -c max_connections=60" \
      >/dev/null || {
      cat "$dir/server.log" >&2
      exit 1
    }
    as_owner "$bindir/createdb" -h "$dir" -U tessal tessal
    # The URI's host is the socket's directory, percent-encoded as libpq reads it.
    encoded="$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$dir")"
    echo "postgresql://tessal@${encoded}/tessal"
    ;;
  stop)
    if [ -d "$dir/data" ] && [ -n "$bindir" ]; then
      as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *)
    usage
    ;;
esac
