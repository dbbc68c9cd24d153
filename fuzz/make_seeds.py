#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets, one directory per target:

    fuzz/make_seeds.py OUTDIR [TELEGRAM_DIR]

TELEGRAM_DIR defaults to ../shared/testdata/mbus-telegrams beside the project;
its telegrams (binary for the decoder targets, as text for the hex-list
parser) are used when it exists. A few composed inputs are always written, so
that a bare clone has seeds too.
"""
import pathlib
import re
import struct
import sys

# Composed telegrams of the protocol reference, and records the decoder must
# know (FB codes of both editions, duration and date VIFEs, reals).
COMPOSED_FRAMES = [
    "E5",
    "10 7B 01 7C 16",
    "68 04 04 68 08 01 70 08 81 16",
    "68 1F 1F 68 08 02 72 78 56 34 12 24 40 01 07 55 00 00 00 03 13 15 31 00 DA 02 3B 13 01 8B 60 04 37 18 02 18 16",
    "68 37 37 68 08 05 72 44 33 22 11 3A 63 10 02 10 00 00 00 8E 10 04 67 45 23 01 00 00 8E 20 04 00 50 00 00 00 "
    "00 05 2E 00 00 C0 3F 0B 2B 34 12 F0 0A FD 48 01 23 0A FD 59 34 12 1F 32 16",
    "68 13 13 68 08 05 73 78 56 34 12 0A 00 E9 7E 01 00 00 00 35 01 00 00 3C 16",
]
COMPOSED_RECORDS = [
    "04 FB 02 39 30 00 00 02 FB 16 7B 00 02 FB 35 E8 03 02 FB 2A 78 00 02 FB 68 00 18 02 FB 5A E8 03",
    "04 BE 50 71 BB B0 00 02 93 62 2D 00 04 DB 6F 32 14 7A 18 82 01 93 39 FF 2C 02 93 79 07 00",
    "05 2E B1 D1 2E BE 0D FD 11 03 43 42 41 0D 13 D2 34 12 02 FC 03 48 52 25 74 B0 16 2F 2F 0F 01 02",
]
HEADER = "78 56 34 12 24 40 01 07 55 00 00 00 "

HEX_TEXTS = [
    "10;7B;FD;78;16;",
    "107BFD7816",
    "10 7B FD 78 16",
    "10,7b,fd,78,16",
    "68;03\r\n03 68",
    "D 04",
    "68 0G",
    "10;123;",
]

INI_FILES = [
    ("OVX", "COM1", b"[OVX]\r\nCOM1=/dev/ttyUSB0\r\nCOM2=tcp://10.0.0.5:4001\r\n"),
    ("Mandant200MBus", "RB6_StandardGroesse",
     b"; station\r\n[mandant200mbus]\r\n  rb6_standardgroesse =  6000  \r\n[Mandant200MBus]\r\nRB6_StandardGroesse=1\r\n"),
    ("Pfade", "DBPATH", b"[Pfade]\nDBPATH=\"C:\\Kelvaro\\Z200\\basis.mdb\"\nText=Gr\xf6\xdfe \xe4\xf6\xfc\n"),
    ("A", "B", b"[A\r\nB=no closing bracket\r\n[ A ]\r\nB\r\n=x\r\nB=" + b"x" * 300 + b"\r\n"),
    ("", "", b"=\r\n[]\r\n=empty\r\n;B=comment\r\n"),
]


LOG_LINES = [
    b"Zeitstempel;Z\xe4hlernummer;Z\xe4hlernummer;ComPort;PrimAdr;Wert;Einheit;\r\n"
    b"07.12.26 13:45:10 ;Datenholen gestartet am 07.12.2026 13:45:10\r\n"
    b"07.12.26 13:45:11 ;12 45678;W\xe4rme 1;2;5;3;-1234,5;kWh;\r\n"
    b"07.12.26 13:45:12 ;8;Lesefehler;2;rc=-2\r\n",
    b"16.09.05 10:15:00 ;12;1;4711,25\r\n16.09.05 10:15:00;12;1;1,5E+20;\r\n",
    b"07.12.26 13:45:10 ;1234;Haus; Nord;1;7;2;0,30000000000000004;m\xb3;\r\n"
    b"07.12.26 13:45:10 ;12345603;Wasserz",
    b"31.02.26 13:45:10 ;1;W;1;3;1;10;m;\r\n07.12.26 13:45:10 ;1;W;1;3;1;1.234,5;m;\r\n"
    b"07.12.26 13:45:10 ;1;W;1;3;1;1\x00;m;\r\n",
]


def frame(hex_text):
    digits = re.sub(r"[^0-9A-Fa-f]", "", hex_text)
    return bytes.fromhex(digits[: len(digits) // 2 * 2])  # a broken file may end in half a byte


def long_frame(user_data):
    body = bytes([0x08, 0x01, 0x72]) + user_data
    return bytes([0x68, len(body), len(body), 0x68]) + body + bytes([sum(body) & 0xFF, 0x16])


def rb6_element(tm, value):
    return struct.pack("<id", tm, value)


def rb6_file(last_index, elements, blocks=1):
    header = [(1, 1.0), (elements[-1][0] if elements else 0, float(last_index)), (0, 1.0), (0, 1.0),
              (blocks * 100, 0.0), (0, 0.0)]
    data = b"".join(rb6_element(*e) for e in header)
    data += b"\0" * (9 * 12 - len(data))  # elements 7 to 9
    data += b"".join(rb6_element(*e) for e in elements)
    return data + b"\0" * max(0, blocks * 1212 - len(data))


def write(directory, name, content):
    directory.mkdir(parents=True, exist_ok=True)
    (directory / name).write_bytes(content)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = pathlib.Path(sys.argv[1])
    project = pathlib.Path(__file__).resolve().parent.parent
    telegrams = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else project.parent / "shared/testdata/mbus-telegrams"

    frames = {f"composed{i}": frame(h) for i, h in enumerate(COMPOSED_FRAMES)}
    frames.update({f"records{i}": long_frame(frame(HEADER + r)) for i, r in enumerate(COMPOSED_RECORDS)})
    texts = {f"text{i}": t.encode("latin-1") for i, t in enumerate(HEX_TEXTS)}
    for sub in ("frames", "bad-frames"):
        for path in sorted((telegrams / sub).glob("*.hex")):
            text = path.read_bytes()
            frames[path.stem] = frame(text.decode("latin-1"))
            texts[path.stem] = text
    for target in ("fuzz_mbus_frame", "fuzz_mbus_decode"):
        for name, content in frames.items():
            write(out / target, name + ".bin", content)
    for name, content in texts.items():
        write(out / "fuzz_hexlist", name + ".txt", content)
    for i, (section, key, content) in enumerate(INI_FILES):
        write(out / "fuzz_ini", f"ini{i}.txt", section.encode() + b"\n" + key.encode() + b"\n" + content)

    write(out / "fuzz_rb6", "new.ovx", rb6_file(9, []))
    write(out / "fuzz_rb6", "three.ovx", rb6_file(12, [(1700000000, 1.5), (1700000900, 2.0), (1700001800, 2.5)]))
    damaged = bytearray(rb6_file(12, [(1700000000, 1.5)]))
    damaged[4:12] = struct.pack("<d", 2.0)
    write(out / "fuzz_rb6", "damaged.ovx", bytes(damaged))
    write(out / "fuzz_rb6", "beyond-end.ovx", rb6_file(500, [(1700000000, 1.5)]))
    write(out / "fuzz_rb6", "short.ovx", rb6_file(9, [])[:100])
    for i, content in enumerate(LOG_LINES):
        write(out / "fuzz_logline", f"log{i}.txt", content)
    print(f"seeds: {len(frames)} frames, {len(texts)} hex texts, {len(INI_FILES)} INI files, 5 RB6 files, "
          f"{len(LOG_LINES)} log files in {out}")


if __name__ == "__main__":
    main()
