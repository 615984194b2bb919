#!/usr/bin/env python3
"""Where in a sweep the listener is, window by window, from recordings of what
a sound server played.

The piece is a sine whose frequency rises linearly with time (F0 hertz at its
start, SLOPE hertz more every second), so the frequency heard tells the
position in the piece. Each recording is cut into windows of 50 ms; a window
sounds when its level is above a threshold, and its frequency comes from
its zero crossings (interpolated between samples). Windows are placed on the
wall clock by the time each recording started, so that several recordings (a
new one after the server came back) make one timeline.

Usage: sweep_position.py [options] RECORDING@START [RECORDING@START...]
       sweep_position.py --sounding RECORDING   (seconds of sound in it)
  RECORDING  raw signed 16-bit little-endian mono at --rate, or a WAV file
             (its data chunk is read to the end of the file, whatever its
             header says: a recorder killed with its server leaves it wrong)
  START      the wall-clock time (seconds since the epoch) of its first sample
Options:
  --f0 HZ --slope HZ_PER_S   the sweep (300 and 100 unless given)
  --octaves K                a sweep that rises K octaves a second from F0
                             instead (a note bent by the pitch wheel)
  --rate HZ                  the rate of raw recordings (48000)
  --event T                  an event on the wall clock (the server back, the
                             sink removed): the sound before it and after it
                             are compared
  --origin T                 times are printed from T (the first recording's
                             start unless given)
  --max-gap S --max-speed-error F --max-step S
                             the bounds of the continuity check (0.5 s, 0.1,
                             0.15 s)

Prints the sounding stretches as a table, then key=value lines for the
calling script:
  heard_before=P       the last position heard before the event (or none)
  heard_after=P        the first position heard after it (or none); the
                       sound may have gone on through the event
  sound_back_after=S   seconds from the event to the first sound (or never)
  resume_offset=D      how far heard_after lies from where the piece should
                       go on: heard_before moved on by what was heard between
                       the two (a silence must not move the piece on)
  speed_after=R        seconds of the piece per second of wall clock over the
                       stretch after the event
  jumps=N              steps between neighbouring windows that are not 50 ms
                       of the piece (outside --max-step); one or two windows
                       that fit neither the window before nor the one after
                       while those fit each other are a misread pitch,
                       listed but not a jump
  continuity=ok|FAIL ... the verdict with its reason
Exit status: 0 when continuity is ok or no event was given, 1 otherwise,
2 on bad usage.
"""
import array
import math
import sys

WINDOW_S = 0.05
# A window whose samples span less than this is silence; the sweep is
# recorded from about -16000 to 16000 (full scale 32768), a sink's silence
# at 0. (The span is what the C-coded min and max find fast enough to poll.)
SOUND_SPAN = 1400
# A run of this many samples near zero inside a sounding window is a dropout
# (2 ms: a sine of 300 Hz or more crosses zero far faster).
DROPOUT_SAMPLES = 96
NEAR_ZERO = 64
# The two halves of a window must agree on the frequency within this many
# hertz, or the window straddles a cut (a gap, a jump) and tells no position.
HALF_AGREEMENT_HZ = 25.0


def read_samples(path, rate):
    with open(path, "rb") as f:
        data = f.read()
    channels = 1
    if data[:4] == b"RIFF" and data[8:12] == b"WAVE":
        at = 12
        body = b""
        while at + 8 <= len(data):
            kind, size = data[at:at + 4], int.from_bytes(data[at + 4:at + 8], "little")
            if kind == b"fmt ":
                channels = int.from_bytes(data[at + 10:at + 12], "little")
                rate = int.from_bytes(data[at + 12:at + 16], "little")
            if kind == b"data":
                body = data[at + 8:]
                break
            at += 8 + size + (size & 1)
        data = body
    data = data[:len(data) - len(data) % (2 * channels)]
    samples = array.array("h")
    samples.frombytes(data)
    if sys.byteorder != "little":
        samples.byteswap()
    if channels > 1:
        samples = samples[::channels]
    return samples, rate


def crossing_frequency(samples, start, end, rate):
    """Hertz from the rising zero crossings in samples[start:end], or None."""
    first = last = None
    count = 0
    previous = samples[start]
    for i in range(start + 1, end):
        current = samples[i]
        if previous < 0 <= current:
            t = i - 1 + (-previous) / (current - previous)
            if first is None:
                first = t
            last = t
            count += 1
        previous = current
    if count < 3 or last == first:
        return None
    return (count - 1) * rate / (last - first)


def has_dropout(chunk):
    quiet = 0
    for x in chunk:
        if -NEAR_ZERO < x < NEAR_ZERO:
            quiet += 1
            if quiet >= DROPOUT_SAMPLES:
                return True
        else:
            quiet = 0
    return False


def sounding(samples, begin, size):
    chunk = samples[begin:begin + size]
    return max(chunk) - min(chunk) >= SOUND_SPAN


def windows_of(path, start_time, rate, f0, slope, octaves):
    """(wall time of the window's middle, position in the piece or None) for
    each sounding window; silent windows are left out. A window with a
    dropout in it tells no position."""
    samples, rate = read_samples(path, rate)
    size = int(rate * WINDOW_S)
    out = []
    for begin in range(0, len(samples) - size + 1, size):
        if not sounding(samples, begin, size):
            continue
        if has_dropout(samples[begin:begin + size]):
            out.append((start_time + (begin + size / 2) / rate, None))
            continue
        middle = start_time + (begin + size / 2) / rate
        half = begin + size // 2
        a = crossing_frequency(samples, begin, half, rate)
        b = crossing_frequency(samples, half, begin + size, rate)
        whole = crossing_frequency(samples, begin, begin + size, rate)
        rise = whole * octaves * math.log(2) if octaves and whole else slope  # Hz a second here
        if a is None or b is None or whole is None or abs(a - b) > HALF_AGREEMENT_HZ + rise * WINDOW_S:
            out.append((middle, None))
        elif octaves:
            out.append((middle, math.log2(whole / f0) / octaves))
        else:
            out.append((middle, (whole - f0) / slope))
    return out


def stretches(windows):
    """Runs of sounding windows with no silent window between them."""
    runs = []
    for w in windows:
        if runs and w[0] - runs[-1][-1][0] < WINDOW_S * 1.5:
            runs[-1].append(w)
        else:
            runs.append([w])
    return runs


def known(run):
    return [w for w in run if w[1] is not None]


def without_misreadings(points, max_step, longest=2):
    """The points less each run of at most `longest` windows that fit
    neither the window before nor the one after while those two fit each
    other: a pitch misread (a vibrato, a note's attack), not a jump, which
    would leave the piece elsewhere."""
    def fits(a, b):
        return abs((b[1] - a[1]) - (b[0] - a[0])) <= max_step
    kept, misread = [], []
    i = 0
    while i < len(points):
        run = 0
        if kept:
            for length in range(1, longest + 1):
                after = i + length
                if after >= len(points) or not fits(kept[-1], points[after]):
                    continue
                if all(not fits(kept[-1], p) for p in points[i:after]):
                    run = length
                    break
        if run:
            misread.extend(points[i:i + run])
            i += run
        else:
            kept.append(points[i])
            i += 1
    return kept, misread


def speed(run):
    """Least-squares slope of position over wall time."""
    points = known(run)
    if len(points) < 2:
        return None
    n = len(points)
    mt = sum(t for t, _ in points) / n
    mp = sum(p for _, p in points) / n
    st = sum((t - mt) ** 2 for t, _ in points)
    if st == 0:
        return None
    return sum((t - mt) * (p - mp) for t, p in points) / st


# The options that take a number, and their values unless given.
DEFAULTS = {"--f0": 300.0, "--slope": 100.0, "--octaves": 0.0, "--rate": 48000, "--event": None,
            "--origin": None, "--max-gap": 0.5, "--max-speed-error": 0.1, "--max-step": 0.15}


def main(argv):
    option = dict(DEFAULTS)
    recordings = []
    args = list(argv)
    if args[:1] == ["--sounding"]:
        # Seconds of sound in one recording, quickly: for a test that waits.
        samples, rate = read_samples(args[1], option["--rate"])
        size = int(rate * WINDOW_S)
        print(f"{sum(sounding(samples, b, size) for b in range(0, len(samples) - size + 1, size)) * WINDOW_S:.2f}")
        return 0
    while args:
        arg = args.pop(0)
        if arg in DEFAULTS:
            if not args:
                print("missing value for " + arg, file=sys.stderr)
                return 2
            option[arg] = float(args.pop(0))
        elif "@" in arg:
            path, start = arg.rsplit("@", 1)
            recordings.append((path, float(start)))
        else:
            print(__doc__, file=sys.stderr)
            return 2
    f0, slope, octaves, rate = option["--f0"], option["--slope"], option["--octaves"], int(option["--rate"])
    event, origin = option["--event"], option["--origin"]
    max_gap, max_speed_error, max_step = option["--max-gap"], option["--max-speed-error"], option["--max-step"]
    if not recordings:
        print(__doc__, file=sys.stderr)
        return 2
    if origin is None:
        origin = min(start for _, start in recordings)

    windows = []
    for path, start in recordings:
        windows.extend(windows_of(path, start, rate, f0, slope, octaves))
    windows.sort()
    runs = stretches(windows)

    def fmt(value, digits=2):
        return "-" if value is None else f"{value:.{digits}f}"

    print(f"{'heard from':>10} {'to':>8} {'piece from':>10} {'to':>8} {'speed':>6}  (wall seconds from the origin)")
    jumps_total = 0
    for run in runs:
        points = known(run)
        first = points[0][1] if points else None
        last = points[-1][1] if points else None
        s = speed(run)
        print(f"{round(run[0][0] - origin - WINDOW_S / 2, 2) or 0.0:10.2f} {run[-1][0] - origin + WINDOW_S / 2:8.2f} "
              f"{fmt(first):>10} {fmt(last):>8} {fmt(s):>6}")
        cut = len(run) - len(points)
        if cut:
            print(f"  {cut} window(s) with a dropout or no clear pitch")
        points, misread = without_misreadings(points, max_step)
        for t, p in misread:
            print(f"  misread window at {t - origin:.2f} s: piece {p:.2f}")
        for (t1, p1), (t2, p2) in zip(points, points[1:]):
            if abs((p2 - p1) - (t2 - t1)) > max_step:
                jumps_total += 1
                print(f"  jump at {t2 - origin:.2f} s: piece {p1:.2f} -> {p2:.2f} in {t2 - t1:.2f} s")
    if not runs:
        print("  (silence throughout)")

    if event is None:
        print(f"jumps={jumps_total}")
        return 0

    # The stretch after the event: from the first window that sounds after
    # it to the next silence (the sound may also have gone on through it).
    before = [w for w in windows if w[0] < event and w[1] is not None]
    first_after = next((run for run in runs if run[-1][0] >= event), None)
    if first_after is not None:
        first_after = [w for w in first_after if w[0] >= event]
    after_points = known(first_after) if first_after else []
    heard_before = before[-1][1] if before else None
    heard_after = after_points[0][1] if after_points else None
    back = first_after[0][0] - WINDOW_S / 2 - event if first_after else None
    speed_after = speed(first_after) if first_after else None
    jumps_after = 0
    steady_after, _ = without_misreadings(after_points, max_step)
    for (t1, p1), (t2, p2) in zip(steady_after, steady_after[1:]):
        if abs((p2 - p1) - (t2 - t1)) > max_step:
            jumps_after += 1
    # Only what was heard between the two windows moves the piece on: a
    # silence must not.
    offset = None
    if heard_before is not None and heard_after is not None:
        t_before, t_after = before[-1][0], after_points[0][0]
        heard_between = sum(1 for w in windows if t_before < w[0] < t_after)
        offset = heard_after - heard_before - (heard_between + 1) * WINDOW_S
    print(f"heard_before={fmt(heard_before)}")
    print(f"heard_after={fmt(heard_after)}")
    print(f"sound_back_after={'never' if back is None else f'{max(back, 0.0):.2f}'}")
    print(f"resume_offset={fmt(offset)}")
    print(f"speed_after={fmt(speed_after)}")
    print(f"jumps={jumps_after}")

    if heard_before is None:
        verdict = "FAIL nothing was heard before the event"
    elif first_after is None:
        verdict = "FAIL no sound after the event"
    elif heard_after is None or speed_after is None:
        verdict = "FAIL the sound after the event is not the piece"
    elif abs(offset) > max_gap:
        verdict = (f"FAIL the piece went on at {heard_after:.2f} s, "
                   f"{offset:+.2f} s from where it was last heard ({heard_before:.2f} s)")
    elif abs(speed_after - 1.0) > max_speed_error:
        verdict = f"FAIL the piece moves {speed_after:.2f} s per second after the event"
    elif jumps_after:
        verdict = f"FAIL the piece jumps {jumps_after} times after the event"
    else:
        verdict = "ok"
    print(f"continuity={verdict}")
    return 0 if verdict == "ok" else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
