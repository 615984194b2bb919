#!/usr/bin/env python3
"""Time from an X key event to the player acting on it: presses and releases
KEY through XTEST on $DISPLAY, COUNT times, and waits each time for the
player's log to grow (the controller logs a move to the next file at once).
Prints the median, mean and largest time in milliseconds.

Usage: key_reaction.py LOG COUNT [KEY]"""
import ctypes
import os
import random
import statistics
import sys
import time

log, count = sys.argv[1], int(sys.argv[2])
key = (sys.argv[3] if len(sys.argv) > 3 else "Right").encode()
x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no X display")
keycode = x11.XKeysymToKeycode(display, x11.XStringToKeysym(key))
times = []
for _ in range(count):
    # Long enough for the player to be waiting for events again after the
    # previous move; random so the press falls anywhere in its cycle.
    time.sleep(random.uniform(0.6, 0.9))
    size = os.stat(log).st_size
    began = time.monotonic()
    xtst.XTestFakeKeyEvent(display, keycode, 1, 0)
    x11.XFlush(display)
    while os.stat(log).st_size == size:
        if time.monotonic() - began > 2.0:
            sys.exit("the player did not act on the key within 2 s")
        time.sleep(0.0001)
    times.append((time.monotonic() - began) * 1000.0)
    xtst.XTestFakeKeyEvent(display, keycode, 0, 0)
    x11.XSync(display, 0)
print("median %.2f ms, mean %.2f ms, largest %.2f ms (%d presses)"
      % (statistics.median(times), statistics.mean(times), max(times), len(times)))
