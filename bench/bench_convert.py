#!/usr/bin/env python3
"""tarvex.to_digital against numpy's own rounding half away from zero of the
same values, side by side in one run, for 10 and 1M values: the whole
conversion (scaling, clamping, rounding, the int32 array) against the
rounding expression alone."""

import os
import sys
import time
import timeit

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.environ.get("KADRIVER_PATH", os.path.join(ROOT, "build", "linux", "python")))

import tarvex  # noqa: E402

RANGE = (tarvex.Unit.VOLT, -10.0, 9.999694824, 65535)
SIZES = (10, 1 << 20)


def seconds(function):
    """Processor seconds per call, best of five runs."""
    timer = timeit.Timer(function, timer=time.process_time)
    number, _ = timer.autorange()
    return min(timer.repeat(5, number)) / number


def numpy_rounding(values):
    return np.copysign(np.floor(np.abs(values) + 0.5), values)


def measure():
    """(values, to_digital's seconds, the numpy expression's seconds) for each size."""
    rows = []
    for size in SIZES:
        volts = np.random.default_rng(size).uniform(-12.0, 12.0, size)  # some beyond the range
        rows.append((size, seconds(lambda: tarvex.to_digital(volts, RANGE)),
                     seconds(lambda: numpy_rounding(volts))))
    return rows


def main():
    print(f"{'values':>8} {'to_digital':>12} {'numpy rounding':>15} {'ratio':>6}")
    for size, ours, baseline in measure():
        print(f"{size:>8} {ours * 1e6:>9.1f} us {baseline * 1e6:>12.1f} us "
              f"{baseline / ours:>6.2f}")


if __name__ == "__main__":
    main()
