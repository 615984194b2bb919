#!/usr/bin/env python3
"""Synthesises the three short pieces of the demo folder and encodes them.

Everything is made here from sine partials and envelopes (no samples, no
recordings): a plucked pentatonic tune over a soft pad, a bell waltz, and a slow
electric-piano arpeggio. All three are 44.1 kHz stereo 16-bit, so one capture
file can hold the whole demo. Needs python3, oggenc and flac.

Usage: scripts/make_demo.py [OUT_FOLDER]   (default: demo/ beside scripts/)
"""
import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import wave

RATE = 44100
A4 = 440.0
NOTE_NAMES = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}


def hz(name):
    """'C#4' style note name to frequency."""
    step = NOTE_NAMES[name[0]]
    rest = name[1:]
    if rest.startswith("#"):
        step += 1
        rest = rest[1:]
    elif rest.startswith("b"):
        step -= 1
        rest = rest[1:]
    octave = int(rest)
    return A4 * 2.0 ** ((step + 12 * (octave - 4)) / 12.0)


class Track:
    """A stereo float mix of notes."""

    def __init__(self, seconds):
        self.frames = int(seconds * RATE)
        self.left = [0.0] * self.frames
        self.right = [0.0] * self.frames

    def note(self, start, length, freq, partials, attack, decay, gain, pan, release=0.08, vibrato=0.0):
        """Adds one note: partials are (multiple, weight) pairs; decay is the
        exponential time constant in seconds; pan 0 left .. 1 right."""
        first = int(start * RATE)
        count = int((length + release) * RATE)
        lg = gain * math.cos(pan * math.pi / 2)
        rg = gain * math.sin(pan * math.pi / 2)
        tau = 2 * math.pi / RATE
        for i in range(count):
            at = first + i
            if at >= self.frames:
                break
            t = i / RATE
            env = min(1.0, t / attack) * math.exp(-t / decay)
            if t > length:
                env *= max(0.0, 1.0 - (t - length) / release)
            wobble = 1.0 + vibrato * math.sin(2 * math.pi * 5.0 * t)
            value = 0.0
            for multiple, weight in partials:
                value += weight * math.sin(tau * freq * multiple * wobble * i)
            value *= env
            self.left[at] += value * lg
            self.right[at] += value * rg

    def echo(self, delay, feedback):
        """A soft ping-pong echo, for space."""
        d = int(delay * RATE)
        for i in range(d, self.frames):
            self.left[i] += feedback * self.right[i - d]
            self.right[i] += feedback * self.left[i - d]

    def write_wav(self, path):
        peak = max(max(abs(v) for v in self.left), max(abs(v) for v in self.right), 1e-9)
        scale = 0.85 * 32767 / peak
        fade = int(0.02 * RATE)  # no click at the start or the end
        with wave.open(path, "wb") as out:
            out.setnchannels(2)
            out.setsampwidth(2)
            out.setframerate(RATE)
            frames = bytearray()
            for i in range(self.frames):
                edge = min(1.0, i / fade, (self.frames - 1 - i) / fade)
                frames += struct.pack("<hh", int(self.left[i] * scale * edge), int(self.right[i] * scale * edge))
            out.writeframes(bytes(frames))


PLUCK = [(1, 1.0), (2, 0.45), (3, 0.25), (4, 0.12), (5, 0.06)]
PAD = [(1, 1.0), (2, 0.3), (3, 0.1)]
BELL = [(1, 1.0), (2.76, 0.5), (5.4, 0.25), (8.93, 0.12)]
EPIANO = [(1, 1.0), (2, 0.2), (3, 0.35), (7, 0.05)]
BASS = [(1, 1.0), (2, 0.4), (3, 0.1)]


def morning():
    """朝の小径: a plucked pentatonic tune over a slow pad, 100 bpm."""
    beat = 0.6
    track = Track(10.5)
    chords = [["C3", "G3", "E4"], ["A2", "E3", "C4"], ["F2", "C3", "A3"], ["G2", "D3", "B3"]]
    for bar, chord in enumerate(chords):
        for n, name in enumerate(chord):
            track.note(bar * 4 * beat, 4 * beat, hz(name), PAD, 0.4, 3.0, 0.12, 0.3 + 0.2 * n)
    tune = ["E5", "G5", "A5", "G5", "E5", "D5", "C5", "D5",
            "E5", "A5", "C6", "A5", "G5", "E5", "D5", "E5",
            "C5", "D5", "E5", "G5", "A5", "G5", "E5", "D5",
            "D5", "E5", "G5", "A5", "G5", "E5", "D5", "C5"]
    for i, name in enumerate(tune):
        length = beat / 2 if i % 8 != 7 else beat
        track.note(i * beat / 2, length, hz(name), PLUCK, 0.005, 0.35, 0.3, 0.65)
    track.note(16 * beat, 1.2, hz("C5"), PLUCK, 0.005, 0.8, 0.3, 0.5)
    track.note(16 * beat, 1.2, hz("C3"), BASS, 0.01, 1.0, 0.2, 0.5)
    track.echo(0.3, 0.25)
    return track


def waltz():
    """鈴のワルツ: bells in three-four over a plucked bass, 144 bpm."""
    beat = 60.0 / 144
    bars = 12
    track = Track(bars * 3 * beat + 1.5)
    harmony = ["D", "A", "B", "F#", "G", "D", "G", "A", "D", "A", "G", "D"]
    roots = {"D": ("D2", ["F#4", "A4", "D5"]), "A": ("A2", ["E4", "A4", "C#5"]), "B": ("B2", ["D4", "F#4", "B4"]),
             "F#": ("F#2", ["C#4", "F#4", "A4"]), "G": ("G2", ["D4", "G4", "B4"])}
    melody = ["A5", "F#5", "D5", "C#5", "E5", "A5", "B5", "A5", "F#5", "A5", "C#6", "F#5",
              "G5", "B5", "D6", "F#5", "A5", "D6", "B5", "G5", "D5", "E5", "A5", "C#6",
              "D6", "A5", "F#5", "E5", "C#5", "A4", "B4", "D5", "G5", "F#5", "D5", "D5"]
    for bar, chord in enumerate(harmony):
        bass, triad = roots[chord]
        start = bar * 3 * beat
        track.note(start, beat * 1.5, hz(bass), BASS, 0.01, 0.6, 0.35, 0.45)
        for b in (1, 2):
            for n, name in enumerate(triad):
                track.note(start + b * beat, beat * 0.6, hz(name), EPIANO, 0.01, 0.25, 0.07, 0.3 + 0.2 * n)
        for b in range(3):
            name = melody[bar * 3 + b]
            track.note(start + b * beat, beat, hz(name), BELL, 0.003, 0.9 if b == 0 else 0.5, 0.22, 0.7)
    track.note(bars * 3 * beat, 1.2, hz("D5"), BELL, 0.003, 1.0, 0.25, 0.6)
    track.note(bars * 3 * beat, 1.2, hz("D2"), BASS, 0.01, 1.0, 0.3, 0.5)
    track.echo(0.21, 0.2)
    return track


def evening():
    """夕暮れ: a slow electric-piano arpeggio with a gentle melody, 72 bpm."""
    beat = 60.0 / 72
    track = Track(11.0)
    rng = random.Random(7)
    progression = [["A2", "E3", "A3", "C4", "E4"], ["F2", "C3", "F3", "A3", "C4"],
                   ["C3", "G3", "C4", "E4", "G4"], ["G2", "D3", "G3", "B3", "D4"]]
    for bar, notes in enumerate(progression):
        for step in range(8):
            name = notes[[0, 1, 2, 3, 4, 3, 2, 1][step]]
            start = bar * 4 * beat + step * beat / 2
            track.note(start, beat * 0.9, hz(name), EPIANO, 0.01, 0.9, 0.16 + 0.02 * rng.random(),
                       0.35 + 0.3 * rng.random())
    melody = [("E5", 2), ("D5", 1), ("C5", 1), ("A4", 3), ("C5", 1),
              ("G4", 2), ("A4", 1), ("C5", 1), ("B4", 4)]
    at = 0.0
    for name, beats in melody:
        track.note(at * beat, beats * beat * 0.95, hz(name), PAD, 0.08, 2.5, 0.22, 0.6, vibrato=0.004)
        at += beats
    track.note(16 * beat, 1.8, hz("A2"), EPIANO, 0.01, 1.5, 0.2, 0.4)
    track.note(16 * beat, 1.8, hz("E4"), EPIANO, 0.01, 1.5, 0.12, 0.6)
    track.note(16 * beat, 1.8, hz("A4"), PAD, 0.05, 1.5, 0.15, 0.5)
    track.echo(0.42, 0.22)
    return track


PIECES = [
    ("01-morning.ogg", morning, "朝の小径"),
    ("02-waltz.ogg", waltz, "鈴のワルツ"),
    ("03-evening.flac", evening, "夕暮れ"),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "demo")
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        for name, make, title in PIECES:
            wav = os.path.join(work, name + ".wav")
            make().write_wav(wav)
            target = os.path.join(out, name)
            tags = {"TITLE": title, "ARTIST": "QORVE", "ALBUM": "QORVE デモ", "GENRE": "Demo"}
            if name.endswith(".ogg"):
                command = ["oggenc", "-Q", "-q", "4", "-o", target]
                for key, value in tags.items():
                    command += ["-c", f"{key}={value}"]
            else:
                command = ["flac", "-s", "-f", "-8", "-o", target]
                for key, value in tags.items():
                    command += ["-T", f"{key}={value}"]
            subprocess.run(command + [wav], check=True)
            print(target)


if __name__ == "__main__":
    main()
