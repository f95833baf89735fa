#!/usr/bin/env python3
"""kaIOSingle against a ctypes binding of the same library that packs the
same dictionaries and writes the same results back, and against the floor
(bench/floor.c: the library's own kaIOSingle called from C on the same
records, plus one pass over each dictionary and the two stores). Two record
sets, batches of 1, 8, 64 and 1024.

Processor time is the median of interleaved rounds; instruction counts come
from a second run of this file under callgrind, which repeats exactly on a
busy machine."""

import ctypes
import itertools
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import timeit

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.environ.get("KADRIVER_PATH", os.path.join(ROOT, "build", "linux", "python")))

import kaDriver  # noqa: E402
from tarvex.library import library_path  # noqa: E402

FLOOR_PATH = os.environ.get("KADRIVER_BENCH_FLOOR",
                            os.path.join(ROOT, "build", "linux", "bench", "libbench_floor.so"))
KEYS = ("Device", "Subdevice", "Channel", "Dir", "Value", "TimeOut", "Flags", "Errno")
SIZES = (1, 8, 64, 1024)
CONTENDERS = ("kaDriver", "ctypes", "floor")
ROUNDS = 21
ROUND_SECONDS = 0.004
COUNTED_ENTRIES = 2048  # per contender and batch size under callgrind


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


def kept_batch(size):
    """Reads of the constant analog input and writes of a digital port, whose
    written values, like the result codes, come back as the objects held."""
    entries = []
    for i in range(size):
        if i % 2:
            entries.append(dict(Device=0, Subdevice=5, Channel=0, Dir=kaDriver.KA_DIR_OUTPUT,
                                Value=i & 0xFF, TimeOut=0, Flags=0, Errno=0))
        else:
            entries.append(dict(Device=0, Subdevice=0, Channel=3, Dir=kaDriver.KA_DIR_INPUT,
                                Value=0, TimeOut=0, Flags=0, Errno=0))
    return entries


def changing_batch(size):
    """Reads of the sine input: every "Value" comes back a new number."""
    return [dict(Device=0, Subdevice=0, Channel=0, Dir=kaDriver.KA_DIR_INPUT, Value=0, TimeOut=0,
                 Flags=0, Errno=0) for _ in range(size)]


RECORD_SETS = {"values kept": kept_batch, "values change": changing_batch}


def load_floor():
    floor = ctypes.PyDLL(FLOOR_PATH)  # holds the interpreter lock, as kaDriver does
    floor.floorSingle.argtypes = [ctypes.py_object, ctypes.c_int]
    floor.benchDumpCounts.argtypes = [ctypes.c_char_p]
    return floor


def runners(entries, binding, floor):
    """Each contender as run(number): that many batches over entries."""
    def module(number, call=kaDriver.kaIOSingle):
        for _ in itertools.repeat(None, number):
            call(entries, 0)

    def through_ctypes(number, call=binding.io_single):
        for _ in itertools.repeat(None, number):
            call(entries, 0)

    def from_c(number):
        if floor.floorSingle(entries, number) != 0:
            raise RuntimeError("the floor refused the records")

    return dict(zip(CONTENDERS, (module, through_ctypes, from_c)))


def seconds_per_batch(run, number):
    start = time.process_time()
    run(number)
    return (time.process_time() - start) / number


def interleaved_medians(contenders):
    """Median processor time per batch of each contender over rounds in which
    all take turns, so that a slow stretch of the machine hits them alike."""
    numbers = {}
    for name, run in contenders.items():
        number = 1
        while seconds_per_batch(run, number) * number < ROUND_SECONDS:
            number *= 2
        numbers[name] = number
    samples = {name: [] for name in contenders}
    names = list(contenders)
    for round_ in range(ROUNDS):
        turn = round_ % len(names)
        for name in names[turn:] + names[:turn]:
            samples[name].append(seconds_per_batch(contenders[name], numbers[name]))
    return {name: statistics.median(values) for name, values in samples.items()}


def count_instructions():
    """Under callgrind: each contender's measured stretch as one dump."""
    floor = load_floor()
    binding = CtypesBinding(library_path())
    kaDriver.kaOpen(0)
    floor.benchStartCounting()
    for set_name, make in RECORD_SETS.items():
        for size in SIZES:
            entries = make(size)
            batches = max(4, COUNTED_ENTRIES // size)
            for name, run in runners(entries, binding, floor).items():
                run(2)
                floor.benchZeroCounts()
                run(batches)
                floor.benchDumpCounts(f"{set_name}|{size}|{name}|{batches}".encode())
            floor.benchZeroCounts()
            floor.benchDumpCounts(f"{set_name}|{size}|empty|1".encode())
    kaDriver.kaClose(0)


def instructions_per_batch():
    """{(set, size, contender): instructions per batch}, or {} without valgrind."""
    if not shutil.which("valgrind"):
        return {}
    counts, empty = {}, {}
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["valgrind", "--tool=callgrind", "--instr-atstart=no",
                        f"--callgrind-out-file={folder}/callgrind.out", sys.executable,
                        os.path.abspath(__file__), "--count-instructions"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env=dict(os.environ, PYTHONHASHSEED="0"))
        for file_name in os.listdir(folder):
            with open(os.path.join(folder, file_name)) as dump:
                text = dump.read()
            label = re.search(r"^desc: Trigger: Client Request: (.*)$", text, re.M)
            total = re.search(r"^(?:summary|totals): (\d+)", text, re.M)
            if not label or not total:
                continue
            set_name, size, name, batches = label.group(1).split("|")
            key = (set_name, int(size))
            if name == "empty":
                empty[key] = int(total.group(1))
            else:
                counts[key + (name,)] = (int(total.group(1)), int(batches))
    return {key: (total - empty.get(key[:2], 0)) / batches
            for key, (total, batches) in counts.items()}


def measure():
    """One result per record set and batch size: seconds and instructions per
    batch of every contender (instructions None without valgrind)."""
    floor = load_floor()
    binding = CtypesBinding(library_path())
    kaDriver.kaOpen(0)
    results = []
    for set_name, make in RECORD_SETS.items():
        for size in SIZES:
            entries = make(size)
            seconds = interleaved_medians(runners(entries, binding, floor))
            results.append(dict(set=set_name, size=size, seconds=seconds))
    kaDriver.kaClose(0)
    instructions = instructions_per_batch()
    for result in results:
        result["instructions"] = {name: instructions.get((result["set"], result["size"], name))
                                  for name in CONTENDERS}
    return results


def ratio(baseline, ours):
    return f"{baseline / ours:.2f}x" if baseline and ours else "-"


def main():
    print("Ratios: the baseline's cost over kaDriver's; above 1 kaDriver is faster.")
    print(f"| {'records':<13} | {'batch':>5} | {'kaDriver us':>11} | {'ctypes time':>11} | "
          f"{'ctypes instr':>12} | {'floor time':>10} | {'floor instr':>11} |")
    print(f"|{'-' * 15}|{'-' * 7}|{'-' * 13}|{'-' * 13}|{'-' * 14}|{'-' * 12}|{'-' * 13}|")
    for r in measure():
        s, n = r["seconds"], r["instructions"]
        print(f"| {r['set']:<13} | {r['size']:>5} | {s['kaDriver'] * 1e6:>11.3f} | "
              f"{ratio(s['ctypes'], s['kaDriver']):>11} | "
              f"{ratio(n['ctypes'], n['kaDriver']):>12} | "
              f"{ratio(s['floor'], s['kaDriver']):>10} | {ratio(n['floor'], n['kaDriver']):>11} |")


def rate(function):
    """Calls per second of processor time, best of five runs, so that other
    work on the machine does not count."""
    timer = timeit.Timer(function, timer=time.process_time)
    number, _ = timer.autorange()
    best = min(timer.repeat(5, number)) / number
    return 1.0 / best


if __name__ == "__main__":
    if sys.argv[1:] == ["--count-instructions"]:
        count_instructions()
    else:
        main()
