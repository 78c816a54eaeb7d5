#!/usr/bin/env python3
"""Reads back the SFZ files that "z" writes with a small parser of its own and
checks them against the instruments of "j": one file for each instrument that
plays a slot, named for it, its <group> and <region> opcodes those of the
listing, each sample= one of the WAV files beside it, which are those of "x".

    check_sfz.py TRK2INST EXAMPLES_DIR
"""
import filecmp
import json
import os
import re
import subprocess
import sys
import tempfile

TOOL, EXAMPLES = sys.argv[1], sys.argv[2]
NUMBER = re.compile(r"^(0|-?[1-9][0-9]*|-?[0-9]+\.[0-9]{0,2}[1-9])$")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(args):
    done = subprocess.run([TOOL] + args, capture_output=True)
    check(done.returncode == 0, f"{args}: status {done.returncode}, {done.stderr!r}")
    return done.stdout.decode("ascii")


def parse_sfz(text):
    """The comment line and a list of (header, {opcode: value})."""
    check(text.endswith("\n") and "\r" not in text, "SFZ lines end in \\n")
    lines = text[:-1].split("\n")
    headers = []
    for line in lines[1:]:
        header, *opcodes = line.split(" ")
        headers.append((header, dict(opcode.split("=", 1) for opcode in opcodes)))
    return lines[0], headers


def number(text, what):
    check(NUMBER.match(text) is not None and text != "-0", f"{what}: {text!r} is not in the number form")
    return float(text)


def escaped(name):
    """As "j" escapes a string, without the quotes: name is its Latin-1 reading."""
    out = ""
    for byte in name.encode("latin-1"):
        if byte in b'"\\':
            out += "\\" + chr(byte)
        else:
            out += chr(byte) if 0x20 <= byte <= 0x7E else f"\\u00{byte:02X}"
    return out


def loop_of(source):
    loops = source["loops"]
    chosen = next((l for l in loops if l["sustain"]), loops[0] if loops else None)
    if chosen is None:
        return {"loop_mode": "no_loop"}
    opcodes = {"loop_mode": "loop_sustain" if chosen["sustain"] else "loop_continuous",
               "loop_start": str(chosen["start"]), "loop_end": str(chosen["end"])}
    if chosen["kind"] == "ping-pong":
        opcodes["loop_type"] = "alternate"
    return opcodes


def check_group(opcodes, instrument, what):
    check(number(opcodes.pop("ampeg_release"), what) == instrument["release_seconds"], f"{what}: release")
    envelope = instrument["volume_envelope"]
    if envelope is None:
        check(not opcodes, f"{what}: opcodes without an envelope: {opcodes}")
        return
    check(opcodes.pop("eg1_amplitude") == "100", f"{what}: eg1_amplitude")
    previous = envelope["points"][0][0]
    for k, (tick, value) in enumerate(envelope["points"]):
        seconds = number(opcodes.pop(f"eg1_time{k}"), what)
        check(abs(seconds - (tick - previous) * instrument["tick_seconds"]) <= 0.0015, f"{what}: eg1_time{k}")
        check(abs(number(opcodes.pop(f"eg1_level{k}"), what) - value / 64) <= 0.0005, f"{what}: eg1_level{k}")
        previous = tick
    if envelope["sustain"] is not None:
        check(opcodes.pop("eg1_sustain") == str(envelope["sustain"][0]), f"{what}: eg1_sustain")
    check(not opcodes, f"{what}: opcodes left over: {opcodes}")


def check_region(opcodes, region, files, source, what):
    expected = {"sample": files[region["slot"]], "lokey": str(region["lokey"]), "hikey": str(region["hikey"]),
                "pitch_keycenter": "60"}
    for opcode, key in (("transpose", "transpose"), ("tune", "tune"), ("volume", "volume_db"), ("pan", "pan")):
        if region[key] not in (None, 0):
            expected[opcode] = opcodes.get(opcode, "")
            check(number(expected[opcode], what) == region[key], f"{what}: {opcode}")
    expected.update(loop_of(source))
    check(opcodes == expected, f"{what}: {opcodes} instead of {expected}")


def check_module(form, module, work):
    listing = json.loads(run([form, module, "j"]))
    samples = {s["slot"]: s["source"] for s in listing["samples"]}
    folder, plain = os.path.join(work, "z"), os.path.join(work, "x")
    written = run([form, module, "z" + folder]).splitlines()
    wavs = run([form, module, "x" + plain]).splitlines()
    check([os.path.basename(p) for p in written[:len(wavs)]] == [os.path.basename(p) for p in wavs],
          f"{module}: the WAV files of z are those of x")
    for path in wavs:
        check(filecmp.cmp(path, os.path.join(folder, os.path.basename(path)), shallow=False),
              f"{module}: {path} differs")
    files = {int(os.path.basename(p)[:2]): os.path.basename(p) for p in wavs}
    sfz = written[len(wavs):]
    playing = [i for i in listing["instruments"] if i["regions"]]
    check(len(sfz) == len(playing), f"{module}: {len(sfz)} SFZ files for {len(playing)} instruments")
    for path, instrument in zip(sfz, playing):
        what = f"{module} instrument {instrument['number']}"
        check(os.path.basename(path).startswith(f"{instrument['number']:02d}") and path.endswith(".sfz"), what)
        with open(path, "rb") as f:
            comment, headers = parse_sfz(f.read().decode("ascii"))
        check(comment == f"// {escaped(instrument['name'])} (instrument {instrument['number']} of {module})",
              f"{what}: comment {comment!r}")
        check([h for h, _ in headers] == ["<group>"] + ["<region>"] * len(instrument["regions"]),
              f"{what}: headers")
        check_group(dict(headers[0][1]), instrument, what)
        for (_, opcodes), region in zip(headers[1:], instrument["regions"]):
            check_region(opcodes, region, files, samples[region["slot"]], f"{what} keys {region['lokey']}")


def main():
    for name in ("demo.xm", "demo.it", "demo.mod", "demo.s3m", "demo.med", "demo.mtm"):
        with tempfile.TemporaryDirectory() as work:
            check_module("=A", os.path.join(EXAMPLES, name), work)
    with tempfile.TemporaryDirectory() as work:
        check_module("=M", os.path.join(EXAMPLES, "demo.mod"), work)
    for failure in failures:
        print("FAIL:", failure)
    print(f"SFZ files read back: {len(failures)} failures")
    return 1 if failures else 0


sys.exit(main())
