#!/usr/bin/env python3
"""The silences between the pieces of a captured series: for a 16-bit WAV
capture of pieces of steady tones one after another, the silence (samples of
exactly 0 in every channel, as the device writes while nothing plays) between
each piece and the next, in milliseconds, and the median and largest of them.
A tone crosses 0 for a sample at most, so a run of 4 or more is a silence.

Usage: series_gap.py CAPTURE.wav"""
import statistics
import struct
import sys
import wave

capture = wave.open(sys.argv[1])
rate, channels = capture.getframerate(), capture.getnchannels()
raw = capture.readframes(capture.getnframes())
frames = list(zip(*[iter(struct.unpack("<%dh" % (len(raw) // 2), raw))] * channels))
gaps = []
run = 0
for index, frame in enumerate(frames):
    if not any(frame):
        run += 1
        continue
    if run >= 4 and run < index:  # not the silence before the first piece
        gaps.append(run * 1000.0 / rate)
    run = 0
if not gaps:
    sys.exit("no silence between pieces in the capture")
print("median %.2f ms, largest %.2f ms (%d changes: %s)"
      % (statistics.median(gaps), max(gaps), len(gaps), " ".join("%.1f" % g for g in gaps)))
