"""tarvex-list: the system as the driver library sees it, with constant names;
a check of a system file; the Control Center's device report."""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
from typing import Dict, List, Optional, Type

import kaDriver as K

from . import families as f
from .family import DriverFlag
from .results import result

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


def check(path: str) -> int:
    from .sim import Sim  # the file format is the simulated library's

    try:
        Sim()
    except RuntimeError as fault:
        print(f"tarvex-list: --check needs the simulated driver library: {fault}", file=sys.stderr)
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
    action.add_argument("--report", action="store_true",
                        help="print the Control Center's device report instead")
    return command


def main(argv: Optional[List[str]] = None) -> int:
    options = parser().parse_args(argv)
    try:
        if options.check is not None:
            return check(options.check)
        if options.report:
            return report()
        return list_system()
    except K.error as fault:
        print(f"tarvex-list: error {result(fault.args[0])}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
