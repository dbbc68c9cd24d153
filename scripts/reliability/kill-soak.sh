#!/usr/bin/env bash
# Kills the master with SIGKILL at random moments of N cycles (default 50),
# restarting it each time, then checks what it left behind: every RB6 header
# agrees with its data, no index list is partial, every mb.log line is whole.
#   scripts/reliability/kill-soak.sh [N]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${KELVARO_BUILD_DIR:-$ROOT/build}
N=${1:-50}
WORK=$(mktemp -d /tmp/kelvaro-kill.XXXXXX)
BUS=$ROOT/tools/mbus-sim/buses/demo.json
CLI=$BUILD/apps/kelvaro-cli/kelvaro-cli

"$BUILD/tools/mbus-sim/mbus-sim" "$BUS" --link "$WORK/pty" > "$WORK/sim.log" 2>&1 &
SIM=$!
trap 'kill $SIM 2>/dev/null || true' EXIT
for _ in $(seq 50); do [[ -s "$WORK/pty" ]] && break; sleep 0.1; done
"$CLI" demo-setup "$WORK" --device "$(cat "$WORK/pty")" --bus "$BUS" > /dev/null
cd "$WORK"

for i in $(seq "$N"); do
    "$BUILD/apps/kelvaro/kelvaro" Auto -M1320 -C1 -T0 > "master.$i.out" 2>&1 &
    PID=$!
    # A cycle of ten meters at wire speed takes about 4 s; kill somewhere in it.
    sleep "$(python3 -c 'import random; print(round(random.uniform(0.2, 5.0), 2))')"
    kill -9 "$PID" 2>/dev/null || true
    wait "$PID" 2>/dev/null || true
done

python3 - "$WORK" <<'PY'
import glob, os, re, sqlite3, struct, sys
work = sys.argv[1]
bad = []
files = glob.glob(os.path.join(work, "DB1320", "Z1320", "*.ovx"))
for f in files:
    data = open(f, "rb").read()
    elems = [struct.unpack_from("<id", data, i * 12) for i in range(len(data) // 12)]
    last_t, last_i = elems[1][0], int(elems[1][1])
    if elems[0] != (1, 1.0) or last_i < 9 or last_i >= len(elems):
        bad.append(f"{f}: header {elems[:2]}")
        continue
    if last_i >= 10 and elems[last_i][0] != last_t:
        bad.append(f"{f}: last time {last_t} but element {last_i} has {elems[last_i][0]}")
    times = [elems[i][0] for i in range(10, last_i + 1)]
    if times != sorted(times):
        bad.append(f"{f}: times out of order")
db = sqlite3.connect(os.path.join(work, "DB1320", "basis.db"))
counts = dict(db.execute("SELECT Lznr, Count(*) FROM MB_IndexListe GROUP BY Lznr").fetchall())
expected = {1: 3, 2: 3, 3: 7, 4: 4, 5: 3, 6: 3, 7: 2, 8: 1, 9: 2, 10: 2}
for lznr, n in counts.items():
    if n not in (0,) and lznr in expected and n != expected[lznr]:
        bad.append(f"index list of meter {lznr}: {n} rows")
line = re.compile(rb"^\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d ;.*;?$")
lines = 0
for log in glob.glob(os.path.join(work, "DB1320", "MBusLog", "*mb.log")):
    raw = open(log, "rb").read()
    if raw and not raw.endswith(b"\r\n"):
        bad.append(f"{log}: last line not ended")
    for l in raw.split(b"\r\n")[1:-1]:
        lines += 1
        if not line.match(l):
            bad.append(f"{log}: broken line {l!r}")
print(f"{len(files)} RB6 files, {sum(counts.values())} index list rows over {len(counts)} meters, {lines} mb.log lines")
print("problems:", len(bad))
for b in bad[:20]:
    print("  ", b)
sys.exit(1 if bad else 0)
PY
echo "work directory: $WORK"
