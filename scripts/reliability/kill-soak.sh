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

python3 "$ROOT/scripts/reliability/check-installation.py" "$WORK"
echo "work directory: $WORK"
