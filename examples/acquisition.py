#!/usr/bin/env python3
"""A streamed acquisition: two analog input channels of the simulated PCI
board at 10 kHz for one second, split into channels, converted to volts,
summarised, and plotted into a PNG file (first argument, default
acquisition.png)."""

import sys

import numpy as np

import kaDriver as K

BOARD, AI = 0, 0
CHANNELS = (0, 1)      # a 50 Hz sine and a 10 Hz square wave on the simulated board
RANGE = 0              # -10 .. +10 V
RATE_HZ = 10_000       # scans per second
SECONDS = 1.0


def trigger_setup(scan_ticks, conversion_ticks, scans):
    return dict(AcqStartTrigType=K.KA_TRIG_TYPE_SW, AcqStartTrigEdge=0,
                AcqStartTrigChan=K.KA_TRIG_CHAN_DEFAULT, AcqStartTicks=0,
                ScanStartTrigType=K.KA_TRIG_TYPE_TIMER, ScanStartTicks=scan_ticks,
                ConvStartTrigType=K.KA_TRIG_TYPE_TIMER, ConvStartTicks=conversion_ticks,
                ScanStopTrigType=K.KA_TRIG_TYPE_COUNT, ScanStopCount=scans,
                AcqStopTrigType=K.KA_TRIG_TYPE_NONE, AcqStopCount=0,
                Flags=K.KA_IO_STREAM_TRIGGER_TYPE_NO_FLAGS)


def acquire():
    """Runs the acquisition; answers the interleaved samples and the channel list."""
    _, scan_ticks = K.kaIOStreamFrequencyToTicks(BOARD, AI, K.KA_TIMER_SCAN_START, RATE_HZ,
                                                 K.KA_IO_FREQUENCY_TO_TICKS_NO_FLAGS)
    # The channels of a scan are converted right after each other, at twice the scan rate.
    _, conversion_ticks = K.kaIOStreamFrequencyToTicks(
        BOARD, AI, K.KA_TIMER_CONV_START, RATE_HZ * len(CHANNELS),
        K.KA_IO_FREQUENCY_TO_TICKS_NO_FLAGS)
    scans = int(RATE_HZ * SECONDS)
    channel_list = [dict(Channel=c, StreamConfig=RANGE, Ref=K.KA_REF_AI_GROUND,
                         Flags=K.KA_IO_STREAM_CONFIG_TYPE_NO_FLAGS) for c in CHANNELS]
    K.kaIOStreamConfig(BOARD, AI, channel_list, trigger_setup(scan_ticks, conversion_ticks, scans),
                       0, K.KA_IO_STREAM_CONFIG_NO_FLAGS)
    start = [dict(Device=BOARD, Subdevice=AI, StartMode=K.KA_START_MODE_BLOCKING, TimeOut=1000,
                  Flags=K.KA_IO_STREAM_START_TYPE_NO_FLAGS, Errno=0)]
    K.kaIOStreamStart(start, K.KA_IO_STREAM_START_NO_FLAGS)
    samples = K.kaIOStreamRead(BOARD, AI, K.KA_READ_MODE_BLOCKING, scans * len(CHANNELS),
                               K.KA_IO_STREAM_READ_NO_FLAGS)
    status, _ = K.kaIOStreamStatus(BOARD, AI, K.KA_WAIT_IDLE, K.KA_IO_STREAM_STATUS_NO_FLAGS)
    assert status == K.KA_STATUS_IDLE
    return samples, channel_list


def to_volts(digital):
    _, low, high, max_data = K.kaQueryRangeInfo(BOARD, AI, RANGE)
    volts = low + digital * ((high - low) / max_data)
    # The library's own conversion agrees with the vectorised one.
    assert np.isclose(volts[0], K.kaUtilityDigitalToPhysical(
        low, high, max_data, int(digital[0]), K.KA_MODULE_TYPE_VESTRA_NONE, 0.0))
    return volts


def crossings_per_second(volts):
    centred = volts - volts.mean()
    rising = np.count_nonzero((centred[:-1] < 0) & (centred[1:] >= 0))
    return rising / SECONDS


def main():
    png = sys.argv[1] if len(sys.argv) > 1 else "acquisition.png"
    K.kaOpen(K.KA_OPEN_NO_FLAGS)
    try:
        samples, channel_list = acquire()
        traces = {c: to_volts(K.kaUtilityExtractValues(c, samples, channel_list))
                  for c in CHANNELS}
    finally:
        K.kaClose(K.KA_CLOSE_NO_FLAGS)

    print(f"{len(samples)} samples, {len(CHANNELS)} channels at {RATE_HZ} Hz for {SECONDS} s")
    for c, volts in traces.items():
        print(f"channel {c}: {len(volts)} values, min {volts.min():+.3f} V, "
              f"max {volts.max():+.3f} V, mean {volts.mean():+.3f} V, "
              f"rms {np.sqrt(np.mean(volts ** 2)):.3f} V, "
              f"about {crossings_per_second(volts):.0f} periods/s")

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    figure, axes = plt.subplots(figsize=(9, 4))
    time = np.arange(len(traces[CHANNELS[0]])) / RATE_HZ
    for c, volts in traces.items():
        axes.plot(time[:2000], volts[:2000], label=f"channel {c}")
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
