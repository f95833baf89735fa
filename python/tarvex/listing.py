"""tarvex-list: the system as the driver library sees it, with constant names;
the simulated wiring; a check of a system file; the Control Center's device
report."""

from __future__ import annotations

import argparse
import os
import re
import subprocess
import sys
from typing import Dict, List, Optional, Tuple, Type

import kaDriver as K

from . import families as f
from .family import DriverFlag
from .results import result
from .sim import Sim

# What the simulated library says an input sees when it reads an output.
LOOPBACK = re.compile(r"loopback: device (\d+), subdevice (\d+), channel (\d+)")
LINES = re.compile(r"lines: device (\d+), subdevice (\d+)")
# A channel of a subdevice, or the whole port (None).
Place = Tuple[int, int, Optional[int]]

REPORT_TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tarvex-report")

# The capability bits of kaQuerySubdeviceCaps belong to the subdevice's type.
CAPS_OF_TYPE: Dict[int, Type[DriverFlag]] = {
    f.SubdeviceType.AI: f.AiCaps, f.SubdeviceType.AO: f.AoCaps, f.SubdeviceType.DIO: f.DioCaps,
    f.SubdeviceType.DI: f.DioCaps, f.SubdeviceType.DO: f.DioCaps,
    f.SubdeviceType.CTR: f.CounterCaps, f.SubdeviceType.EXT_IRQ: f.ExtIrqCaps,
}


def dotted(version: int) -> str:
    return ".".join(str(version >> shift & 0xFF) for shift in (24, 16, 8, 0))


def subdevice_lines(device: int, subdevice: int) -> List[str]:
    kind, subtype = K.kaQuerySubdeviceType(device, subdevice)
    channels = K.kaQueryNumberChannels(device, subdevice)
    line = (f"    subdevice {subdevice}: {f.SubdeviceType.name_of(kind)} "
            f"{f.SubdeviceSubtype.name_of(subtype)}, {channels} channel(s)")
    caps = K.kaQuerySubdeviceCaps(device, subdevice)
    if caps:
        family = CAPS_OF_TYPE.get(kind)
        line += f", caps {family.name_of(caps) if family else hex(caps)}"
    lines = [line]
    for index in range(K.kaQueryNumberRanges(device, subdevice, f.Unit.ANY)):
        unit, low, high, max_data = K.kaQueryRangeInfo(device, subdevice, index)
        lines.append(f"        range {index}: {low:+.4f} .. {high:+.4f} {f.Unit.name_of(unit)}, "
                     f"max_data {max_data}")
    return lines


def device_lines(device: int) -> List[str]:
    vendor, product, serial, bus, bus_no, dev_no, func_no, plugged = K.kaQueryInfoDevice(device)
    lines = [f"Device {device}: {K.kaQueryNameDevice(device)}, {f.PlugState.name_of(plugged)}",
             f"    {K.kaQueryDescriptionDevice(device)}",
             f"    driver {K.kaQueryNameDeviceDriver(device)} "
             f"{dotted(K.kaQueryVersionDeviceDriver(device))}, {f.BusType.name_of(bus)} "
             f"{bus_no}:{dev_no}.{func_no}, id {vendor:04x}:{product:04x}, serial {serial}"]
    for subdevice in range(K.kaQueryNumberSubdevices(device)):
        lines += subdevice_lines(device, subdevice)
    return lines


def list_system() -> int:
    print(f"Library version {dotted(K.kaQueryVersionLibrary())}")
    K.kaOpen(K.KA_OPEN_NO_FLAGS)
    try:
        print(f"Main driver version {dotted(K.kaQueryVersionMainDriver())}")
        for device in range(K.kaQueryNumberDevices()):
            try:
                lines = device_lines(device)
            except K.error as fault:
                lines = [f"Device {device}: error {result(fault.args[0])}"]
            print("\n".join(lines))
    finally:
        K.kaClose(K.KA_CLOSE_NO_FLAGS)
    return 0


def wiring(sim: Sim) -> Dict[Place, List[str]]:
    """What each input sees, and for each output read back, which inputs read it."""
    seen: Dict[Place, List[str]] = {}
    for device in range(K.kaQueryNumberDevices()):
        for subdevice in range(K.kaQueryNumberSubdevices(device)):
            kind, _ = K.kaQuerySubdeviceType(device, subdevice)
            if kind == f.SubdeviceType.AI:
                places: List[Place] = [(device, subdevice, channel) for channel
                                       in range(K.kaQueryNumberChannels(device, subdevice))]
            elif kind in (f.SubdeviceType.DI, f.SubdeviceType.DIO):
                places = [(device, subdevice, None)]
            else:
                continue
            for place in places:
                text = sim.wiring(device, subdevice, place[2] or 0)
                if text is None:
                    continue
                seen.setdefault(place, []).append(text)
                analog, digital = LOOPBACK.fullmatch(text), LINES.fullmatch(text)
                if analog:
                    read = (int(analog[1]), int(analog[2]), int(analog[3]))
                    seen.setdefault(read, []).append(
                        f"read back by device {device}, subdevice {subdevice}, channel {place[2]}")
                elif digital:
                    seen.setdefault((int(digital[1]), int(digital[2]), None), []).append(
                        f"read by device {device}, subdevice {subdevice}")
    return seen


def list_signals() -> int:
    sim = simulated("--signals")
    if sim is None:
        return 2
    K.kaOpen(K.KA_OPEN_NO_FLAGS)
    try:
        seen = wiring(sim)
        print("What the simulated inputs see (the others read 0), and who reads each output:")
        for device in range(K.kaQueryNumberDevices()):
            print(f"Device {device}: {K.kaQueryNameDevice(device)}")
            # A port's lines first, then its subdevice's channels in order.
            for place in sorted((place for place in seen if place[0] == device),
                                key=lambda place: (place[1], place[2] is not None, place[2] or 0)):
                kind, _ = K.kaQuerySubdeviceType(*place[:2])
                where = f"subdevice {place[1]} {f.SubdeviceType.name_of(kind)}"
                if place[2] is not None:
                    where += f" channel {place[2]}"
                for text in seen[place]:
                    print(f"    {where}: {text}")
    finally:
        K.kaClose(K.KA_CLOSE_NO_FLAGS)
    return 0


def simulated(option: str) -> Optional[Sim]:
    """The simulated library's test-control API, or None after saying that
    the option needs it."""
    try:
        return Sim()
    except RuntimeError as fault:
        print(f"tarvex-list: {option} needs the simulated driver library: {fault}",
              file=sys.stderr)
        return None


def check(path: str) -> int:
    if simulated("--check") is None:  # the file format is the simulated library's
        return 2
    try:
        K.kaConfigLoad(path)
    except K.error as fault:
        code, text = fault.args
        print(f"tarvex-list: {path}: error {code}: {text}", file=sys.stderr)
        return 1
    K.kaOpen(K.KA_OPEN_NO_FLAGS)
    try:
        print(f"{path}: a valid system of {K.kaQueryNumberDevices()} device(s)")
    finally:
        K.kaClose(K.KA_CLOSE_NO_FLAGS)
    return 0


def report() -> int:
    if not os.access(REPORT_TOOL, os.X_OK):
        print(f"tarvex-list: the report tool is missing: {REPORT_TOOL}", file=sys.stderr)
        return 2
    sys.stdout.flush()
    return subprocess.run([REPORT_TOOL], check=False).returncode


def parser() -> argparse.ArgumentParser:
    command = argparse.ArgumentParser(
        prog="tarvex-list",
        description="Lists the devices, subdevices, channels and ranges the Tarvex driver "
                    "library sees, with the driver's constant names.",
        epilog="Exit status: 0 done, 1 the system file is not valid or a driver call failed, "
               "2 a usage error or a missing part. The simulated library reads its system from the file named "
               "by TARVEX_SIM_CONFIG, else its built-in one.")
    action = command.add_mutually_exclusive_group()
    action.add_argument("--check", metavar="FILE",
                        help="check a system file of the simulated library: its error with "
                             "the place, or the number of devices it describes")
    action.add_argument("--signals", action="store_true",
                        help="show the simulated wiring: the signal each analog input channel "
                             "carries, which output each loop-back input reads, which digital "
                             "port reads which, and each output from the side of its readers")
    action.add_argument("--report", action="store_true",
                        help="print the Control Center's device report instead")
    return command


def main(argv: Optional[List[str]] = None) -> int:
    options = parser().parse_args(argv)
    try:
        if options.check is not None:
            return check(options.check)
        if options.signals:
            return list_signals()
        if options.report:
            return report()
        return list_system()
    except K.error as fault:
        print(f"tarvex-list: error {result(fault.args[0])}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
