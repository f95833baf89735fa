#!/usr/bin/env python3
"""How calls of the simulated library cost as the simulated system grows
from 10 to 100,000 devices: a digital output write while a line interrupt is
armed, an interrupt start and stop on one channel, an open and close with
nothing running, and the write again after every device was locked and
released once. Each should cost the same at any size.

bench/scaling.c makes the calls on the last device of each system, in one
run natively for processor time per call and in one under callgrind for
instructions per call, which repeat exactly; loading is not measured."""

import argparse
import json
import os
import re
import shutil
import subprocess
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROGRAM = os.path.join(ROOT, "build", "linux", "bench", "bench_scaling")
SIZES = (10, 100, 1000, 10000, 100000)


def wire_to_itself(device, index):
    """Points the device's loopbacks, written for device 0, at its own outputs."""
    for subdevice in device["subdevices"]:
        sources = [signal for signal in subdevice.get("signals", {}).values()
                   if signal["kind"] == "loopback"]
        sources += [subdevice["loopback"]] if "loopback" in subdevice else []
        for source in sources:
            source["device"] = index


def write_system(path, devices):
    """A system of copies of the built-in TX-PCI-1616, each its own serial,
    whose digital input port (subdevice 4) reads its digital output port
    (subdevice 5), as bench/scaling.c expects."""
    with open(os.path.join(ROOT, "sim", "default_system.json")) as f:
        builtin = json.load(f)
    template = builtin["devices"][0]
    assert [sub["type"] for sub in template["subdevices"][4:6]] == ["KA_TYPE_DI", "KA_TYPE_DO"]
    compact = dict(separators=(",", ":"))
    with open(path, "w") as out:
        versions = (f'"{key}":{json.dumps(builtin[key])}'
                    for key in ("library_version", "main_driver_version"))
        out.write("{" + ",".join(versions) + ',"devices":[')
        for index in range(devices):
            template["info"]["serial_no"] = index
            wire_to_itself(template, index)
            out.write(("," if index else "") + json.dumps(template, **compact))
        out.write("]}")


def run(systems, *valgrind):
    return subprocess.run([*valgrind, PROGRAM, "count" if valgrind else "time", *systems],
                          env=dict(os.environ, TARVEX_SIM_CONFIG=""), check=True,
                          capture_output=True, text=True)


def seconds_per_call(systems):
    results = {}
    for line in run(systems).stdout.splitlines():
        devices, operation, seconds = line.split("|")
        results[(operation, int(devices))] = float(seconds)
    return results


def instructions_per_call(systems, folder):
    """Each dump's instructions over its calls; {} without valgrind."""
    if not shutil.which("valgrind"):
        return {}
    run(systems, "valgrind", "--tool=callgrind", "--instr-atstart=no", "--collect-atstart=no",
        f"--callgrind-out-file={folder}/callgrind.out")
    totals = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name)) as dump:
            text = dump.read()
        label = re.search(r"^desc: Trigger: Client Request: (.*)$", text, re.M)
        # "totals", the sum of the dump's cost lines: callgrind's "summary"
        # comes out wrong in the first dump after instrumentation restarts.
        total = re.search(r"^totals: (\d+)$", text, re.M)
        if label and total:
            devices, operation, calls = label.group(1).split("|")
            totals[(operation, int(devices))] = int(total.group(1)), int(calls)
    return {(operation, devices): (total - totals[("nothing", devices)][0]) / calls
            for (operation, devices), (total, calls) in totals.items() if operation != "nothing"}


def measure(sizes=SIZES):
    """The operations in order and {(operation, devices): (seconds,
    instructions)} per call; instructions are None without valgrind."""
    with tempfile.TemporaryDirectory() as folder:
        systems = []
        for devices in sizes:
            path = os.path.join(folder, f"system{devices}.json")
            write_system(path, devices)
            systems += [str(devices), path]
        seconds = seconds_per_call(systems)
        dumps = os.path.join(folder, "callgrind")
        os.mkdir(dumps)
        instructions = instructions_per_call(systems, dumps)
    operations = list(dict.fromkeys(operation for operation, _ in seconds))
    return operations, {key: (value, instructions.get(key)) for key, value in seconds.items()}


def growth(ratio):
    return f"{ratio:,.2f}x" if ratio < 100 else f"{ratio:,.0f}x"


def short(devices):
    return f"{devices // 1000}k" if devices >= 1000 and devices % 1000 == 0 else str(devices)


def table(operations, results, sizes=SIZES):
    """Rows of instructions and microseconds per call by system size, and the
    growth from the smallest system to the largest."""
    heading = "per call, by devices in the system"
    width = max([len(heading)] + [len(operation) + len(", instr") for operation in operations])
    growth_heading = f"{short(sizes[-1])} / {short(sizes[0])}"
    lines = [f"| {heading:<{width}} | " + " | ".join(f"{n:>10,}" for n in sizes)
             + f" | {growth_heading:>10} |",
             f"|{'-' * (width + 2)}|" + "|".join("-" * 12 for _ in sizes) + f"|{'-' * 12}|"]
    for operation in operations:
        seconds, instructions = zip(*(results[(operation, n)] for n in sizes))
        rows = [("us", [s * 1e6 for s in seconds], "{:>10,.2f}")]
        if None not in instructions:
            rows.insert(0, ("instr", instructions, "{:>10,.0f}"))
        for unit, values, shown in rows:
            lines.append(f"| {operation + ', ' + unit:<{width}} | "
                         + " | ".join(shown.format(v) for v in values)
                         + f" | {growth(values[-1] / values[0]):>10} |")
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--devices", type=int, nargs="+", default=SIZES,
                        help="system sizes in devices (default: %(default)s)")
    sizes = parser.parse_args().devices
    print("\n".join(table(*measure(sizes), sizes)))


if __name__ == "__main__":
    main()
