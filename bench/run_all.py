#!/usr/bin/env python3
"""Every benchmark of the project in one table, each against the baseline
measured in the same run: a ctypes binding of the same library, the C floor
of kaIOSingle, memcpy, numpy. Ratios are the baseline's cost over
kaDriver's (for tarvex.to_digital, tarvex's), above 1 ours is faster: in
processor time, and for kaIOSingle in callgrind's instruction counts too. A
second table shows how calls cost as the simulated system grows from 10 to
100,000 devices."""

import ctypes
import os
import platform
import sys

import bench_convert
import bench_scaling
import bench_single
import bench_stream
from bench_single import rate

import kaDriver
from tarvex.library import library_path


def query_rows():
    """The simplest query through kaDriver and through ctypes."""
    lib = ctypes.CDLL(library_path())
    count = ctypes.c_int()
    kaDriver.kaOpen(0)
    ours = rate(kaDriver.kaQueryNumberDevices)
    theirs = rate(lambda: lib.kaQueryNumberDevices(ctypes.byref(count)) or count.value)
    kaDriver.kaClose(0)
    return [("kaQueryNumberDevices", 1e6 / ours, "us", "ctypes", 1e6 / theirs, None)]


def single_rows():
    rows = []
    for result in bench_single.measure():
        seconds, instructions = result["seconds"], result["instructions"]
        for baseline in ("ctypes", "floor"):
            counts = (instructions[baseline], instructions["kaDriver"])
            rows.append((f"kaIOSingle {result['size']}, {result['set']}",
                         seconds["kaDriver"] * 1e6, "us", baseline, seconds[baseline] * 1e6,
                         counts[0] / counts[1] if all(counts) else None))
    return rows


def stream_rows():
    rows, zero_copy, _ = bench_stream.measure()
    names = {"memcpy 4 MiB": "memcpy", "numpy a[2::4].copy()": "numpy slicing",
             "library from C": "library from C"}
    result = [(name, ours * 1e3, "ms", names[base], baseline * 1e3, None)
              for name, ours, base, baseline in rows]
    return result, zero_copy


def convert_rows():
    """tarvex.to_digital beside numpy's rounding of the same values."""
    rows = []
    for size, ours, baseline in bench_convert.measure():
        label, scale, unit = ("1M", 1e3, "ms") if size == 1 << 20 else (str(size), 1e6, "us")
        rows.append((f"tarvex.to_digital {label} values", ours * scale, unit, "numpy rounding",
                     baseline * scale, None))
    return rows


def machine():
    model = "unknown processor"
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            model = next(line.split(":", 1)[1].strip() for line in cpuinfo
                         if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    return f"{model}, {os.cpu_count()} cores, Python {platform.python_version()}"


def main():
    rows = query_rows() + single_rows()
    streams, zero_copy = stream_rows()
    rows += streams + convert_rows()
    print(f"Machine: {machine()}")
    print(f"| {'benchmark':<31} | {'kaDriver':>12} | {'baseline':<14} | {'baseline':>12} | "
          f"{'time':>7} | {'instr':>7} |")
    print(f"|{'-' * 33}|{'-' * 14}|{'-' * 16}|{'-' * 14}|{'-' * 9}|{'-' * 9}|")
    for name, ours, unit, baseline_name, baseline, instructions in rows:
        counted = f"{instructions:>6.2f}x" if instructions else f"{'-':>7}"
        print(f"| {name:<31} | {ours:>9.3f} {unit:<2} | {baseline_name:<14} | "
              f"{baseline:>9.3f} {unit:<2} | {baseline / ours:>6.2f}x | {counted} |")
    print(f"kaIOStreamWrite handed the caller's own memory to the library: {zero_copy}")
    print("\nPer call as the simulated system grows (instructions and processor time):")
    print("\n".join(bench_scaling.table(*bench_scaling.measure())))


if __name__ == "__main__":
    sys.exit(main())
