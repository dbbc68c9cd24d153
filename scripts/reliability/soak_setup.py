#!/usr/bin/env python3
"""Lays out the soak's buses and installation files (used by soak.sh).

   soak_setup.py WORK INST CLIENT METERS DEVICE...   (one device per port)

WORK/bus<N>.json     the simulator bus of port N: METERS meters at 2400 Bd,
                     every value distinct, so that a value stored under the
                     wrong meter or index is found by the checker
WORK/meters.sql      the meter rows and tariff groups the editors would enter,
                     and the export index list (MBusIndexListe)
INST/OVX.INI         client, the ports' devices, 2-second cycles,
                     every store switch on, the index export on
"""
import json
import os
import struct
import sys

work, inst, client, meters, devices = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5:]
ports = len(devices)


def le32(v):
    return struct.pack("<i", v).hex().upper()


def le16(v):
    return struct.pack("<h", v).hex().upper()


def meter_id(port, n):
    return f"{70 + port}{n:06d}"


def records(port, n):
    # Heat meters (odd numbers): energy kWh, volume 10^-3 m3, flow temperature °C.
    # Water meters (even numbers): volume 10^-3 m3, volume flow 10^-3 m3/h.
    base = port * 100000 + n * 1000
    if n % 2:
        return ["0406" + le32(base + 1), "0413" + le32(base + 2), "025B" + le16(40 + n)]
    return ["0413" + le32(base + 2), "043B" + le32(port * 1000 + n)]


for port in range(1, ports + 1):
    bus = {"meters": [{"primary": n, "id": meter_id(port, n), "manufacturer": "KEL", "version": 1,
                       "medium": 4 if n % 2 else 7, "baud": [2400], "records": records(port, n)}
                      for n in range(1, meters + 1)]}
    with open(os.path.join(work, f"bus{port}.json"), "w") as f:
        json.dump(bus, f, indent=1)

sql = ["BEGIN;"]
for nr, name in ((1, "Strom"), (2, "Wärme"), (3, "Gas"), (4, "Wasser")):
    sql.append(f"INSERT INTO tagrp (TAGRP_NR, TAGRP_NAME, BasisTarif) VALUES ({nr}, '{name}', 1);")
for port in range(1, ports + 1):
    for n in range(1, meters + 1):
        heat = n % 2 == 1
        mid = meter_id(port, n)
        zname = f"{'Wärme' if heat else 'Wasser'} P{port} Nr {n}"
        group, gname = (2, "Wärme") if heat else (4, "Wasser")
        sql.append("INSERT INTO zaehler (ZNr, ZName, ZQuelle, tarifgruppe, Tarifgrp, stufe, faktor, Impulse, "
                   "MBAdr, MBComP, MBBaud, MBIndex, MBZStand, MB_ID) VALUES "
                   f"('{mid}', '{zname}', 'M-Bus', '{gname}', {group}, 1, 1, 1, {n}, {port}, 2400, 1, 0, '{mid}');")
sql.append("COMMIT;")
# Export list: indexes 1 and 2 of every meter; LZNR follows the insert order.
sql.append("BEGIN;")
lznr = 0
for port in range(1, ports + 1):
    for n in range(1, meters + 1):
        lznr += 1
        sql.append(f"INSERT INTO MBusIndexListe (lznr, MBIndex, text) VALUES ({lznr}, 1, 'I1 P{port} Nr {n}'), "
                   f"({lznr}, 2, 'I2 P{port} Nr {n}');")
sql.append("COMMIT;")
with open(os.path.join(work, "meters.sql"), "w", encoding="utf-8") as f:
    f.write("\n".join(sql) + "\n")

ini = {
    "OVX": {"OVXMandant": client, **{f"COM{p}": d for p, d in enumerate(devices, start=1)}},
    f"{client}MBus": {"RB6_StandardGroesse": "600", "MitIndexExport": "1", "NeustartIntervall": "3",
                      "NeustartWarten": "20", **{f"IntervallCom{p}": "2" for p in range(1, ports + 1)}},
    f"MB{client}": {"MBSpeichern0": "1", "MBSpeichern1": "1", "MBSpeichern2": "1", "MBSpeichern3": "0"},
    client: {"MBusExportIndexDatei": f".\\DB{client}\\Export\\", "VorWert": "1"},
}
with open(os.path.join(inst, "OVX.INI"), "wb") as f:
    for section, keys in ini.items():
        f.write(f"[{section}]\r\n".encode("cp1252"))
        for k, v in keys.items():
            f.write(f"{k}={v}\r\n".encode("cp1252"))
