#!/usr/bin/env bash
# The main job on an embedded default: a simulated bus of ten meters (two
# baud rates, one of them silent) read once by a master into SQLite, RB6 files
# and the day's M-Bus log. Called by ./run demo after the build.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KELVARO_BUILD_DIR:-$ROOT/build}
DEMO=$BUILD/demo
BUS=$ROOT/tools/mbus-sim/buses/demo.json

rm -rf "$DEMO"
mkdir -p "$DEMO"
cd "$DEMO"

"$BUILD/tools/mbus-sim/mbus-sim" "$BUS" --link "$DEMO/pty" > "$DEMO/mbus-sim.log" 2>&1 &
SIM=$!
MASTER=""
cleanup() {
    [[ -n "$MASTER" ]] && kill "$MASTER" 2>/dev/null || true
    kill "$SIM" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [[ -s "$DEMO/pty" ]] && break; sleep 0.1; done
DEVICE=$(cat "$DEMO/pty")
echo "== Simulator: 10 meters on $DEVICE"

"$BUILD/apps/kelvaro-cli/kelvaro-cli" demo-setup "$DEMO" --device "$DEVICE" --bus "$BUS" --client 1320
echo "== Master: kelvaro Auto -M1320 -C1 (one cycle)"
"$BUILD/apps/kelvaro/kelvaro" Auto -M1320 -C1 > "$DEMO/master.out" 2> "$DEMO/master.err" &
MASTER=$!
for _ in $(seq 240); do
    grep -q '^Fertig$' "$DEMO/master.out" 2>/dev/null && break
    kill -0 "$MASTER" 2>/dev/null || break
    sleep 0.5
done
kill -TERM "$MASTER" 2>/dev/null || true
wait "$MASTER" 2>/dev/null || true
MASTER=""
grep -E 'Lese [0-9]+ von|Nochmal|Fertig' "$DEMO/master.out" | tail -3 || true
if ! grep -q '^Fertig$' "$DEMO/master.out"; then
    echo "The master did not finish its cycle; see $DEMO/master.out" >&2
    exit 1
fi
echo "== Stored"
"$BUILD/apps/kelvaro-cli/kelvaro-cli" demo-report -M1320
echo "== The installation stays in $DEMO (OVX.INI, dnq.conf, DB1320/)"
