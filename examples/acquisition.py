#!/usr/bin/env python3
"""A finite acquisition: two analog input channels of the simulated PCI
board at 10 kHz for one second, in volts, summarised and plotted into a PNG
file (first argument, default acquisition.png)."""

import sys

import numpy as np

import tarvex

BOARD, AI = 0, 0
CHANNELS = [0, 1]      # a 50 Hz sine and a 10 Hz square wave on the simulated board
RATE_HZ = 10_000       # scans per second
SECONDS = 1.0


def crossings_per_second(volts):
    centred = volts - volts.mean()
    rising = np.count_nonzero((centred[:-1] < 0) & (centred[1:] >= 0))
    return rising / SECONDS


def main():
    png = sys.argv[1] if len(sys.argv) > 1 else "acquisition.png"
    with tarvex.opened():
        # Range 0, -10 .. +10 V; one column per channel.
        volts = tarvex.acquire(BOARD, AI, CHANNELS, RATE_HZ, int(RATE_HZ * SECONDS))

    print(f"{volts.size} values, {len(CHANNELS)} channels at {RATE_HZ} Hz for {SECONDS} s")
    for channel, trace in zip(CHANNELS, volts.T):
        print(f"channel {channel}: {len(trace)} values, min {trace.min():+.3f} V, "
              f"max {trace.max():+.3f} V, mean {trace.mean():+.3f} V, "
              f"rms {np.sqrt(np.mean(trace ** 2)):.3f} V, "
              f"about {crossings_per_second(trace):.0f} periods/s")

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    figure, axes = plt.subplots(figsize=(9, 4))
    time = np.arange(len(volts)) / RATE_HZ
    for channel, trace in zip(CHANNELS, volts.T):
        axes.plot(time[:2000], trace[:2000], label=f"channel {channel}")
    axes.set_xlabel("time / s")
    axes.set_ylabel("voltage / V")
    axes.set_title("Simulated PCI board, analog input")
    axes.legend(loc="upper right")
    axes.grid(True, alpha=0.3)
    figure.tight_layout()
    figure.savefig(png, dpi=100)
    print(f"plot written to {png}")


if __name__ == "__main__":
    main()
