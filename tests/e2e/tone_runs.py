#!/usr/bin/env python3
"""The tones of a captured WAV file in windows of WINDOW_MS milliseconds,
each window named by the strongest of the given tones (Goertzel) or "-" for
silence, printed as runs: "440:30 660:30 -:5 ...".

Usage: tone_runs.py CAPTURE.wav WINDOW_MS HERTZ [HERTZ...]
"""
import math
import struct
import sys
import wave


def main():
    path, window_ms, tones = sys.argv[1], int(sys.argv[2]), [int(h) for h in sys.argv[3:]]
    capture = wave.open(path)
    rate, channels = capture.getframerate(), capture.getnchannels()
    raw = capture.readframes(capture.getnframes())
    left = struct.unpack("<%dh" % (len(raw) // 2), raw)[::channels]
    size = rate * window_ms // 1000
    runs = []
    for start in range(0, len(left) - size + 1, size):
        best, power = "-", 1e9 * size  # a tone weaker than this is silence
        for hertz in tones:
            c = 2 * math.cos(2 * math.pi * hertz / rate)
            s1 = s2 = 0.0
            for x in left[start:start + size]:
                s1, s2 = x + c * s1 - s2, s1
            p = s1 * s1 + s2 * s2 - c * s1 * s2
            if p > power:
                best, power = str(hertz), p
        if runs and runs[-1][0] == best:
            runs[-1][1] += 1
        else:
            runs.append([best, 1])
    print(" ".join("%s:%d" % (name, count) for name, count in runs))


if __name__ == "__main__":
    main()
