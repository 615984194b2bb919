#!/usr/bin/env python3
"""Writes QORVE's own XM modules: the demo song (synthesised samples; patterns
with envelopes, slides, vibrato, arpeggio, key offs and pattern breaks), long
many-channel songs for the render benchmark, and small seeds for the module
fuzzer.

  make_demo_module.py demo OUT.xm
  make_demo_module.py bench OUT.xm CHANNELS MINUTES
  make_demo_module.py seeds FOLDER
"""
import math
import struct
import sys

KEY_OFF = 97


def note(name):
    """'C-4' → XM note number (1 = C-0)."""
    names = ['C-', 'C#', 'D-', 'D#', 'E-', 'F-', 'F#', 'G-', 'G#', 'A-', 'A#', 'B-']
    return names.index(name[:2]) + 12 * int(name[2]) + 1


class Sample:
    def __init__(self, values, wide=False, loop=0, loop_start=0, loop_length=0, volume=64, panning=128,
                 relative=0, finetune=0):
        self.values, self.wide, self.loop = values, wide, loop
        self.loop_start, self.loop_length = loop_start, loop_length
        self.volume, self.panning, self.relative, self.finetune = volume, panning, relative, finetune


class Instrument:
    def __init__(self, name, samples, envelope=None, sustain=0, loop=None, fadeout=0, vibrato=(0, 0, 0, 0)):
        self.name, self.samples, self.envelope = name, samples, envelope or []
        self.sustain, self.loop, self.fadeout, self.vibrato = sustain, loop, fadeout, vibrato


def xm_bytes(channels, speed, tempo, orders, patterns, instruments, name='QORVE demo', restart=0):
    out = bytearray()
    out += b'Extended Module: ' + name.encode().ljust(20, b'\0')[:20] + b'\x1a'
    out += b'QORVE module maker'.ljust(20, b'\0')
    out += struct.pack('<HIHHHHHHHH', 0x0104, 276, len(orders), restart, channels, len(patterns),
                       len(instruments), 1, speed, tempo)
    out += bytes(orders).ljust(256, b'\0')
    for rows in patterns:
        packed = bytearray()
        for row in rows:
            for cell in row:
                n, i, v, e, p = cell
                mask = 0x80 | (1 if n else 0) | (2 if i else 0) | (4 if v else 0) | (8 if e else 0) | (16 if p else 0)
                packed.append(mask)
                packed += bytes(x for x, bit in zip(cell, (1, 2, 4, 8, 16)) if mask & bit)
        out += struct.pack('<IBHH', 9, 0, len(rows), len(packed)) + packed
    for ins in instruments:
        start = len(out)
        out += struct.pack('<I', 263) + ins.name.encode().ljust(22, b'\0') + b'\0'
        out += struct.pack('<H', len(ins.samples))
        out += struct.pack('<I', 40) + bytes(96)
        env = ins.envelope[:12]
        for i in range(12):
            x, y = env[i] if i < len(env) else (0, 0)
            out += struct.pack('<HH', x, y)
        out += bytes(48)
        env_type = (1 | 2 | (4 if ins.loop else 0)) if env else 0
        loop_start, loop_end = ins.loop or (0, 0)
        out += bytes([len(env), 0, ins.sustain, loop_start, loop_end, 0, 0, 0, env_type, 0])
        out += bytes(ins.vibrato) + struct.pack('<HH', ins.fadeout, 0)
        out += bytes(263 - (len(out) - start))
        for s in ins.samples:
            width = 2 if s.wide else 1
            out += struct.pack('<IIIBbBBbB', len(s.values) * width, s.loop_start * width, s.loop_length * width,
                               s.volume, s.finetune, s.loop | (0x10 if s.wide else 0), s.panning, s.relative, 0)
            out += b'sample'.ljust(22, b'\0')
        for s in ins.samples:
            previous = 0
            for v in s.values:
                delta = v - previous
                previous = v
                out += struct.pack('<h', ((delta + 32768) & 0xFFFF) - 32768) if s.wide else \
                    struct.pack('<b', ((delta + 128) & 0xFF) - 128)
    return bytes(out)


# Synthesised samples. One period of each looped wave at C-4 (8363 Hz):
# 64 samples play about 130 Hz, so relative notes bring them into key.
def saw(length=64, amp=90):
    return [int(amp * (2 * i / length - 1)) for i in range(length)]


def pulse(length=64, amp=70, width=0.3):
    return [amp if i < length * width else -amp for i in range(length)]


def organ(length=128, amp=28000):
    return [int(amp * (0.6 * math.sin(2 * math.pi * i / length) + 0.3 * math.sin(4 * math.pi * i / length) +
                       0.1 * math.sin(6 * math.pi * i / length))) for i in range(length)]


def bell(length=2000, amp=120):
    # Inharmonic partials decaying towards a quiet ping-pong loop at the end.
    return [int(amp * math.exp(-i / 700) * (math.sin(2 * math.pi * i / 32) + 0.5 * math.sin(2 * math.pi * i / 11.3)))
            for i in range(length)]


def kick(length=3000, amp=125):
    values, phase = [], 0.0
    for i in range(length):
        phase += 2 * math.pi * (180 * math.exp(-i / 400) + 45) / 8363
        values.append(int(amp * math.exp(-i / 1400) * math.sin(phase)))
    return values


def noise(length=2500, amp=100, decay=350, seed=12345):
    values, state = [], seed
    for i in range(length):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        values.append(int(amp * math.exp(-i / decay) * ((state >> 16) / 16384.0 - 1)))
    return values


def demo_instruments():
    bell_values = bell()
    return [
        Instrument('bass', [Sample(saw(), loop=1, loop_length=64, relative=-12)], fadeout=1024),
        Instrument('lead', [Sample(pulse(), loop=1, loop_length=64, relative=12, volume=48)],
                   vibrato=(0, 10, 3, 12)),
        Instrument('pad', [Sample(organ(), wide=True, loop=1, loop_length=128, volume=40)],
                   envelope=[(0, 0), (12, 64), (30, 44), (200, 30)], sustain=2, fadeout=600),
        Instrument('bell', [Sample(bell_values, loop=2, loop_start=1600, loop_length=400, volume=50)],
                   envelope=[(0, 64), (40, 30), (120, 0)]),
        Instrument('kick', [Sample(kick(), volume=60)]),
        Instrument('snare', [Sample(noise(), volume=44, relative=7)]),
        Instrument('hat', [Sample(noise(900, 60, 90, 777), volume=30, relative=19)]),
    ]


BASS, LEAD, PAD, BELL, KICK, SNARE, HAT = range(1, 8)
CHORDS = [('A-', 'C-', 'E-'), ('F-', 'A-', 'C-'), ('C-', 'E-', 'G-'), ('G-', 'B-', 'D-')]


def empty(rows, channels):
    return [[[0, 0, 0, 0, 0] for _ in range(channels)] for _ in range(rows)]


def demo_pattern(chord, section):
    """8 channels: drums, hat, bass, pad, arpeggio, lead, bell, echo."""
    rows = empty(64, 8)
    root = chord[0]
    for r in range(64):
        if r % 16 in (0, 10):
            rows[r][0] = [note('C-4'), KICK, 0, 0, 0]
        if r % 16 == 8:
            rows[r][0] = [note('C-4'), SNARE, 0, 0, 0]
        if r % 4 == 2:
            rows[r][1] = [note('C-4'), HAT, 0x10 + 20 + (r % 8) * 2, 0, 0]
        if r % 8 == 0:
            octave = '2' if r % 16 == 0 else '3'
            rows[r][2] = [note(root + octave), BASS, 0, 0, 0]
        if r % 8 == 6:
            rows[r][2] = [0, 0, 0, 0xA, 0x08]  # volume slide down
    rows[0][3] = [note(chord[1] + '4'), PAD, 0, 0, 0]
    rows[56][3] = [KEY_OFF, 0, 0, 0, 0]
    # Arpeggio of the chord on channel 4: root, +third, +fifth each tick.
    third = (note(chord[1] + '4') - note(root + '4')) % 12
    fifth = (note(chord[2] + '4') - note(root + '4')) % 12
    for r in range(0, 64, 4):
        rows[r][4] = [note(root + '5') if r % 16 == 0 else 0, LEAD if r % 16 == 0 else 0, 0x10 + 28, 0,
                      (fifth << 4) | third]
    if section >= 1:
        melody = [root + '5', chord[1] + '5', chord[2] + '5', chord[1] + '5']
        for k, r in enumerate(range(0, 64, 16)):
            rows[r][5] = [note(melody[k]), LEAD, 0, 0x4, 0x46]  # vibrato
            rows[r + 6][5] = [0, 0, 0, 0x4, 0x00]
            rows[r + 8][5] = [0, 0, 0, 0x1, 0x08] if k % 2 == 0 else [0, 0, 0, 0x2, 0x06]  # slides
            rows[r + 12][5] = [note(melody[(k + 1) % 4]), 0, 0, 0x3, 0x20]  # tone portamento
    if section >= 2:
        for r in (4, 20, 36, 52):
            rows[r][6] = [note(chord[2] + '5'), BELL, 0, 0x8, 0x40 + r * 2]
        rows[24][7] = [note(chord[0] + '6'), BELL, 0x10 + 20, 0xE, 0xD3]  # note delay
    if section == 3:
        rows[47][0] = [note('C-4'), SNARE, 0, 0xD, 0x00]  # pattern break: the last row of the pass
    return rows


def demo_song():
    patterns = []
    for section in range(4):
        for chord in CHORDS:
            patterns.append(demo_pattern(chord, section))
    orders = list(range(len(patterns)))
    return xm_bytes(8, 6, 128, orders, patterns, demo_instruments(), name='QORVE demo')


def bench_song(channels, minutes):
    """A song of about `minutes` minutes keeping `channels` channels busy."""
    instruments = demo_instruments()
    patterns = []
    for chord in CHORDS:
        rows = empty(64, channels)
        for c in range(channels):
            kind = c % 4
            for r in range(0, 64, 2 + kind):
                pitch = chord[(r // 4 + c) % 3] + str(3 + kind % 3)
                ins = [BASS, LEAD, PAD, BELL][kind]
                rows[r][c] = [note(pitch), ins, 0x10 + 24, 0x4 if kind == 1 else 0, 0x34 if kind == 1 else 0]
        patterns.append(rows)
    seconds_per_pattern = 64 * 6 * 2.5 / 125
    orders = [i % 4 for i in range(max(1, int(minutes * 60 / seconds_per_pattern)))][:256]
    return xm_bytes(channels, 6, 125, orders, patterns, instruments, name='QORVE bench %d' % channels)


def seeds(folder):
    import os
    os.makedirs(folder, exist_ok=True)
    small = [Instrument('s', [Sample(saw(16), loop=2, loop_start=4, loop_length=8)],
                        envelope=[(0, 64), (4, 20), (8, 40)], sustain=1, loop=(1, 2), fadeout=4000,
                        vibrato=(4, 2, 4, 8)),
             Instrument('w', [Sample(organ(16, 9000), wide=True)])]
    rows = empty(4, 2)
    rows[0] = [[note('C-4'), 1, 0x40, 0x0, 0x37], [note('E-4'), 2, 0x65, 0xE, 0xD1]]
    rows[1] = [[KEY_OFF, 0, 0xC4, 0x9, 0x02], [0, 0, 0xF3, 0x3, 0x10]]
    rows[2] = [[0, 1, 0, 0x1B, 0x32], [note('G-4'), 0, 0, 0x1D, 0x21]]
    rows[3] = [[0, 0, 0, 0xB, 0x00], [0, 0, 0, 0xE, 0x61]]
    with open(os.path.join(folder, 'effects.xm'), 'wb') as f:
        f.write(xm_bytes(2, 3, 140, [0, 0], [rows], small, name='seed'))
    # A 4-channel MOD: one looped and one plain sample, a few effects.
    out = bytearray(b'seed mod'.ljust(20, b'\0'))
    for s in range(31):
        length, loop_start, loop_length = (8, 2, 4) if s == 0 else ((6, 0, 1) if s == 1 else (0, 0, 1))
        out += b'smp'.ljust(22, b'\0') + struct.pack('>HBBHH', length, s & 15, 64, loop_start, loop_length)
    out += bytes([2, 0x7F]) + bytes([0, 1]) + bytes(126) + b'M.K.'
    for p in range(2):
        for r in range(64):
            for c in range(4):
                cell = bytes(4)
                if r % 8 == 0 and c < 2:
                    period = [428, 856, 113, 1712][(r // 8 + c + p) % 4]
                    effect = [(0, 0x37), (0xA, 0x0F), (0x4, 0x88), (0xE, 0x93)][(r // 8 + c) % 4]
                    cell = bytes([period >> 8, period & 0xFF, ((c + 1) << 4) | effect[0], effect[1]])
                if r == 40 and c == 3:
                    cell = bytes([0, 0, 0x0F, 0x21 if p else 0x03])
                out += cell
    out += bytes((i * 37) & 0xFF for i in range(16)) + bytes((i * 11) & 0xFF for i in range(12))
    with open(os.path.join(folder, 'effects.mod'), 'wb') as f:
        f.write(bytes(out))


def main(argv):
    if len(argv) == 3 and argv[1] == 'demo':
        data = demo_song()
    elif len(argv) == 5 and argv[1] == 'bench':
        data = bench_song(int(argv[3]), float(argv[4]))
    elif len(argv) == 3 and argv[1] == 'seeds':
        seeds(argv[2])
        return 0
    else:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[2], 'wb') as f:
        f.write(data)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
