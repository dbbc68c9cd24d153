#!/usr/bin/env python3
"""Checks what a soak (soak.sh) left behind, from the files alone: it reads the
M-Bus logs, the program logs, the index export, the RB6 files (their layout as
the station's format defines it) and the MBusWerte table (the SQLite file, or
the CSV copy soak.sh takes of the PostgreSQL table), and compares them with
the values the simulators were configured to send.

   check-soak.py WORK

Exits 1 on any finding that no injected fault explains.
"""
import calendar
import csv
import glob
import json
import math
import os
import re
import sqlite3
import statistics
import struct
import sys
import time
from collections import Counter, defaultdict

work = sys.argv[1]
meta = json.load(open(os.path.join(work, "soak.json")))
client = meta["client"]
inst = meta["installation"]
live = os.path.exists(os.path.join(inst, "OVX.INI"))  # else the sparse copy soak.sh keeps
if not live:
    inst = os.path.join(work, "installation")
db_dir = os.path.join(inst, f"DB{client}")

findings = []  # (what, text): unexplained
notes = []


def finding(what, text):
    findings.append((what, text))


def local_seconds(epoch):
    """The station counts the seconds of the local calendar and clock."""
    return calendar.timegm(time.localtime(epoch))


# --- what the simulators send ----------------------------------------------------
# The few records the soak's buses use: DIF 02/04 (16/32-bit integer) with VIF
# 06 energy 10^3 Wh, 13 volume 10^-3 m3, 3B volume flow 10^-3 m3/h, 5B flow temperature °C.
VIFS = {0x06: ("kWh", 0), 0x13: ("m\u00b3", -3), 0x3B: ("m\u00b3/h", -3), 0x5B: ("\u00b0C", 0)}
SIZES = {0x02: 2, 0x04: 4}


def record_value(hexrec):
    b = bytes.fromhex(hexrec)
    size = SIZES[b[0] & 0x0F]
    unit, exp = VIFS[b[1]]
    raw = int.from_bytes(b[2:2 + size], "little", signed=True)
    return (raw * 10 ** exp if exp >= 0 else raw / 10 ** -exp), unit


sent = {}  # (port, primary) -> {"id", "values": {index: (value, unit)}}
for port in range(1, meta["ports"] + 1):
    for m in json.load(open(os.path.join(work, f"bus{port}.json")))["meters"]:
        sent[(port, m["primary"])] = {"id": m["id"],
                                      "values": {i: record_value(r) for i, r in enumerate(m["records"], start=1)}}


def same_value(a, b):
    return math.isclose(a, b, rel_tol=1e-12, abs_tol=1e-12)


# --- the database ----------------------------------------------------------------
def table(name, sql):
    if meta["database"] == "sqlite":
        con = sqlite3.connect(f"file:{os.path.join(db_dir, 'basis.db')}?mode=ro", uri=True)
        return con.execute(sql).fetchall()
    with open(os.path.join(work, "db", f"{name}.csv"), newline="") as f:
        return [tuple(r) for r in csv.reader(f)]


meters = {}  # lznr -> (port, primary, id)
for lznr, mb_id, port, adr in table("zaehler", "SELECT lznr, mb_id, mbcomp, mbadr FROM zaehler"):
    meters[int(lznr)] = (int(port), int(adr), mb_id)
lznr_of = {(p, a): l for l, (p, a, _) in meters.items()}
values_rows = [(int(l), int(t), int(i), float(w))
               for l, t, i, w in table("mbuswerte", "SELECT lznr, tm, idx, wert FROM mbuswerte")]


def expected(lznr, index):
    port, adr, _ = meters.get(lznr, (None, None, None))
    meter = sent.get((port, adr))
    return meter["values"].get(index) if meter else None


# --- the faults ------------------------------------------------------------------
faults = []  # dicts: kind, begin, end (local seconds), detail
open_faults = {}
fault_counts = Counter()
with open(os.path.join(work, "faults.tsv")) as f:
    for row in list(csv.reader(f, delimiter="\t"))[1:]:
        t, event, kind, detail = float(row[0]), row[1], row[2], row[3] if len(row) > 3 else ""
        if event == "begin":
            open_faults[kind] = {"kind": kind, "begin": local_seconds(t), "detail": detail, "marks": []}
        elif event == "mark" and kind in open_faults:
            open_faults[kind]["marks"].append(detail)
        elif event == "end" and kind in open_faults:
            fault = open_faults.pop(kind)
            fault["end"] = local_seconds(t)
            fault["end_detail"] = detail
            faults.append(fault)
            fault_counts[kind + (" (no master running that moment)" if "no master" in detail + fault["detail"] else "")] += 1
        elif event == "skipped":
            notes.append(f"fault {kind} skipped: {detail}")
for kind, fault in open_faults.items():
    fault["end"] = local_seconds(time.time())
    faults.append(fault)
    fault_counts[kind] += 1

start, end = local_seconds(meta["start"]), local_seconds(meta["end"])
for fault in faults:
    if fault["kind"] == "sigterm_all" and fault["marks"]:
        finding("shutdown", "; ".join(fault["marks"]))
    if fault["kind"] in ("import_log", "editor_save") and fault.get("end_detail", "rc=0") != "rc=0":
        finding(fault["kind"], f"{fault['kind']} at {time.strftime('%H:%M:%S', time.gmtime(fault['begin']))} "
                               f"ended with {fault['end_detail']}")

# What a fault may take away, and from where: (store, kind) -> seconds before
# the fault's begin and after its end in which a reading may be missing there.
# A killed master loses what it had read but not yet stored; a full disk
# refuses the SQLite file (the RB6 files have their space reserved); while an
# import rebuilds the RB6 files the masters keep their values in mb.log and
# the database only; a stopped database server refuses the rows of its
# cycle; SIGTERM at the end ends the cycle under way.
MAY_LOSE = {
    ("rb6", "kill_master"): (15, 0),
    ("db", "kill_master"): (15, 0),
    ("rb6", "import_log"): (2, 2),
    ("db", "pg_restart"): (2, 5),
    ("rb6", "sigterm_all"): (15, 30),
    ("db", "sigterm_all"): (15, 30),
}
if meta["database"] == "sqlite":
    MAY_LOSE[("db", "disk_full")] = (2, 2)
    MAY_LOSE[("db", "editor_save")] = (2, 5)


def explaining_fault(store, port, t):
    """The nearest fault whose window covers a reading missing in a store."""
    best = None
    for fault in faults:
        window = MAY_LOSE.get((store, fault["kind"]))
        if not window:
            continue
        if fault["kind"] == "kill_master" and not fault["detail"].startswith(f"port {port} "):
            continue
        if fault["begin"] - window[0] <= t <= fault["end"] + window[1]:
            distance = max(fault["begin"] - t, t - fault["end"], 0)
            if best is None or distance < best[0]:
                best = (distance, fault)
    return best[1] if best else None


# --- log lines -------------------------------------------------------------------
STAMP = rb"\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d"
stamp_anywhere = re.compile(STAMP + rb" ;")


def log_lines(path, first_is_header):
    """The lines of a CR LF text file; a torn line (an end missing, a line
    glued to another, bytes that are no line) is a finding."""
    raw = open(path, "rb").read()
    if raw and not raw.endswith(b"\r\n"):
        finding("torn line", f"{os.path.relpath(path, inst)}: last line without its end: {raw[-80:]!r}")
    lines = raw.split(b"\r\n")[:-1] if raw.endswith(b"\r\n") else raw.split(b"\r\n")
    if b"\n" in raw.replace(b"\r\n", b"") or b"\r" in raw.replace(b"\r\n", b""):
        finding("torn line", f"{os.path.relpath(path, inst)}: a lone CR or LF")
    if b"\0" in raw:
        finding("torn line", f"{os.path.relpath(path, inst)}: zero bytes")
    return lines[1:] if first_is_header and lines and lines[0].startswith(b"Zeitstempel") else lines


def parse_stamp(b):
    d, mo, y, h, mi, s = int(b[0:2]), int(b[3:5]), int(b[6:8]), int(b[9:11]), int(b[12:14]), int(b[15:17])
    return calendar.timegm((2000 + y, mo, d, h, mi, s, 0, 0, 0))


def german_number(text):
    return float(text.replace(",", "."))


readings = []  # (port, primary, lznr, index, time, value)
read_errors = defaultdict(list)  # primary address -> times of its "Lesefehler" lines (all ports)
mblog_events = Counter()
mblog_line = re.compile(rb"^(" + STAMP + rb") ;(.*)$")
for path in sorted(glob.glob(os.path.join(db_dir, "MBusLog", "*mb.log"))):
    for line in log_lines(path, True):
        m = mblog_line.match(line)
        if not m or stamp_anywhere.search(m.group(2)):
            finding("torn line", f"{os.path.basename(path)}: {line[:160]!r}")
            continue
        fields = m.group(2).decode("cp1252").split(";")
        if len(fields) == 8 and fields[7] == "" and re.fullmatch(r"\d{8}", fields[0]):
            mb_id, _, port, adr, index, value, unit = fields[:7]
            try:
                port, adr, index, value = int(port), int(adr), int(index), german_number(value)
            except ValueError:
                finding("torn line", f"{os.path.basename(path)}: {line[:160]!r}")
                continue
            lznr = lznr_of.get((port, adr))
            meter = sent.get((port, adr))
            want = meter["values"].get(index) if meter else None
            if lznr is None or meter["id"] != mb_id or not want or not same_value(want[0], value) or want[1] != unit:
                finding("not sent", f"mb.log reading {line.decode('cp1252')!r}: the simulator sends "
                                    f"{meter['id'] if meter else '-'} index {index} = {want}")
                continue
            readings.append((port, adr, lznr, index, parse_stamp(m.group(1)), value))
        else:
            text = m.group(2).decode("cp1252")
            if len(fields) == 4 and fields[1] == "Lesefehler":
                read_errors[int(fields[0])].append(parse_stamp(m.group(1)))
            mblog_events[re.sub(r"[\d.:,]+", "#", text)[:70]] += 1

# Program logs ("dd.mm.yy hh:mm:ss text"): whole lines only.
prog_line = re.compile(rb"^" + STAMP + rb" ")
restart_line = re.compile(rb"^(" + STAMP + rb") Kelvaro Com(\d+) l\xe4uft nicht mehr, Neustart")
restarts = defaultdict(list)  # port -> times the supervisor started its master again
prog_lines = 0
for path in glob.glob(os.path.join(inst, "*ed.log")) + glob.glob(os.path.join(db_dir, "*ed.log")):
    for line in log_lines(path, False):
        prog_lines += 1
        r = restart_line.match(line)
        if r:
            restarts[int(r.group(2))].append(parse_stamp(r.group(1)))
        if not prog_line.match(line) or re.search(STAMP + rb" ", line[18:]):
            finding("torn line", f"{os.path.relpath(path, inst)}: {line[:160]!r}")

# Each store reports its own error: a failed database or RB6 store that names
# the mb.log ("MBusLog ... kann nicht geschrieben werden") blames the wrong file.
blamed = 0
view = os.path.join(work, "out", "overview.out")
for path in glob.glob(os.path.join(db_dir, "MBusLog", "*mb.log")) + ([view] if os.path.exists(view) else []):
    for line in open(path, "rb"):
        if b"speichern" in line and b"MBusLog" in line and b"kann nicht geschrieben" in line:
            blamed += 1
            if blamed <= 3:
                finding("wrong error", f"{os.path.basename(path)}: {line.strip()[:160]!r}")

# Index export: date, LZNR, name, index, text, value, unit, previous value.
export_lines = export_failed = 0
for path in glob.glob(os.path.join(db_dir, "Export", "*mb.txt")):
    for line in log_lines(path, False):
        export_lines += 1
        f = line.decode("cp1252").split("\t")
        ok = len(f) == 8 and re.fullmatch(r"\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d", f[0])
        if ok and f[5] == "FehlerBeimLesen":
            export_failed += 1
            ok = f[6] == ""
        elif ok:
            try:
                want = expected(int(f[1]), int(f[3]))
                ok = want is not None and same_value(want[0], german_number(f[5])) and want[1] == f[6] \
                    and (f[7] == "" or same_value(want[0], german_number(f[7])))
                if not ok:
                    finding("not sent", f"index export {line.decode('cp1252')!r}: the simulator sends {want}")
                    continue
            except ValueError:
                ok = False
        if not ok:
            finding("torn line", f"index export {os.path.basename(path)}: {line[:160]!r}")

# --- RB6 files -------------------------------------------------------------------
ELEMENT = struct.Struct("<id")


def rb6_elements(path):
    """The data elements (time, value) of a sound RB6 file, or None."""
    data = open(path, "rb").read()
    name = os.path.relpath(path, inst)
    if len(data) < 132 or len(data) % 12:
        finding("RB6", f"{name}: length {len(data)} is not whole elements")
        return None
    head = [ELEMENT.unpack_from(data, k * 12) for k in range(11)]
    last_t, last_i = head[1]
    capacity = head[4][0]
    problems = []
    if head[0] != (1, 1.0):
        problems.append(f"element 1 is {head[0]}")
    if last_i != int(last_i) or not 9 <= last_i <= len(data) // 12:
        problems.append(f"last element {last_i} outside the file")
    if head[2] != (0, 1.0) or head[3] != (0, 1.0) or head[4][1] != 0 or head[5] != (0, 0.0):
        problems.append(f"creation values {head[2:6]}")
    if len(data) % 1212 == 0 and capacity != len(data) // 1212 * 100 and capacity != int(last_i):
        problems.append(f"capacity {capacity} for {len(data) // 1212} blocks")
    if problems:
        finding("RB6", f"{name}: " + "; ".join(problems))
        return None
    last_i = int(last_i)
    if int(last_i) == 9:
        if any(head[k] != (0, 0.0) for k in range(6, 11)):
            finding("RB6", f"{name}: header elements 7-11 not zero")
        return []
    elements = [ELEMENT.unpack_from(data, (k - 1) * 12) for k in range(10, last_i + 1)]
    if any(head[k] != (0, 0.0) for k in range(6, 9)):
        finding("RB6", f"{name}: header elements 7-9 not zero")
    if elements[-1][0] != last_t:
        finding("RB6", f"{name}: header says last time {last_t}, element {last_i} has {elements[-1][0]}")
    if any(b[0] <= a[0] for a, b in zip(elements, elements[1:])):
        finding("RB6", f"{name}: times not rising")
    if data[last_i * 12:].strip(b"\0"):
        finding("RB6", f"{name}: bytes after the last element")
    return elements


def check_reserved(path):
    """A new RB6 file takes the space of all its blocks (appends never meet a full disk)."""
    st = os.stat(path)
    if st.st_blocks * 512 < st.st_size:
        finding("RB6", f"{os.path.relpath(path, inst)}: {st.st_size} bytes long, {st.st_blocks * 512} on disk")


rb6_name = re.compile(r"(\d{6})(\d{3})\.ovx$", re.I)
rb6 = {}  # (lznr, index) -> {time: value}
rb6_files = 0
rb6_aside = 0
for path in glob.glob(os.path.join(db_dir, f"Z{client}", "**", "*.ovx"), recursive=True):
    m = rb6_name.search(os.path.basename(path))
    elements = rb6_elements(path)
    if not m or elements is None:
        continue
    lznr, index = int(m.group(1)), int(m.group(2))
    want = expected(lznr, index)
    for t, v in elements:
        if want is None or not same_value(want[0], v):
            finding("not sent", f"{os.path.relpath(path, inst)}: element ({t}, {v}), the simulator sends {want}")
            break
    if os.path.dirname(path) != os.path.join(db_dir, f"Z{client}"):
        rb6_aside += 1  # set aside by an import: sound, not the current data
        continue
    rb6_files += 1
    if live:
        check_reserved(path)
    rb6[(lznr, index)] = dict(elements)

# --- every reading stored, nothing stored that was not sent -----------------------
db_rows = defaultdict(list)
for lznr, t, index, value in values_rows:
    want = expected(lznr, index)
    if want is None or not same_value(want[0], value):
        finding("not sent", f"MBusWerte ({lznr}, {t}, {index}, {value}): the simulator sends {want}")
    if not start - 5 <= t <= end + 5:
        finding("not sent", f"MBusWerte ({lznr}, {t}, {index}, {value}): outside the soak")
    db_rows[(lznr, index, t)].append(value)
duplicates = sum(len(v) - 1 for v in db_rows.values())

lost = Counter()       # store -> unexplained
explained = Counter()  # (store, kind) -> readings
lost_examples = defaultdict(list)
for port, adr, lznr, index, t, value in readings:
    for store, found in (("rb6", value == rb6.get((lznr, index), {}).get(t)),
                         ("db", (lznr, index, t) in db_rows)):
        if found:
            continue
        fault = explaining_fault(store, port, t)
        if fault:
            explained[(store, fault["kind"])] += 1
        elif store == "db" and any(t - 60 <= e <= t for e in read_errors.get(adr, [])):
            # The repeat pass of a cycle reads the meters that failed in its
            # first pass and stores them in mb.log and RB6 only, by design.
            explained[(store, "repeat pass after a read error")] += 1
        else:
            lost[store] += 1
            lost_examples[store].append(f"port {port} adr {adr} lznr {lznr} index {index} "
                                        f"at {time.strftime('%H:%M:%S', time.gmtime(t))}")
for store, n in lost.items():
    finding("lost", f"{n} readings of mb.log missing in {store}, no fault explains them: "
                    + "; ".join(lost_examples[store][:5]))
mblog_keys = {(lznr, index, t) for _, _, lznr, index, t, _ in readings}
db_only = sum(1 for k in db_rows if k not in mblog_keys)
rb6_only = sum(1 for (lznr, index), el in rb6.items() for t in el if (lznr, index, t) not in mblog_keys)

# --- memory and open files of the masters ------------------------------------------
samples = defaultdict(list)  # port -> [(time, pid, rss, fds)]
load = []
with open(os.path.join(work, "samples.tsv")) as f:
    for row in list(csv.reader(f, delimiter="\t"))[1:]:
        samples[int(row[1])].append((int(row[0]), int(row[2]), int(row[3]), int(row[4])))
        load.append(float(row[5]))
resources = {}
for port, rows in sorted(samples.items()):
    by_pid = defaultdict(list)
    for r in rows:
        by_pid[r[1]].append(r)
    # A process settles in its first minute (database, meter list, first files).
    settled = {pid: [r for r in rs if r[0] >= rs[0][0] + 60] for pid, rs in by_pid.items()}
    settled = {pid: rs for pid, rs in settled.items() if len(rs) >= 3}
    first = rows[0]
    last = rows[-1]
    resources[port] = {"processes": len(by_pid), "rss_start_kb": first[2], "rss_end_kb": last[2],
                       "fds_start": first[3], "fds_end": last[3], "longest_min": 0.0}
    for pid, rs in settled.items():
        span = (rs[-1][0] - rs[0][0]) / 60
        if span > resources[port]["longest_min"]:
            resources[port].update(longest_min=round(span, 1), longest_rss=(rs[0][2], rs[-1][2]),
                                   longest_fds=(rs[0][3], rs[-1][3]))
        if span < 5:
            continue
        # Within a cycle the open files come and go (database, log and RB6
        # files); compare the highest of the first and of the last six samples.
        head, tail = rs[:6], rs[-6:]
        begin_rss, end_rss = max(r[2] for r in head), max(r[2] for r in tail)
        if end_rss - begin_rss > max(4096, begin_rss * 0.10):
            finding("resources", f"port {port} pid {pid}: RSS {begin_rss} -> {end_rss} kB in {span:.0f} min")
        begin_fds, end_fds = max(r[3] for r in head), max(r[3] for r in tail)
        if end_fds > begin_fds + 2:
            finding("resources", f"port {port} pid {pid}: open files {begin_fds} -> {end_fds} in {span:.0f} min")

# Every killed master is started again by the supervisor (NeustartIntervall 3 s).
restart_delays = []
for fault in faults:
    if fault["kind"] != "kill_master" or "no master" in fault["detail"]:
        continue
    port = int(fault["detail"].split()[1])
    later = [t for t in restarts.get(port, []) if t >= fault["begin"] - 1]
    if not later or later[0] - fault["begin"] > 60:
        finding("restart", f"master of port {port} killed at {time.strftime('%H:%M:%S', time.gmtime(fault['begin']))} "
                           "not started again within 60 s")
    else:
        restart_delays.append(later[0] - fault["begin"])

# --- summary ---------------------------------------------------------------------
cycles = {}
for port in range(1, meta["ports"] + 1):
    first_meter = [t for p, a, _, i, t, _ in readings if p == port and a == 1 and i == 1]
    cycles[port] = len(set(first_meter))  # readings of the port's first meter
summary = {
    "minutes": round((end - start) / 60, 1),
    "cycles_per_port": cycles,
    "readings_in_mb_log": len(readings),
    "mbuswerte_rows": len(values_rows),
    "mbuswerte_duplicates": duplicates,
    "rb6_files": rb6_files,
    "rb6_files_set_aside_by_imports": rb6_aside,
    "rb6_elements": sum(len(v) for v in rb6.values()),
    "stored_without_mb_log_line": {"db": db_only, "rb6": rb6_only},
    "faults": dict(fault_counts),
    "restart_after_kill_s_max": max(restart_delays) if restart_delays else None,
    "errors_blaming_mb_log": blamed,
    "readings_lost_unexplained": dict(lost) or 0,
    "readings_missing_explained": {f"{s}/{k}": n for (s, k), n in sorted(explained.items())},
    "mb_log_events": dict(mblog_events.most_common(12)),
    "program_log_lines": prog_lines,
    "index_export_lines": export_lines,
    "index_export_failed_readings": export_failed,
    "masters": resources,
    "load1_min_median_max": [min(load), statistics.median(load), max(load)] if load else None,
}
print(json.dumps(summary, indent=1, ensure_ascii=False))
for n in notes:
    print("note:", n)
print(f"findings: {len(findings)}")
for what, text in findings[:40]:
    print(f"  [{what}] {text}")
sys.exit(1 if findings else 0)
