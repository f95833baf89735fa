#!/usr/bin/env python3
"""A streamed analog output waveform: one period of a sine, preloaded and
repeated by the board (wraparound), then a second stream fed while it runs."""

import time

import numpy as np

import kaDriver as K

BOARD, AO = 0, 1
CHANNEL, RANGE = 0, 0
RATE_HZ = 50_000


def output_setup(ticks):
    return dict(AcqStartTrigType=K.KA_TRIG_TYPE_SW, AcqStartTrigEdge=0,
                AcqStartTrigChan=K.KA_TRIG_CHAN_DEFAULT, AcqStartTicks=0,
                ScanStartTrigType=K.KA_TRIG_TYPE_FOLLOW, ScanStartTicks=0,
                ConvStartTrigType=K.KA_TRIG_TYPE_TIMER, ConvStartTicks=ticks,
                ScanStopTrigType=K.KA_TRIG_TYPE_NONE, ScanStopCount=0,
                AcqStopTrigType=K.KA_TRIG_TYPE_NONE, AcqStopCount=0,
                Flags=K.KA_IO_STREAM_TRIGGER_TYPE_NO_FLAGS)


def sine(periods, values, amplitude_volts):
    _, low, high, max_data = K.kaQueryRangeInfo(BOARD, AO, RANGE)
    volts = amplitude_volts * np.sin(2 * np.pi * periods * np.arange(values) / values)
    return np.rint((volts - low) * max_data / (high - low)).astype(np.int32)


def run(flags, waveform, seconds):
    rate, ticks = K.kaIOStreamFrequencyToTicks(BOARD, AO, K.KA_TIMER_CONV_START, RATE_HZ,
                                               K.KA_IO_FREQUENCY_TO_TICKS_NO_FLAGS)
    channels = [dict(Channel=CHANNEL, StreamConfig=RANGE, Ref=K.KA_REF_AO_GROUND,
                     Flags=K.KA_IO_STREAM_CONFIG_TYPE_NO_FLAGS)]
    K.kaIOStreamConfig(BOARD, AO, channels, output_setup(ticks), 0, flags)
    rest = K.kaIOStreamWrite(BOARD, AO, K.KA_WRITE_MODE_PRELOAD, waveform,
                             K.KA_IO_STREAM_WRITE_NO_FLAGS)
    start = dict(Device=BOARD, Subdevice=AO, StartMode=K.KA_START_MODE_BLOCKING, TimeOut=1000,
                 Flags=K.KA_IO_STREAM_START_TYPE_NO_FLAGS, Errno=0)
    K.kaIOStreamStart([start], K.KA_IO_STREAM_START_NO_FLAGS)
    started = time.monotonic()
    print(f"  {rate:.0f} values/s, {len(waveform) - len(rest)} of {len(waveform)} preloaded")
    while len(rest) and time.monotonic() < started + seconds:
        # A blocking write returns once the board has taken every value.
        rest = K.kaIOStreamWrite(BOARD, AO, K.KA_WRITE_MODE_BLOCKING, rest,
                                 K.KA_IO_STREAM_WRITE_NO_FLAGS)
    time.sleep(max(0.0, started + seconds - time.monotonic()))
    status, buffered = K.kaIOStreamStatus(BOARD, AO, K.KA_WAIT_NONE, K.KA_IO_STREAM_STATUS_NO_FLAGS)
    running = "running" if status == K.KA_STATUS_BUSY else "idle"
    if flags & K.KA_IO_STREAM_CONFIG_WRAPAROUND:
        print(f"  {running} after {time.monotonic() - started:.1f} s, "
              f"repeating its {buffered} values")
    else:
        print(f"  {running} after {time.monotonic() - started:.1f} s: "
              f"{len(waveform) - len(rest)} of {len(waveform)} values handed over, "
              f"{buffered} still to play ({buffered / rate:.2f} s)")
    stop = dict(Device=BOARD, Subdevice=AO, StopMode=K.KA_STOP_MODE_LAST_VALUE,
                Flags=K.KA_IO_STREAM_STOP_TYPE_NO_FLAGS, Errno=0)
    K.kaIOStreamStop([stop], K.KA_IO_STREAM_STOP_NO_FLAGS)


def main():
    K.kaOpen(K.KA_OPEN_NO_FLAGS)
    try:
        print("one period of 500 Hz, repeated by the board:")
        run(K.KA_IO_STREAM_CONFIG_WRAPAROUND, sine(1, RATE_HZ // 500, 5.0), 0.2)
        print("two seconds of 50 Hz at 50 kHz, fed while the stream runs:")
        run(K.KA_IO_STREAM_CONFIG_NO_FLAGS, sine(100, 2 * RATE_HZ, 2.5), 0.3)
    finally:
        K.kaClose(K.KA_CLOSE_NO_FLAGS)


if __name__ == "__main__":
    main()
