#!/usr/bin/env bash
# A station soak with faults: three ports of 20 simulated meters (port 2 over
# TCP, the others on pseudo-terminals), the headless overview supervising their
# masters on 2-second cycles with the index export on, and at random moments
# SIGKILL of a master, a line that goes away and comes back, a full disk for
# 30 seconds, a log import of the day, an editor-style save of meters and
# index lists and (client 1450, PostgreSQL) a database server restart; at the
# end SIGTERM of everything, then check-soak.py over what was stored.
#   scripts/reliability/soak.sh MINUTES [--client 1450|1320] [--seed N]
# Client 1450 (default) stores into a throw-away PostgreSQL cluster, client
# 1320 into its SQLite file. Needs root (tmpfs for the data directory).
# Every injected fault goes with its times into WORK/faults.tsv; memory and
# open files of the masters are sampled into WORK/samples.tsv.
set -Eeuo pipefail
trap 'echo "soak: line $LINENO: \"$BASH_COMMAND\" failed" >&2' ERR
ROOT=${SOAK_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
# Bash reads a script as it runs it: run a copy, so that the checkout may change meanwhile.
if [[ -z "${SOAK_ROOT:-}" ]]; then
    copy=$(mktemp /tmp/kelvaro-soak-script.XXXXXX)
    cp "$0" "$copy"
    SOAK_ROOT=$ROOT exec bash "$copy" "$@"
fi
rm -f "$0"
BUILD=${KELVARO_BUILD_DIR:-$ROOT/build}
HERE=$ROOT/scripts/reliability
MINUTES=${1:?usage: soak.sh MINUTES [--client 1450|1320] [--seed N]}
shift
CLIENT=1450
SEED=$RANDOM
while [[ $# -gt 0 ]]; do
    case $1 in
        --client) CLIENT=$2; shift 2 ;;
        --seed) SEED=$2; shift 2 ;;
        *) echo "soak.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[[ $(id -u) -eq 0 ]] || { echo "soak.sh: needs root (tmpfs mount)" >&2; exit 2; }
PORTS=3
METERS=${SOAK_METERS:-20}
RANDOM=$SEED

WORK=$(mktemp -d /tmp/kelvaro-soak.XXXXXX)
BIN=$WORK/bin
INST=$WORK/inst
mkdir -p "$BIN" "$INST" "$WORK/sim" "$WORK/out"
echo "soak: $MINUTES minutes, client $CLIENT, seed $SEED, work directory $WORK"

# Others rebuild the build tree meanwhile: the soak runs copies of its programs.
for p in apps/kelvaro/kelvaro apps/kelvaro-overview/kelvaro-overview apps/kelvaro-cli/kelvaro-cli tools/mbus-sim/mbus-sim; do
    cp "$BUILD/$p" "$BIN/"
done
cp "$ROOT/scripts/pg-test-cluster.sh" "$HERE/check-soak.py" "$HERE/soak_setup.py" "$WORK/"
for p in "$BIN"/*; do "$p" --version > /dev/null; done
export QT_QPA_PLATFORM=offscreen

FAULTS=$WORK/faults.tsv
printf 'time\tevent\tkind\tdetail\n' > "$FAULTS"
fault() { printf '%s\t%s\t%s\t%s\n' "$(date +%s.%N)" "$1" "$2" "${3:-}" >> "$FAULTS"; }

# The data directory on a tmpfs of its own, so that it can be filled. Each log
# import moves the RB6 files aside and writes a new set.
IMPORTS=$(( MINUTES / 30 > 0 ? MINUTES / 30 : 1 ))
RB6_SETS=$(( IMPORTS + 1 ))
TMPFS_MB=$(( PORTS * METERS * 3 * 7 * RB6_SETS + 512 ))
mount -t tmpfs -o size=${TMPFS_MB}m kelvaro-soak "$INST"

SIMS=()
PG_STARTED=0
OVERVIEW=""
SAMPLER=""
cleanup() {
    set +e
    [[ -n "$SAMPLER" ]] && kill "$SAMPLER" 2>/dev/null
    [[ -n "$OVERVIEW" ]] && kill "$OVERVIEW" 2>/dev/null
    for pid in $(master_pids); do kill -9 "$pid" 2>/dev/null; done
    for pid in "${SIMS[@]}"; do [[ -n "$pid" ]] && kill "$pid" 2>/dev/null; done
    [[ $PG_STARTED == 1 ]] && pg_test_stop > /dev/null 2>&1
    rm -f "$INST/filler"
    cd /
    for _ in $(seq 50); do [[ -z "$(master_pids)" ]] && break; sleep 0.1; done
    if mountpoint -q "$INST"; then
        # Keep the installation (RB6 files sparse again) for a second look.
        mkdir -p "$WORK/installation"
        cp -a --sparse=always "$INST/." "$WORK/installation/" 2>/dev/null
        for _ in $(seq 20); do umount "$INST" 2>/dev/null && break; sleep 0.5; done
        if mountpoint -q "$INST"; then umount -l "$INST"; fi
    fi
    return 0
}
trap cleanup EXIT

# The masters of this soak: our copy of kelvaro, running in our installation.
master_pids() {
    local p
    for p in /proc/[0-9]*; do
        [[ "$(readlink "$p/exe" 2>/dev/null)" == "$BIN/kelvaro" ]] && echo "${p#/proc/}"
    done
    return 0
}
master_port() { tr '\0' ' ' < "/proc/$1/cmdline" 2>/dev/null | grep -o -- '-C[0-9]*' | cut -c3-; }
master_of_port() {
    local pid
    for pid in $(master_pids); do [[ "$(master_port "$pid")" == "$1" ]] && { echo "$pid"; return 0; }; done
    return 0
}

# Simulators: port 2 is a device server on TCP, the others are pseudo-terminals
# reached through a stable name (as a udev by-id link), renewed at each start.
TCP_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
device_of() { [[ $1 == 2 ]] && echo "tcp://127.0.0.1:$TCP_PORT" || echo "$WORK/line$1"; }
start_sim() {
    local port=$1 n=$(( ${SIM_STARTS[$1]:-0} + 1 )) link=$WORK/sim/where$1
    SIM_STARTS[$port]=$n
    # The pseudo-terminal lines answer at once (2-second cycles), the device
    # server with the wire time of 2400 Bd (a cycle of about 12 s).
    local line=(--link "$link" --fast)
    [[ $port == 2 ]] && line=(--link "$link" --tcp "$TCP_PORT" --baud 2400)
    rm -f "$link"
    "$BIN/mbus-sim" "$WORK/bus$port.json" "${line[@]}" > "$WORK/sim/sim$port.$n.log" 2>&1 &
    SIMS[$port]=$!
    for _ in $(seq 100); do [[ -s "$link" ]] && break; sleep 0.1; done
    [[ -s "$link" ]] || { echo "soak: simulator of port $port did not start" >&2; return 1; }
    if [[ $port != 2 ]]; then
        ln -sfn "$(cat "$link")" "$WORK/line$port.new"
        mv -T "$WORK/line$port.new" "$WORK/line$port"
    fi
}
declare -A SIM_STARTS

python3 "$WORK/soak_setup.py" "$WORK" "$INST" "$CLIENT" "$METERS" $(for p in $(seq $PORTS); do device_of "$p"; done)
mkdir -p "$INST/DB$CLIENT/MBusLog" "$INST/DB$CLIENT/Z$CLIENT" "$INST/DB$CLIENT/Export"
cd "$INST"

# The client database: PostgreSQL through dnq.conf (kind 6) for 1450, else the SQLite file.
if [[ $CLIENT == 1450 ]]; then
    source "$WORK/pg-test-cluster.sh"
    cd /
    pg_test_start > /dev/null
    cd "$INST"
    PG_STARTED=1
    psql_db() { (cd / && pg_test_as_owner "$PG_TEST_BINDIR/psql" -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$KELVARO_PG_PORT" -U "$KELVARO_PG_USER" -d "$1" "${@:2}"); }
    psql_db postgres -c "CREATE DATABASE kelvaro1450" > /dev/null
    "$BIN/kelvaro-cli" db init --postgres "127.0.0.1:$KELVARO_PG_PORT" kelvaro1450 "$KELVARO_PG_USER" > /dev/null
    psql_db kelvaro1450 < "$WORK/meters.sql" > /dev/null
    python3 - "$KELVARO_PG_PORT" "$KELVARO_PG_USER" <<'PY'
import sys
def scramble(t):  # the station's scrambling of dnq.conf lines
    out = bytearray()
    for c in t.encode("cp1252"):
        x = c ^ 0x13
        out.append(c if x in (32, 26, 39) else x)
    return bytes(out)
vals = ["6", "127.0.0.1:" + sys.argv[1], sys.argv[2], "", "kelvaro1450", "SuperUser"]
open("dnq.conf", "wb").write(b"\r\n".join(scramble(v) for v in vals))
PY
    run_sql() { psql_db kelvaro1450 -1 < "$1"; }
else
    "$BIN/kelvaro-cli" db init "-M$CLIENT" > /dev/null
    sqlite3 "DB$CLIENT/basis.db" < "$WORK/meters.sql"
    run_sql() { sqlite3 -cmd '.timeout 10000' "$INST/DB$CLIENT/basis.db" < "$1" > /dev/null; }
fi

for p in $(seq $PORTS); do start_sim "$p"; done
"$BIN/kelvaro-overview" Auto "-M$CLIENT" --headless > "$WORK/out/overview.out" 2> "$WORK/out/overview.err" &
OVERVIEW=$!
START=$(date +%s)
END=$(( START + MINUTES * 60 ))
fault start soak "client $CLIENT seed $SEED"

# Memory and open files of every master, every 10 seconds.
(
    cd /
    printf 'time\tport\tpid\trss_kb\tfds\tload1\n'
    while :; do
        now=$(date +%s); load=$(cut -d' ' -f1 /proc/loadavg)
        for pid in $(master_pids); do
            rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null) || continue
            fds=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l)
            [[ -n "$rss" ]] && printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$now" "$(master_port "$pid")" "$pid" "$rss" "$fds" "$load"
        done
        sleep 10
    done
) > "$WORK/samples.tsv" &
SAMPLER=$!

# --- the faults ----------------------------------------------------------------
kill_master() {
    local port=$(( RANDOM % PORTS + 1 )) pid
    pid=$(master_of_port "$port")
    [[ -n "$pid" ]] || { fault begin kill_master "port $port: no master running"; fault end kill_master "port $port"; return; }
    fault begin kill_master "port $port pid $pid"
    kill -9 "$pid" 2>/dev/null || true
    fault end kill_master "port $port pid $pid"
}
line_loss() {
    local port=$(( RANDOM % PORTS + 1 )) away=$(( RANDOM % 16 + 5 ))
    fault begin line_loss "port $port $(device_of "$port") away ${away}s"
    kill -9 "${SIMS[$port]}" 2>/dev/null || true; wait "${SIMS[$port]}" 2>/dev/null || true
    # The line's name goes with it, as an unplugged adapter's by-id link does:
    # the freed pseudo-terminal number may soon belong to someone else.
    if [[ $port != 2 ]]; then rm -f "$WORK/line$port"; fi
    sleep "$away"
    start_sim "$port"
    fault end line_loss "port $port"
}
disk_full() {
    fault begin disk_full "$(df --output=avail -B1 "$INST" | tail -1) bytes free"
    fallocate -l $(( $(df --output=avail -B1 "$INST" | tail -1) - 1048576 )) "$INST/filler" 2>/dev/null || true
    dd if=/dev/zero of="$INST/filler" bs=4096 oflag=append conv=notrunc 2>/dev/null || true
    fault mark disk_full "full: $(df --output=avail -B1 "$INST" | tail -1) bytes free"
    sleep 30
    rm -f "$INST/filler"
    fault end disk_full ""
}
IMPORT_N=0
import_log() {
    IMPORT_N=$(( IMPORT_N + 1 ))
    local day; day=$(date +%d.%m.%Y)
    fault begin import_log "--from $(date -d "@$START" +%d.%m.%Y) --to $day"
    local rc=0
    "$BIN/kelvaro-cli" import-log "-M$CLIENT" --from "$(date -d "@$START" +%d.%m.%Y)" --to "$day" --json \
        > "$WORK/out/import.$IMPORT_N.json" 2> "$WORK/out/import.$IMPORT_N.err" || rc=$?
    fault end import_log "rc=$rc"
}
# What "Speichern" of the meter editor and of the index list editor write: the
# meter row and its index rows in one transaction, the export list replaced in another.
editor_save() {
    local first=$(( RANDOM % (PORTS * METERS) + 1 )) sql=$WORK/out/editor.sql
    local lznrs="$first $(( first % (PORTS * METERS) + 1 )) $(( (first + 1) % (PORTS * METERS) + 1 ))"
    : > "$sql"
    for l in $lznrs; do
        cat >> "$sql" <<SQL
BEGIN;
UPDATE zaehler SET ZNr = ZNr, ZName = ZName, MBAdr = MBAdr, MBComP = MBComP, MBBaud = MBBaud, MBIndex = MBIndex, MB_SelectSec = MB_SelectSec, MBZstand = MBZstand, MSCONS_Lokation = MSCONS_Lokation WHERE LZNR = $l;
UPDATE MB_IndexListe SET Anzeigen = Anzeigen, Art = Art, Einheit = Einheit, Faktor = Faktor, MBTyp = MBTyp, Speichern = Speichern WHERE Lznr = $l;
COMMIT;
BEGIN;
CREATE TEMP TABLE IF NOT EXISTS keep_export AS SELECT lznr, MBIndex, text FROM MBusIndexListe WHERE 0 = 1;
DELETE FROM keep_export;
INSERT INTO keep_export SELECT lznr, MBIndex, text FROM MBusIndexListe WHERE lznr = $l;
DELETE FROM MBusIndexListe WHERE lznr = $l;
INSERT INTO MBusIndexListe (lznr, MBIndex, text) SELECT lznr, MBIndex, text FROM keep_export ORDER BY MBIndex;
COMMIT;
SQL
    done
    # psql -1 wraps the file in one transaction of its own; the BEGINs then only warn.
    [[ $CLIENT == 1450 ]] && sed -i '/^BEGIN;$/d; /^COMMIT;$/d' "$sql"
    fault begin editor_save "meters $lznrs"
    local rc=0
    run_sql "$sql" > "$WORK/out/editor.out" 2>&1 || rc=$?
    fault end editor_save "rc=$rc"
}
pg_restart() {
    fault begin pg_restart "stop -m fast"
    (cd / && pg_test_as_owner "$PG_TEST_BINDIR/pg_ctl" -D "$PG_TEST_DIR/data" -w -m fast stop > /dev/null)
    sleep $(( RANDOM % 11 + 10 ))
    (cd / && pg_test_as_owner "$PG_TEST_BINDIR/pg_ctl" -D "$PG_TEST_DIR/data" -l "$PG_TEST_DIR/server.log" -w \
        -o "-p $KELVARO_PG_PORT -k $PG_TEST_DIR -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=200" start > /dev/null)
    fault end pg_restart ""
}

# Random moments, at least one of each kind, more of the quick ones in longer runs.
per() { local n=$(( MINUTES / $1 )); echo $(( n > 0 ? n : 1 )); }
SCHEDULE=$WORK/schedule.txt
{
    for _ in $(seq "$(per 4)"); do echo kill_master; done
    for _ in $(seq "$(per 8)"); do echo line_loss; done
    for _ in $(seq "$(per 15)"); do echo disk_full; done
    for _ in $(seq "$IMPORTS"); do echo import_log; done
    for _ in $(seq "$(per 5)"); do echo editor_save; done
    if [[ $CLIENT == 1450 ]]; then echo pg_restart; fi
} | while read -r kind; do
    echo "$(( START + 40 + RANDOM % (MINUTES * 60 - 80) )) $kind"
done | sort -n > "$SCHEDULE"

while read -r at kind; do
    now=$(date +%s)
    (( at > now )) && sleep $(( at - now ))
    (( $(date +%s) < END - 20 )) || { fault skipped "$kind" "no time left"; continue; }
    "$kind"
done < "$SCHEDULE"
now=$(date +%s)
(( END > now )) && sleep $(( END - now ))

# --- the end: SIGTERM to everything ---------------------------------------------
fault begin sigterm_all "overview $OVERVIEW, masters $(master_pids | tr '\n' ' ')"
kill -TERM "$OVERVIEW" 2>/dev/null || true; wait "$OVERVIEW" 2>/dev/null || true; OVERVIEW=""
for pid in $(master_pids); do kill -TERM "$pid" 2>/dev/null || true; done
for _ in $(seq 300); do [[ -z "$(master_pids)" ]] && break; sleep 0.1; done
left=$(master_pids | tr '\n' ' ')
if [[ -n "$left" ]]; then
    fault mark sigterm_all "still running 30 s after SIGTERM: $left"
    for pid in $left; do kill -9 "$pid" 2>/dev/null || true; done
fi
for pid in "${SIMS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
SIMS=()
fault end sigterm_all ""
kill "$SAMPLER" 2>/dev/null || true; SAMPLER=""

# The database's tables for the checker (PostgreSQL: as CSV, the server goes with the soak).
mkdir -p "$WORK/db"
if [[ $CLIENT == 1450 ]]; then
    for t in "mbuswerte:lznr, tm, idx, wert" "zaehler:lznr, mb_id, mbcomp, mbadr" "mb_indexliste:lznr, mbindex, speichern"; do
        psql_db kelvaro1450 -c "COPY (SELECT ${t#*:} FROM ${t%%:*}) TO STDOUT WITH CSV" > "$WORK/db/${t%%:*}.csv"
    done
fi
cat > "$WORK/soak.json" <<JSON
{"client": "$CLIENT", "ports": $PORTS, "meters": $METERS, "minutes": $MINUTES, "seed": $SEED,
 "start": $START, "end": $(date +%s), "installation": "$INST", "database": "$([[ $CLIENT == 1450 ]] && echo postgresql || echo sqlite)"}
JSON
rc=0
python3 "$WORK/check-soak.py" "$WORK" | tee "$WORK/check.txt" || rc=$?
echo "work directory: $WORK"
exit $rc
