#!/usr/bin/env python3
"""Stream transfer side by side in one run, on the simulated library's fast
clock: kaIOStreamRead of 1M values against the library's own read of them
from C (bench/floor.c), kaIOStreamWrite of a 1M-value array against memcpy
of its bytes (and whether the library got the caller's own memory),
kaUtilityExtractValues against numpy slicing."""

import ctypes
import os
import sys
import time
import timeit

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.environ.get("KADRIVER_PATH", os.path.join(ROOT, "build", "linux", "python")))

import kaDriver  # noqa: E402
from bench_single import load_floor  # noqa: E402
from tarvex.sim import Sim  # noqa: E402

K = kaDriver
VALUES = 1 << 20
AI, AO = (0, 0), (0, 1)


def seconds(function):
    """Processor seconds per call, best of five runs."""
    timer = timeit.Timer(function, timer=time.process_time)
    number, _ = timer.autorange()
    return min(timer.repeat(5, number)) / number


def trigger():
    return dict(AcqStartTrigType=K.KA_TRIG_TYPE_SW, AcqStartTrigEdge=0,
                AcqStartTrigChan=K.KA_TRIG_CHAN_DEFAULT, AcqStartTicks=0,
                ScanStartTrigType=K.KA_TRIG_TYPE_FOLLOW, ScanStartTicks=0,
                ConvStartTrigType=K.KA_TRIG_TYPE_TIMER, ConvStartTicks=66,
                ScanStopTrigType=K.KA_TRIG_TYPE_NONE, ScanStopCount=0,
                AcqStopTrigType=K.KA_TRIG_TYPE_NONE, AcqStopCount=0, Flags=0)


def start(device, subdevice, channels):
    K.kaIOStreamConfig(device, subdevice,
                       [dict(Channel=c, StreamConfig=0, Ref=0, Flags=0) for c in channels],
                       trigger(), 0, 0)
    K.kaIOStreamStart([dict(Device=device, Subdevice=subdevice,
                            StartMode=K.KA_START_MODE_BLOCKING, TimeOut=0, Flags=0,
                            Errno=0)], 0)


def stop(device, subdevice):
    K.kaIOStreamStop([dict(Device=device, Subdevice=subdevice,
                           StopMode=K.KA_STOP_MODE_IMMEDIATE, Flags=0, Errno=0)], 0)


def measure():
    sim = Sim()
    sim.reset()
    sim.fast_streams()
    K.kaOpen(0)
    floor = load_floor()
    nbytes = VALUES * 4
    source = np.arange(VALUES, dtype=np.int32)
    target = np.empty_like(source)
    rows = []

    # The fast clock moves on with every read: the input runs alone, so that
    # no other stream falls behind meanwhile.
    start(*AI, range(4))
    read = seconds(lambda: K.kaIOStreamRead(*AI, K.KA_READ_MODE_BLOCKING, VALUES, 0))
    library = seconds(lambda: floor.floorStreamRead(*AI, VALUES, 1))
    rows.append(("kaIOStreamRead 1M values", read, "library from C", library))
    samples = K.kaIOStreamRead(*AI, K.KA_READ_MODE_BLOCKING, VALUES, 0)
    stop(*AI)

    K.kaIOStreamConfig(*AO, [dict(Channel=0, StreamConfig=0, Ref=0, Flags=0)], trigger(), 0, 0)
    K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, source[:1000], 0)
    K.kaIOStreamStart([dict(Device=AO[0], Subdevice=AO[1], StartMode=K.KA_START_MODE_BLOCKING,
                            TimeOut=0, Flags=0, Errno=0)], 0)
    write = seconds(lambda: K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_BLOCKING, source, 0))
    zero_copy = sim.captured_address("kaIOStreamWrite") == source.ctypes.data
    copy = seconds(lambda: ctypes.memmove(target.ctypes.data, source.ctypes.data, nbytes))
    rows.append(("kaIOStreamWrite 1M values", write, "memcpy 4 MiB", copy))
    stop(*AO)

    channels = [dict(Channel=c) for c in range(4)]
    extract = seconds(lambda: K.kaUtilityExtractValues(2, samples, channels))
    numpy_slice = seconds(lambda: samples[2::4].copy())
    rows.append(("kaUtilityExtractValues 1 of 4", extract, "numpy a[2::4].copy()", numpy_slice))
    K.kaClose(0)
    sim.reset()
    return rows, zero_copy, nbytes


def main():
    rows, zero_copy, nbytes = measure()
    print(f"{'operation':<30} {'ms':>8} {'GB/s':>7}   {'baseline':<22} {'ms':>8} {'ratio':>6}")
    for name, ours, baseline_name, baseline in rows:
        print(f"{name:<30} {ours * 1e3:>8.3f} {nbytes / ours / 1e9:>7.2f}   "
              f"{baseline_name:<22} {baseline * 1e3:>8.3f} {baseline / ours:>6.2f}")
    print(f"kaIOStreamWrite handed the caller's own memory to the library: {zero_copy}")


if __name__ == "__main__":
    main()
