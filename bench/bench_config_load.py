#!/usr/bin/env python3
"""kaConfigLoad of large system files: time and peak memory for 2,000,
8,000 and 200,000 devices, copies of a small and of a rich built-in board,
each load in a fresh process, and with
--callgrind the instructions spent inside kaConfigLoad for the two smaller
files. Linear loading shows as a constant time and instruction count per
device."""

import argparse
import json
import os
import subprocess
import sys
import tempfile

from bench_scaling import write_system as write_rich_system

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MODULE_DIR = os.environ.get("KADRIVER_PATH", os.path.join(ROOT, "build", "linux", "python"))
SIZES = (2000, 8000, 200000)

# Runs in the child: one load, its wall and processor time, and how far the
# peak resident size rose above the size before the load.
CHILD = r"""
import sys, time
sys.path.insert(0, sys.argv[1])
import kaDriver

def status(key):
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) * 1024 for line in f if line.startswith(key))

before = status("VmRSS:")
wall, cpu = time.perf_counter(), time.process_time()
kaDriver.kaConfigLoad(sys.argv[2])
wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
assert kaDriver.kaOpen(0) is None and kaDriver.kaQueryNumberDevices() == int(sys.argv[3])
print(wall, cpu, status("VmHWM:") - before)
"""


def write_system(path, devices):
    """A system of copies of the built-in USB-Kestra-4, each its own serial."""
    with open(os.path.join(ROOT, "sim", "default_system.json")) as f:
        template = json.load(f)["devices"][2]
    compact = dict(separators=(",", ":"))
    with open(path, "w") as out:
        out.write('{"library_version":"2.4.1.12","main_driver_version":"2.4.1.3","devices":[')
        for serial in range(devices):
            template["info"]["serial_no"] = serial
            out.write(("," if serial else "") + json.dumps(template, **compact))
        out.write("]}")
    return os.path.getsize(path)


def load(path, devices):
    result = subprocess.run([sys.executable, "-c", CHILD, MODULE_DIR, path, str(devices)],
                            env=dict(os.environ, TARVEX_SIM_CONFIG=""), check=True,
                            capture_output=True, text=True)
    wall, cpu, peak = result.stdout.split()
    return float(wall), float(cpu), int(peak)


def instructions(path, devices, folder):
    """Instructions executed inside kaConfigLoad, as callgrind counts them."""
    out = os.path.join(folder, f"callgrind.{devices}")
    subprocess.run(["valgrind", "--tool=callgrind", "--toggle-collect=kaConfigLoad",
                    f"--callgrind-out-file={out}", sys.executable, "-c", CHILD, MODULE_DIR,
                    path, str(devices)],
                   env=dict(os.environ, TARVEX_SIM_CONFIG=""), check=True,
                   capture_output=True)
    with open(out) as f:
        return next(int(line.split()[1]) for line in f if line.startswith("summary:"))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--callgrind", action="store_true",
                        help="also count instructions for the two smaller files")
    parser.add_argument("--devices", type=int, nargs="+", default=SIZES,
                        help="device counts to load (default: %(default)s)")
    options = parser.parse_args()
    sizes = options.devices
    with tempfile.TemporaryDirectory() as folder:
        for board, write in (("USB-Kestra-4", write_system), ("TX-PCI-1616", write_rich_system)):
            print(f"copies of the built-in {board}:")
            print(f"{'devices':>8} {'file MB':>8} {'wall s':>7} {'cpu s':>7} {'us/device':>10} "
                  f"{'peak MB':>8} {'peak/file':>9}")
            first = None
            for devices in sizes:
                path = os.path.join(folder, f"system{devices}.json")
                write(path, devices)
                size = os.path.getsize(path)
                wall, cpu, peak = load(path, devices)
                per_device = cpu / devices
                first = first or per_device
                print(f"{devices:>8} {size / 1e6:>8.1f} {wall:>7.3f} {cpu:>7.3f} "
                      f"{per_device * 1e6:>10.2f} {peak / 1e6:>8.1f} {peak / size:>8.2f}x"
                      f"   (per device: {per_device / first:.2f}x the {sizes[0]}-device load)")
                os.remove(path)
        if options.callgrind:
            counts = {}
            for devices in sizes[:2]:
                path = os.path.join(folder, f"system{devices}.json")
                write_system(path, devices)
                counts[devices] = instructions(path, devices, folder)
                print(f"{devices:>8} devices: {counts[devices]:>14,} instructions in kaConfigLoad, "
                      f"{counts[devices] / devices:,.0f} per device")
            small, large = sizes[:2]
            print(f"instructions per device, {large} against {small} devices: "
                  f"{counts[large] / large / (counts[small] / small):.2f}x")


if __name__ == "__main__":
    main()
