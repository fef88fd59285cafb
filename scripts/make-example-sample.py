#!/usr/bin/env python3
"""Writes the sound the example patches load: a one-second mono 48 kHz 16-bit WAV file of
a 220 Hz tone of six harmonics with a quick attack, a steady middle (where the looping
example loops) and a fade-out.

    scripts/make-example-sample.py [output.wav]   (default: examples/sample-loop-source.wav)
"""
import math
import os
import struct
import sys
import wave

RATE = 48000
FRAMES = RATE  # one second
PITCH = 220.0  # Hz


def envelope(t):
    """Amplitude 0 .. 1 at t seconds: 10 ms attack, settles to 0.6 by 0.2 s, holds to 0.8 s,
    fades to silence at 1 s."""
    if t < 0.01:
        return t / 0.01
    if t < 0.2:
        return 1.0 - 0.4 * (t - 0.01) / 0.19
    if t < 0.8:
        return 0.6
    return 0.6 * max(0.0, (1.0 - t) / 0.2)


def sample(n):
    t = n / RATE
    tone = sum(math.sin(2.0 * math.pi * PITCH * k * t) / k for k in range(1, 7))
    return 0.55 * envelope(t) * tone


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "examples", "sample-loop-source.wav")
    frames = bytearray()
    for n in range(FRAMES):
        value = max(-1.0, min(1.0, sample(n)))
        frames += struct.pack("<h", int(round(value * 32767.0)))
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(frames))
    print(path)


if __name__ == "__main__":
    main()
