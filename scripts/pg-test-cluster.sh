#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests. Source this file, then
#   pg_test_start   initdb into a temp dir, start on a free local port, export KELVARO_PG_*
#   pg_test_stop    stop the server and remove the directory (safe to call twice)
# Run directly ("scripts/pg-test-cluster.sh -- command args") to wrap one command.

pg_test_bindir() {
    local dir
    dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
    [[ -n "$dir" && -x "$dir/initdb" ]] && echo "$dir"
}

pg_test_free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# Runs a command as the cluster owner (postgres when we are root).
pg_test_as_owner() {
    if [[ $(id -u) -eq 0 ]]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

pg_test_start() {
    local bindir
    bindir=$(pg_test_bindir) || { echo "pg-test-cluster: PostgreSQL server binaries not found" >&2; return 1; }
    PG_TEST_DIR=$(mktemp -d /tmp/kelvaro-pg.XXXXXX)
    chmod 755 "$PG_TEST_DIR"
    [[ $(id -u) -eq 0 ]] && chown postgres: "$PG_TEST_DIR"
    local port
    port=$(pg_test_free_port)
    local user
    user=$([[ $(id -u) -eq 0 ]] && echo postgres || id -un)
    pg_test_as_owner "$bindir/initdb" -D "$PG_TEST_DIR/data" -U "$user" --auth=trust -E UTF8 --locale=C.UTF-8 \
        >"$PG_TEST_DIR/initdb.log" 2>&1 || { cat "$PG_TEST_DIR/initdb.log" >&2; pg_test_stop; return 1; }
    # Test data only: no fsync, so the tests do not wait for the disk
    # (PG_TEST_DURABLE=1 keeps the server's normal flushing, for benchmarks).
    local speed="-c fsync=off -c synchronous_commit=off -c full_page_writes=off"
    [[ "${PG_TEST_DURABLE:-0}" == 1 ]] && speed=""
    pg_test_as_owner "$bindir/pg_ctl" -D "$PG_TEST_DIR/data" -l "$PG_TEST_DIR/server.log" -w -t 60 \
        -o "-p $port -k $PG_TEST_DIR -c listen_addresses=127.0.0.1 $speed -c max_connections=200" \
        start >/dev/null || { cat "$PG_TEST_DIR/server.log" >&2; pg_test_stop; return 1; }
    PG_TEST_BINDIR=$bindir
    export KELVARO_PG_HOST=127.0.0.1 KELVARO_PG_PORT=$port KELVARO_PG_USER=$user KELVARO_PG_DB=postgres
    echo "pg-test-cluster: PostgreSQL on 127.0.0.1:$port ($PG_TEST_DIR)"
}

pg_test_stop() {
    [[ -n "${PG_TEST_DIR:-}" && -d "$PG_TEST_DIR" ]] || return 0
    if [[ -f "$PG_TEST_DIR/data/postmaster.pid" ]]; then
        pg_test_as_owner "${PG_TEST_BINDIR:-$(pg_test_bindir)}/pg_ctl" -D "$PG_TEST_DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$PG_TEST_DIR"
    PG_TEST_DIR=
    unset KELVARO_PG_HOST KELVARO_PG_PORT KELVARO_PG_USER KELVARO_PG_DB
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    set -euo pipefail
    [[ "${1:-}" == "--" ]] && shift
    pg_test_start
    trap pg_test_stop EXIT
    "$@"
fi
