#!/usr/bin/env bash
# Client 1450 reads into a PostgreSQL server; the server is stopped during the
# run and started again. The cycles must go on storing to mb.log and RB6, log
# "Fehler : Öffne Datenbank", and store into the database again afterwards.
#   scripts/reliability/postgres-stop.sh
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${KELVARO_BUILD_DIR:-$ROOT/build}
CLI=$BUILD/apps/kelvaro-cli/kelvaro-cli
WORK=$(mktemp -d /tmp/kelvaro-pgstop.XXXXXX)
source "$ROOT/scripts/pg-test-cluster.sh"
pg_test_start
PGDATA_DIR=$PG_TEST_DIR/data
PGPORT=$KELVARO_PG_PORT
pg_opts="-p $PGPORT -k $PG_TEST_DIR -c listen_addresses=127.0.0.1"
pg_ctl_as_owner() { (cd / && pg_test_as_owner "$PG_TEST_BINDIR/pg_ctl" -D "$PGDATA_DIR" -l "$PG_TEST_DIR/server.log" -w "$@"); }

BUS=$WORK/bus.json
cat > "$BUS" <<'JSON'
{"meters": [
  {"primary": 1, "id": "12345678", "baud": [2400], "medium": 4, "records": ["0406E8030000", "04134C1D0000"]},
  {"primary": 2, "id": "12345679", "baud": [2400], "medium": 4, "records": ["0406D0070000"]},
  {"primary": 5, "id": "22334455", "baud": [9600], "medium": 2, "records": ["0C0512345600"]}]}
JSON
"$BUILD/tools/mbus-sim/mbus-sim" "$BUS" --fast --link "$WORK/pty" > "$WORK/sim.log" 2>&1 &
SIM=$!
MASTER=""
cleanup() { [[ -n "$MASTER" ]] && kill "$MASTER" 2>/dev/null; kill "$SIM" 2>/dev/null; pg_test_stop; }
trap cleanup EXIT
for _ in $(seq 50); do [[ -s "$WORK/pty" ]] && break; sleep 0.1; done

# The shared database on the server (schema and the three demo meters on port 1).
psql_as_owner() { (cd / && pg_test_as_owner "$PG_TEST_BINDIR/psql" -h 127.0.0.1 -p "$PGPORT" -U "$KELVARO_PG_USER" -d "$1" -tAc "$2"); }
psql_as_owner postgres "CREATE DATABASE kelvaro1450" > /dev/null
"$CLI" db init --postgres "127.0.0.1:$PGPORT" kelvaro1450 "$KELVARO_PG_USER" --demo > /dev/null
"$CLI" demo-setup "$WORK" --device "$(cat "$WORK/pty")" --bus "$BUS" --client 1450 > /dev/null
cd "$WORK"
sed -i 's/^IntervallCom1=0\r$/IntervallCom1=10\r/' OVX.INI
grep -q '^IntervallCom1=10' OVX.INI
# dnq.conf: kind 6, the server, its user, no password, the database (scrambled with the station's key).
python3 - "$PGPORT" "$KELVARO_PG_USER" <<'PY'
import sys
key = 0x13
def scramble(t):
    out = bytearray()
    for c in t.encode("cp1252"):
        x = c ^ key
        out.append(c if x in (32, 26, 39) else x)
    return bytes(out)
vals = ["6", "127.0.0.1:" + sys.argv[1], sys.argv[2], "", "kelvaro1450", "SuperUser"]
open("dnq.conf", "wb").write(b"\r\n".join(scramble(v) for v in vals))
PY

count() { psql_as_owner kelvaro1450 "SELECT Count(*) FROM mbuswerte"; }
rb6_elements() { for f in DB1450/Z1450/*.ovx; do "$CLI" rb6 info "$f" --json; done | python3 -c 'import sys,json; print(sum(json.loads(l)["elements"] for l in sys.stdin))'; }

"$BUILD/apps/kelvaro/kelvaro" Auto -M1450 -C1 -T0 > master.out 2> master.err &
MASTER=$!
sleep 22
echo "server up:      MBusWerte rows $(count), RB6 elements $(rb6_elements)"
pg_ctl_as_owner stop -m fast > /dev/null
sleep 30
echo "server stopped: RB6 elements $(rb6_elements), mb.log 'Fehler : Öffne Datenbank' lines: $(LC_ALL=C grep -a -c 'Fehler : .ffne Datenbank' DB1450/MBusLog/*mb.log || true)"
pg_ctl_as_owner start -o "$pg_opts" > /dev/null
sleep 25
echo "server back:    MBusWerte rows $(count), RB6 elements $(rb6_elements)"
kill -TERM "$MASTER"; wait "$MASTER" || true; MASTER=""
echo "work directory: $WORK"
