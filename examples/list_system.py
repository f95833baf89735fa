#!/usr/bin/env python3
"""Walk the driver's view of the system: versions, devices, subdevices,
channels and ranges."""

import kaDriver


def dotted(version):
    return ".".join(str(version >> shift & 0xFF) for shift in (24, 16, 8, 0))


def constant_name(value, prefix):
    """The name of a driver constant of one family, for printing."""
    for name in dir(kaDriver):
        if name.startswith(prefix) and getattr(kaDriver, name) == value:
            return name[len(prefix):]
    return hex(value)


def describe_ranges(device, subdevice):
    count = kaDriver.kaQueryNumberRanges(device, subdevice, kaDriver.KA_UNIT_ANY)
    for index in range(count):
        unit, low, high, max_data = kaDriver.kaQueryRangeInfo(device, subdevice, index)
        bits = max_data.bit_length()
        print(f"        range {index}: {low:+.4f} .. {high:+.4f} "
              f"{constant_name(unit, 'KA_UNIT_')}, {bits} bit")


def describe_device(device):
    info = kaDriver.kaQueryInfoDevice(device)
    plugged = info[7] == kaDriver.KA_PLUGGED_IN
    bus = constant_name(info[3], "KA_BUS_TYPE_")
    print(f"Device {device}: {kaDriver.kaQueryNameDevice(device)}"
          f"{'' if plugged else '  (not plugged in)'}")
    print(f"    {kaDriver.kaQueryDescriptionDevice(device)}")
    print(f"    driver {kaDriver.kaQueryNameDeviceDriver(device)} "
          f"{dotted(kaDriver.kaQueryVersionDeviceDriver(device))}, "
          f"{bus} id {info[0]:04x}:{info[1]:04x}, serial {info[2]}")
    for subdevice in range(kaDriver.kaQueryNumberSubdevices(device)):
        kind, subtype = kaDriver.kaQuerySubdeviceType(device, subdevice)
        channels = kaDriver.kaQueryNumberChannels(device, subdevice)
        print(f"    subdevice {subdevice}: {constant_name(kind, 'KA_TYPE_')}"
              f" {constant_name(subtype, 'KA_SUBTYPE_')}, {channels} channel(s)")
        describe_ranges(device, subdevice)


def main():
    print(f"Library version {dotted(kaDriver.kaQueryVersionLibrary())}")
    kaDriver.kaOpen(kaDriver.KA_OPEN_NO_FLAGS)
    try:
        print(f"Main driver version {dotted(kaDriver.kaQueryVersionMainDriver())}")
        for device in range(kaDriver.kaQueryNumberDevices()):
            describe_device(device)
    finally:
        kaDriver.kaClose(kaDriver.KA_CLOSE_NO_FLAGS)


if __name__ == "__main__":
    main()
