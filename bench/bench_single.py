#!/usr/bin/env python3
"""kaIOSingle against a ctypes binding of the same library that packs the
same dictionaries and writes the same results back, batches of 1 and 64."""

import ctypes
import os
import sys
import time
import timeit

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.environ.get("KADRIVER_PATH", os.path.join(ROOT, "build", "linux", "python")))
sys.path.insert(0, os.path.join(ROOT, "python", "tests"))

import kaDriver  # noqa: E402
from conftest import _loaded_library_path  # noqa: E402

KEYS = ("Device", "Subdevice", "Channel", "Dir", "Value", "TimeOut", "Flags", "Errno")


class SingleRecord(ctypes.Structure):
    _fields_ = [(key, ctypes.c_int) for key in KEYS]


class CtypesBinding:
    """How a ctypes binding does it: pack each dictionary, call, write back."""

    def __init__(self, path):
        self.lib = ctypes.CDLL(path)
        self.lib.kaIOSingle.argtypes = [ctypes.POINTER(SingleRecord), ctypes.c_int, ctypes.c_int]

    def io_single(self, entries, flags):
        records = (SingleRecord * len(entries))()
        for record, entry in zip(records, entries):
            for key in KEYS:
                value = entry[key]
                if not isinstance(value, int):
                    raise TypeError(f"'{key}' must be an integer")
                setattr(record, key, value if key != "Value" else (value & 0xFFFFFFFF) - (
                    (value & 0x80000000) << 1))
        code = self.lib.kaIOSingle(records, len(entries), flags)
        if code:
            raise RuntimeError(code)
        for record, entry in zip(records, entries):
            entry["Value"] = record.Value & 0xFFFFFFFF
            entry["Errno"] = record.Errno


def batch(size):
    """Reads of the constant analog input and writes of a digital port."""
    entries = []
    for i in range(size):
        if i % 2:
            entries.append(dict(Device=0, Subdevice=5, Channel=0, Dir=kaDriver.KA_DIR_OUTPUT,
                                Value=i & 0xFF, TimeOut=0, Flags=0, Errno=0))
        else:
            entries.append(dict(Device=0, Subdevice=0, Channel=3, Dir=kaDriver.KA_DIR_INPUT,
                                Value=0, TimeOut=0, Flags=0, Errno=0))
    return entries


def rate(function):
    """Calls per second of processor time, best of five runs, so that other
    work on the machine does not count."""
    timer = timeit.Timer(function, timer=time.process_time)
    number, _ = timer.autorange()
    best = min(timer.repeat(5, number)) / number
    return 1.0 / best


def measure():
    binding = CtypesBinding(_loaded_library_path())
    kaDriver.kaOpen(0)
    rows = []
    for size in (1, 64):
        entries = batch(size)
        module = rate(lambda: kaDriver.kaIOSingle(entries, 0))
        ctypes_rate = rate(lambda: binding.io_single(entries, 0))
        rows.append((size, module, ctypes_rate))
    kaDriver.kaClose(0)
    return rows


def main():
    print(f"{'batch':>5} {'kaDriver calls/s':>17} {'us/entry':>9} "
          f"{'ctypes calls/s':>15} {'us/entry':>9} {'speed-up':>9}")
    for size, module, ctypes_rate in measure():
        print(f"{size:>5} {module:>17,.0f} {1e6 / module / size:>9.3f} "
              f"{ctypes_rate:>15,.0f} {1e6 / ctypes_rate / size:>9.3f} "
              f"{module / ctypes_rate:>8.1f}x")


if __name__ == "__main__":
    main()
