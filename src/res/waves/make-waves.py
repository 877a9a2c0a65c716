#!/usr/bin/env python3
"""Makes the program's five sounds: short, soft-edged tones, 16-bit mono 22050 Hz.

Run from anywhere; the .wav files are written beside this script and committed,
so the build never needs Python. Output is deterministic.
"""

import math
import os
import struct
import wave

RATE = 22050
HERE = os.path.dirname(os.path.abspath(__file__))

# A bell's overtones sit a little off the harmonic series; these ratios and
# weights keep it warm rather than metallic.
BELL_PARTIALS = ((1.0, 1.0), (2.01, 0.35), (3.0, 0.12), (4.17, 0.05))


def silence(seconds):
    return [0.0] * int(seconds * RATE)


def envelope(i, n, attack, decay):
    """Soft linear attack, exponential decay, and a short fade to exact zero."""
    t = i / RATE
    a = min(1.0, t / attack) if attack > 0 else 1.0
    d = math.exp(-t / decay)
    release = int(0.012 * RATE)
    r = min(1.0, (n - i) / release)
    return a * d * r


def bell(freq, seconds, decay, attack=0.004):
    n = int(seconds * RATE)
    out = []
    for i in range(n):
        t = i / RATE
        s = 0.0
        for ratio, weight in BELL_PARTIALS:
            # Upper partials fade faster, as on a struck bar.
            s += weight * math.sin(2 * math.pi * freq * ratio * t) * math.exp(-t * (ratio - 1) * 6)
        out.append(s * envelope(i, n, attack, decay))
    return out


def glide(f0, f1, seconds, decay, attack=0.003):
    """A sine whose pitch moves smoothly from f0 to f1: a pop or a blip."""
    n = int(seconds * RATE)
    out = []
    phase = 0.0
    for i in range(n):
        x = i / n
        f = f0 + (f1 - f0) * (1 - (1 - x) ** 3)
        phase += 2 * math.pi * f / RATE
        out.append(math.sin(phase) * envelope(i, n, attack, decay))
    return out


def mix(total_seconds, *parts):
    """parts: (start_seconds, samples) laid over silence."""
    out = silence(total_seconds)
    for start, samples in parts:
        offset = int(start * RATE)
        for i, s in enumerate(samples):
            if offset + i < len(out):
                out[offset + i] += s
    return out


def normalise(samples, peak):
    top = max(abs(s) for s in samples) or 1.0
    return [s * peak / top for s in samples]


def write(name, samples, peak):
    samples = normalise(samples, peak)
    frames = b"".join(struct.pack("<h", int(round(s * 32767))) for s in samples)
    with wave.open(os.path.join(HERE, name), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


C6, E6, G6 = 1046.50, 1318.51, 1567.98
G5, D5, A5 = 783.99, 587.33, 880.00

# 143, a chat request: three notes rising, bright and the loudest of the set.
write("143.wav", mix(0.56,
                     (0.00, bell(C6, 0.30, 0.10)),
                     (0.09, bell(E6, 0.30, 0.10)),
                     (0.18, bell(G6, 0.38, 0.14))), 0.72)

# 141, a chat transferred: two notes falling.
write("141.wav", mix(0.48,
                     (0.00, bell(G5, 0.30, 0.11)),
                     (0.14, bell(D5, 0.34, 0.13))), 0.6)

# 140, a message from an operator: one soft bell.
write("140.wav", bell(A5, 0.50, 0.16, attack=0.010), 0.45)

# 168, a new visitor: a tiny quiet blip, noticed without interrupting.
write("168.wav", glide(1400, 1100, 0.15, 0.03, attack=0.002), 0.22)

# 154, a new chat line: a short gentle pop, rising like a drop.
write("154.wav", glide(420, 900, 0.18, 0.05, attack=0.004), 0.4)
