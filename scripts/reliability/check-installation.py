#!/usr/bin/env python3
"""Checks what a station left in an installation (client 1320): every RB6
header agrees with its data, no index list is partial, every mb.log line is whole.
   check-installation.py WORK"""
import glob, json, os, re, sqlite3, struct, sys
work = sys.argv[1]
bad = []
files = glob.glob(os.path.join(work, "DB1320", "Z1320", "*.ovx"))
for f in files:
    data = open(f, "rb").read()
    elems = [struct.unpack_from("<id", data, i * 12) for i in range(len(data) // 12)]
    # Elements count from 1: element 2 holds the last time and the number of
    # the last element written; data runs from element 10 to that one.
    last_t, last_i = elems[1][0], int(elems[1][1])
    if elems[0] != (1, 1.0) or last_i < 9 or last_i > len(elems):
        bad.append(f"{f}: header {elems[:2]}")
        continue
    if last_i >= 10 and elems[last_i - 1][0] != last_t:
        bad.append(f"{f}: last time {last_t} but element {last_i} has {elems[last_i - 1][0]}")
    times = [elems[i - 1][0] for i in range(10, last_i + 1)]
    if times != sorted(times):
        bad.append(f"{f}: times out of order")
db = sqlite3.connect(os.path.join(work, "DB1320", "basis.db"))
counts = dict(db.execute("SELECT Lznr, Count(*) FROM MB_IndexListe GROUP BY Lznr").fetchall())
# Records per meter of the demo bus, in the order the meters were entered (LZNR 1, 2, ...);
# a split meter's first telegram carries one more record (the 1F marker).
bus = json.load(open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "mbus-sim", "buses", "demo.json")))
expected = {}
for n, m in enumerate(bus["meters"], start=1):
    expected[n] = len(m["records"]) if "records" in m else len(m["telegrams"][0]) + 1
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
