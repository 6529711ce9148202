#!/usr/bin/env python3
"""Writes the two sounds of the game into res/: clear.wav and rotate.wav.

clear.wav, played when rows are cleared: a rising four-note chime (C, E, G, high C), each
note a soft bell that rings on under the next; mono, 22050 Hz, 16 bits, 11386 samples.
rotate.wav, played when a piece turns: a short click that slides upward, a little louder on
the right than on the left; stereo, 22050 Hz, 16 bits, 4032 frames.

Only addition, multiplication and division of floats are used (a sine of our own, no
math.sin or math.exp), so every platform computes the same samples and every run writes
the same bytes.

    tools/make_sounds.py [DIRECTORY]   default DIRECTORY: res/ next to this script
"""
import pathlib
import struct
import sys

RATE = 22050
CLEAR_SAMPLES = 11386  # 22772 data bytes, about 0.52 s
ROTATE_FRAMES = 4032  # 16128 data bytes, about 0.18 s
PEAK = 32767

PI = 3.141592653589793
TWO_PI = 2 * PI


def sine(x):
    """sin(x) from its Taylor series after folding x into [-pi/2, pi/2]."""
    x = x - TWO_PI * int(x / TWO_PI)
    if x > PI:
        x -= TWO_PI
    elif x < -PI:
        x += TWO_PI
    if x > PI / 2:
        x = PI - x
    elif x < -PI / 2:
        x = -PI - x
    term = x
    total = x
    square = x * x
    for n in range(1, 12):
        term = -term * square / ((2 * n) * (2 * n + 1))
        total += term
    return total


def to_pcm(value):
    """A sample in -1..1 as a rounded, clamped 16-bit value."""
    scaled = value * PEAK
    rounded = int(scaled + 0.5) if scaled >= 0 else -int(-scaled + 0.5)
    return max(-PEAK, min(PEAK, rounded))


def bell(t, frequency):
    """One soft bell note t seconds after it is struck: a quick rise, then a long fade."""
    attack = 0.004
    envelope = t / attack if t < attack else 1.0 / (1.0 + 9.0 * (t - attack))
    envelope *= envelope
    phase = TWO_PI * frequency * t
    return envelope * (sine(phase) + 0.25 * sine(2 * phase) + 0.08 * sine(3 * phase))


def clear_samples():
    notes = [523.25, 659.25, 783.99, 1046.50]
    step = 0.085  # seconds between the notes
    samples = []
    for i in range(CLEAR_SAMPLES):
        t = i / RATE
        value = 0.0
        for k, frequency in enumerate(notes):
            start = k * step
            if t >= start:
                value += bell(t - start, frequency)
        # Fade the tail to silence so the sound ends without a click.
        remaining = (CLEAR_SAMPLES - 1 - i) / RATE
        if remaining < 0.05:
            value *= remaining / 0.05
        samples.append(to_pcm(0.22 * value))
    return samples


def rotate_frames():
    duration = ROTATE_FRAMES / RATE
    frames = []
    phase = 0.0
    for i in range(ROTATE_FRAMES):
        t = i / RATE
        # The pitch slides from 700 Hz to 1100 Hz over the whole sound.
        frequency = 700.0 + 400.0 * (t / duration)
        phase += TWO_PI * frequency / RATE
        attack = 0.003
        if t < attack:
            envelope = t / attack
        else:
            fall = 1.0 - (t - attack) / (duration - attack)
            envelope = fall * fall * fall
        value = envelope * (sine(phase) + 0.15 * sine(2 * phase))
        frames.append((to_pcm(0.30 * value), to_pcm(0.38 * value)))
    return frames


def wave_bytes(channels, samples):
    """A RIFF WAVE file: a 16-byte fmt chunk for 16-bit PCM and one data chunk."""
    data = b"".join(struct.pack("<h", s) for s in samples)
    block_align = channels * 2
    fmt = struct.pack("<HHIIHH", 1, channels, RATE, RATE * block_align, block_align, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def main(argv):
    default = pathlib.Path(__file__).resolve().parent.parent / "res"
    directory = pathlib.Path(argv[1]) if len(argv) > 1 else default
    (directory / "clear.wav").write_bytes(wave_bytes(1, clear_samples()))
    interleaved = [s for frame in rotate_frames() for s in frame]
    (directory / "rotate.wav").write_bytes(wave_bytes(2, interleaved))


if __name__ == "__main__":
    main(sys.argv)
