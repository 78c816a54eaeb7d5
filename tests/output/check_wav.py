#!/usr/bin/env python3
"""Reads back the WAV files that "w", "s" and "x" write with readers of other
people's: Python's wave module always, sox and libsndfile's sndfile-info where
they are installed. Every slot of the example modules and of modules built here
is written both as a record ("o") and as a WAV file ("w"); the WAV file must
hold the record's data, at the rate its note and finetune give, with its loop.
The "j" listing must parse as JSON, agree with "i", and describe the files
that "x" writes, which must be what "s" writes.

    check_wav.py TRK2INST EXAMPLES_DIR
"""
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import json
import tempfile
import wave

TOOL, EXAMPLES = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(args):
    done = subprocess.run([TOOL] + args, capture_output=True)
    check(done.returncode == 0, f"{args}: status {done.returncode}, {done.stderr!r}")
    return done.stdout


def signed8(byte):
    return byte - 256 if byte >= 128 else byte


def expected_from_record(record):
    """Rate, frames, loop (first, last byte) and unsigned data from an instrument record."""
    length, finetune, loop_start, loop_length = struct.unpack(">HBHH", record[1:8])
    note = signed8(record[10])
    fine = signed8(((finetune << 4) | (finetune >> 4)) & 0xFF)
    rate = max(1, math.floor(8363 * 2 ** ((128 * note + fine) / 1536) + 0.5))
    data = bytes(b ^ 0x80 for b in record[11:11 + 2 * length])
    loop = None
    if loop_length >= 2 and loop_start < length:
        loop = (2 * loop_start, min(2 * (loop_start + loop_length), 2 * length) - 1)
    return rate, data, loop


def smpl_loops(path):
    """The loops of the smpl chunk: (type, start, end) each."""
    with open(path, "rb") as f:
        riff = f.read()
    at = 12
    while at + 8 <= len(riff):
        tag, size = riff[at:at + 4], struct.unpack("<I", riff[at + 4:at + 8])[0]
        if tag == b"smpl":
            count = struct.unpack("<I", riff[at + 8 + 28:at + 8 + 32])[0]
            return [struct.unpack("<III", riff[at + 8 + 40 + 24 * i:at + 8 + 52 + 24 * i])
                    for i in range(count)]
        at += 8 + size + (size & 1)
    return []


def smpl_loop(path):
    loops = smpl_loops(path)
    return loops[0][1:] if loops else None


def listed_slots(listing):
    """(slot, name bytes, length) of each entry of the "i" listing."""
    return [(int(m.group(1)), m.group(2), int(m.group(3)))
            for m in re.finditer(rb"\[(\d+)\] (.*)\n  Len: +(-?\d+) ", listing)]


def check_sources(form, module):
    """ "j" against "i", and the files of "x" against "j" and "s"."""
    what = os.path.basename(module)
    listing = json.loads(run([form, module, "j"]).decode("ascii"))
    entries = listed_slots(run([form, module, "i"]))
    seen = [(s["slot"], s["name"].encode("latin-1"), s["length"]) for s in listing["samples"]]
    check(seen == entries, f"{what}: j lists {seen}, i lists {entries}")
    folder = tempfile.mkdtemp()
    paths = run([form, module, "x" + folder]).decode().splitlines()
    check(len(paths) == len(listing["samples"]), f"{what}: x wrote {len(paths)} files")
    for sample, path in zip(listing["samples"], paths):
        source, where = sample["source"], f"{what} slot {sample['slot']}"
        with open(path, "rb") as f:
            check(f.read() == run([form, module, f"s{sample['slot']}"]), f"{where}: x and s differ")
        with wave.open(path, "rb") as w:
            shape = (w.getnchannels(), 8 * w.getsampwidth(), w.getframerate(), w.getnframes())
        expected = (source["channels"], source["bits"], source["rate"], source["frames"])
        check(shape == expected, f"{where}: wave reads {shape}, j says {expected}")
        loops = [(int(l["kind"] == "ping-pong"), l["start"], l["end"]) for l in source["loops"]]
        check(smpl_loops(path) == loops, f"{where}: smpl {smpl_loops(path)}, j says {loops}")
        if shutil.which("sndfile-info"):
            info = subprocess.run(["sndfile-info", path], capture_output=True, text=True,
                                  errors="replace").stdout
            check(f"Frames      : {source['frames']}\n" in info, f"{where}: sndfile frames")
    shutil.rmtree(folder)


def check_slot(form, module, slot, prefix=()):
    record = run([form, module, *prefix, f"o{slot}"])
    wav_bytes = run([form, module, *prefix, f"w{slot}"])
    rate, data, loop = expected_from_record(record)
    what = f"{os.path.basename(module)} {' '.join(prefix)} w{slot}"
    with tempfile.NamedTemporaryFile(suffix=".wav", delete=False) as f:
        f.write(wav_bytes)
        path = f.name
    try:
        with wave.open(path, "rb") as w:
            check(w.getnchannels() == 1 and w.getsampwidth() == 1, f"{what}: not 8-bit mono")
            check(w.getframerate() == rate, f"{what}: rate {w.getframerate()}, expected {rate}")
            check(w.readframes(w.getnframes()) == data, f"{what}: data differ")
        check(smpl_loop(path) == loop, f"{what}: loop {smpl_loop(path)}, expected {loop}")
        if shutil.which("sox"):
            def sox_info(option):
                return subprocess.run(["sox", "--i", option, path], capture_output=True,
                                      text=True, errors="replace").stdout.strip()
            # sox prints the rate with six significant digits
            check(sox_info("-r") == f"{rate:g}", f"{what}: sox rate {sox_info('-r')}")
            check(sox_info("-s") == str(len(data)), f"{what}: sox length {sox_info('-s')}")
            if data:
                stat = subprocess.run(["sox", path, "-n", "stat"], capture_output=True)
                check(stat.returncode == 0, f"{what}: sox stat failed: {stat.stderr!r}")
        if shutil.which("sndfile-info"):
            info = subprocess.run(["sndfile-info", path], capture_output=True, text=True,
                                  errors="replace").stdout
            check(f"Sample Rate : {rate}\n" in info, f"{what}: sndfile rate")
            check(f"Frames      : {len(data)}\n" in info, f"{what}: sndfile frames")
            found = re.search(r"Start :\s*(\d+)\s+End :\s*(\d+)", info)
            seen = (int(found.group(1)), int(found.group(2))) if found else None
            check(seen == loop, f"{what}: sndfile loop {seen}, expected {loop}")
    finally:
        os.unlink(path)
    return wav_bytes


# Modules built here, byte by byte ------------------------------------------

def protracker(samples):
    """samples: (name bytes, words, finetune, loop start, loop length)."""
    out = bytearray(b"wav check".ljust(20, b"\0"))
    for i in range(31):
        name, words, fine, start, length = samples[i] if i < len(samples) else (b"", 0, 0, 0, 0)
        out += name.ljust(22, b"\0")[:22] + struct.pack(">HBBHH", words, fine, 48, start, length)
    out += bytes([1, 127]) + bytes(128) + b"M.K." + bytes(4 * 256)
    for i, (_, words, *_rest) in enumerate(samples):
        out += bytes((i * 37 + j * 11) & 0xFF for j in range(2 * words))
    return bytes(out)


def extended(samples):
    """samples: (relative note, finetune); one instrument each, 8-bit, 100 bytes."""
    out = bytearray(b"Extended Module: " + b"wav check".ljust(20, b"\0") + b"\x1a")
    out += b"check".ljust(20, b"\0") + struct.pack("<H", 0x104)
    out += struct.pack("<IHHHHHHHH", 20, 1, 0, 4, 0, len(samples), 1, 6, 125)
    for note, fine in samples:
        out += struct.pack("<I", 263) + b"instrument".ljust(22, b"\0") + b"\0"
        out += struct.pack("<HI", 1, 40) + bytes(263 - 33)
        out += struct.pack("<IIIBbBBbB", 100, 0, 0, 64, fine, 0, 128, note, 0) + b"x".ljust(22, b"\0")
        out += bytes([3] * 100)
    return bytes(out)


def main():
    work = tempfile.mkdtemp()
    built = []
    mod = os.path.join(work, "loops.mod")
    with open(mod, "wb") as f:
        f.write(protracker([
            (b"loop", 100, 0x00, 10, 20),
            (b"loop past the end", 100, 0x0F, 90, 20),
            (b"one shot", 50, 0x07, 0, 1),
            (b"", 0, 0x08, 0, 0),  # empty slot
            (b"even", 8, 0x09, 0, 8),
            (b"Sample_1_____________X", 2, 0x0F, 0, 2),  # no zero byte in the name
            (b"no\0name after zero", 4, 0, 0, 1),
            (b'q"\\\x01\xe9/', 2, 0, 0, 1),  # JSON escapes, a file name made safe
        ]))
    built.append(("=M", mod, 8))
    xm = os.path.join(work, "notes.xm")
    with open(xm, "wb") as f:
        f.write(extended([(127, 127), (-128, -128), (12, 0), (-12, -16), (0, 64)]))
    built.append(("=M", xm, 5))
    examples = [("=M", os.path.join(EXAMPLES, "demo.mod"), 31),
                ("=A", os.path.join(EXAMPLES, "demo.it"), 99),
                ("=S", os.path.join(EXAMPLES, "demo.s3m"), 99),
                ("=A", os.path.join(EXAMPLES, "demo.xm"), 99),
                ("=A", os.path.join(EXAMPLES, "demo.med"), 99),
                ("=A", os.path.join(EXAMPLES, "demo.mtm"), 99)]
    for form, module, slots in examples + built:
        for slot in range(1, slots + 1):
            check_slot(form, module, slot)
    for prefix in (("k12",), ("k-7", "v0")):
        for slot in (1, 2):
            check_slot("=M", mod, slot, prefix)
    for form, module, _ in examples + built:
        check_sources(form, module)
        check_sources("=A", module)
    # Several "w" commands write their files back to back.
    together = run(["=M", mod, "w1", "w3", "w4"])
    apart = b"".join(run(["=M", mod, f"w{n}"]) for n in (1, 3, 4))
    check(together == apart, "w1 w3 w4 differ from three runs")
    shutil.rmtree(work)

    readers = ["wave"] + [r for r in ("sox", "sndfile-info") if shutil.which(r)]
    for failure in failures:
        print("FAIL:", failure)
    print(f"read back with {', '.join(readers)}: {len(failures)} failures")
    return 1 if failures else 0


sys.exit(main())
