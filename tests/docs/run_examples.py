#!/usr/bin/env python3
"""Runs every example command of the README and of the manual page in a copy
of examples/, with the built program first on PATH, and fails unless each ends
with status 0, so that the documents stay true.

    run_examples.py TRK2INST README MANUAL_PAGE EXAMPLES_DIR

README examples are the lines of its indented code blocks that run the program
(their first word is trk2inst, cat or find) and are not a synopsis (no "[" and
no placeholder in capitals). Manual page examples are the .nf blocks of its
EXAMPLES section, one shell script each.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

TOOL, README, MANUAL, EXAMPLES = sys.argv[1:5]
PLACEHOLDERS = re.compile(r"\b(MODULE|FILE|COMMAND|DIR|NAME)\b")


def readme_examples(path):
    commands = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.startswith("    "):
                continue
            command = line.strip()
            first = command.split(" ", 1)[0]
            if first in ("trk2inst", "cat", "find") and "trk2inst" in command and \
                    "[" not in command and not PLACEHOLDERS.search(command):
                commands.append(command)
    return commands


def unroff(line):
    for roff, text in ((r"\(aq", "'"), (r"\-", "-"), (r"\e", "\\"), (r"\~", " ")):
        line = line.replace(roff, text)
    return line


def manual_examples(path):
    with open(path, encoding="utf-8") as f:
        page = f.read()
    section = page.split("\n.SH EXAMPLES\n", 1)[1].split("\n.SH ", 1)[0]
    return ["\n".join(unroff(line) for line in block.strip("\n").splitlines())
            for block in re.findall(r"^\.nf\n(.*?)^\.fi$", section, re.M | re.S)]


def main():
    runs = [("README", c) for c in readme_examples(README)] + \
           [("manual page", c) for c in manual_examples(MANUAL)]
    counts = {source: sum(1 for s, _ in runs if s == source) for source in ("README", "manual page")}
    failures = [f"only {n} examples found in the {source}" for source, n in counts.items() if n < 8]
    work = tempfile.mkdtemp()
    folder = os.path.join(work, "examples")
    shutil.copytree(EXAMPLES, folder)
    environment = dict(os.environ, PATH=os.path.dirname(os.path.abspath(TOOL)) + os.pathsep + os.environ["PATH"])
    for source, command in runs:
        done = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", command], cwd=folder, env=environment,
                              capture_output=True)
        print(f"{source}: {command!r}: status {done.returncode}")
        if done.returncode != 0:
            failures.append(f"{source}: {command!r} ended with status {done.returncode}: {done.stderr!r}")
    shutil.rmtree(work)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


sys.exit(main())
