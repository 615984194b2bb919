#!/usr/bin/env python3
"""Waits for the first sound after a moment in a recording that is still
being written, and prints how long after that moment it came.

    first_sound.py RECORDING@START SINCE [LIMIT]

RECORDING is raw 48 kHz mono signed 16-bit little-endian from a sink's
monitor whose first sample was taken at wall-clock time START (seconds);
the monitor of a sink that never suspends gives a steady stream, so a
sample's place in the file is its time. SINCE is the wall-clock time the
program was started. Prints the milliseconds from SINCE to the first sample
louder than the threshold after it, or "never" when none came within LIMIT
seconds (default 5) of waiting.
"""
import sys
import time

RATE = 48000
THRESHOLD = 300  # well above the dither and rounding of a silent stream


def first_loud(path, begin):
    """The index of the first loud sample at or after `begin`, or None."""
    with open(path, "rb") as f:
        f.seek(begin * 2)
        data = f.read()
    for i in range(0, len(data) - 1, 2):
        value = int.from_bytes(data[i:i + 2], "little", signed=True)
        if abs(value) > THRESHOLD:
            return begin + i // 2
    return None


def main(argv):
    if len(argv) not in (3, 4) or "@" not in argv[1]:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    path, start = argv[1].rsplit("@", 1)
    start, since = float(start), float(argv[2])
    limit = float(argv[3]) if len(argv) == 4 else 5.0
    begin = max(0, int((since - start) * RATE))
    deadline = time.monotonic() + limit
    while True:
        found = first_loud(path, begin)
        if found is not None:
            print(round((start + found / RATE - since) * 1000))
            return 0
        if time.monotonic() > deadline:
            print("never")
            return 0
        time.sleep(0.02)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
