#!/usr/bin/env python3
"""Streamed analog output: one period of a 500 Hz sine that the board
repeats (wrap-around), then 1.5 s of a 50 Hz sine, more than the board's
buffer holds, fed in blocks while the stream runs."""

import time

import numpy as np

import tarvex

BOARD, AO, CHANNEL = 0, 1, 0
RATE_HZ = 50_000       # values per second


def sine(frequency, seconds, volts, start=0.0):
    """`seconds` of a sine from time `start`, one value per 1/RATE_HZ s."""
    times = start + np.arange(round(seconds * RATE_HZ)) / RATE_HZ
    return volts * np.sin(2 * np.pi * frequency * times)


def main():
    with tarvex.opened():
        print("one period of 500 Hz, repeated by the board:")
        with tarvex.OutputStream(BOARD, AO, [CHANNEL], RATE_HZ, sine(500, 1 / 500, 5.0),
                                 repeat=True) as output:
            ended = output.wait(timeout=0.2)
            print(f"  {output.rate_hz:.0f} values/s, {'ended' if ended else 'running'} "
                  f"after 0.2 s")

        print("1.5 s of 50 Hz, fed in blocks of 0.1 s while the stream runs:")
        blocks = (sine(50, 0.1, 2.5, start=0.1 * k) for k in range(15))
        started = time.monotonic()
        with tarvex.OutputStream(BOARD, AO, [CHANNEL], RATE_HZ, blocks, scans=15 * RATE_HZ // 10):
            print("  started with the buffer full")
        # Leaving the block fed the rest and waited for the last value.
        print(f"  every value out after {time.monotonic() - started:.1f} s")


if __name__ == "__main__":
    main()
