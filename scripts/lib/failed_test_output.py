#!/usr/bin/env python3
"""Prints the end of the output of every test that failed in the last CTest run
of a build folder, so that a log read from its end shows why the run failed.
Usage: failed_test_output.py BUILD_FOLDER [LINES]"""
import pathlib
import re
import sys

build = pathlib.Path(sys.argv[1])
keep = int(sys.argv[2]) if len(sys.argv) > 2 else 25
temporary = build / "Testing" / "Temporary"
try:
    failed = [line.split(":", 1)[1].strip() for line in (temporary / "LastTestsFailed.log").read_text().splitlines() if ":" in line]
    log = (temporary / "LastTest.log").read_text(errors="replace")
except OSError as error:
    sys.exit(f"no test log: {error}")

outputs = {}
for block in re.finditer(r'^\d+/\d+ Test: (\S+)\n.*?^Output:\n-+\n(.*?)^<end of output>', log, re.S | re.M):
    outputs[block.group(1)] = block.group(2).rstrip("\n").splitlines()
for name in failed:
    lines = outputs.get(name, ["(no output recorded)"])
    print(f"==== {name}: the last {min(keep, len(lines))} of {len(lines)} lines")
    for line in lines[-keep:]:
        print(f"  {line}")
print("failed: " + " ".join(failed))
