#!/usr/bin/env python3
"""Writes tarvex/families.py: the driver library's constants as IntEnum and
IntFlag classes, one per family, read from the library's constant list.

usage: make_families.py CONSTANTS_DEF OUTPUT

A constant belongs to the family whose prefix is the longest one its name
starts with, and becomes the member named by the rest of its name
(KA_TYPE_AI is SubdeviceType.AI). An empty flag set (a name ending in
NO_FLAGS) belongs only to a flag family, as its member NO_FLAGS. The other
constants without a family are the operations' lone empty flag sets, the
text sizes and KA_VALUE_NOT_USED; any other constant without a family stops
the build, so a new constant cannot go unnoticed.
"""

import re
import sys

CONSTANT = re.compile(r"^KA_CONSTANT\((\w+),\s*([^)]+)\)\s*$")
REPEAT = re.compile(r"^KA_CONSTANT_AGAIN\(")
GROUP = re.compile(r"^/\*\s*(.*?)\s*\*/$")

ENUM, FLAGS = "DriverEnum", "DriverFlag"

# (class, prefix, base, what the family is for)
FAMILIES = [
    ("LockRequest", "KA_LOCK_", ENUM, "Lock requests of kaLockDriver, kaLockDevice, kaLockSubdevice."),
    ("Switch", "KA_SWITCH_", ENUM, "Switch settings."),
    ("Reference", "KA_REF_", ENUM,
     'References: "Ref" of a stream channel, the reference of kaIOSingleConfig (for counters '
     "the clock), the clock of kaUtilityPWMStart."),
    ("TriggerChannel", "KA_TRIG_CHAN_", ENUM, "Trigger channels."),
    ("TriggerType", "KA_TRIG_TYPE_", ENUM, "Trigger types of kaIOSingleConfig and the trigger set-up."),
    ("TriggerEdge", "KA_TRIG_EDGE_", ENUM, "Trigger edges."),
    ("Timer", "KA_TIMER_", ENUM, "Stream timers of the tick conversions."),
    ("IrqSource", "KA_IRQ_SOURCE_", ENUM, "Interrupt sources of kaIOIrqStart."),
    ("IrqEdge", "KA_IRQ_EDGE_", ENUM, "Interrupt edges of kaIOIrqStart."),
    ("IrqStartFlag", "KA_IO_IRQ_START_", FLAGS, "Flags of kaIOIrqStart."),
    ("SingleConfig", "KA_SINGLE_CONFIG_", ENUM,
     "Single-value configurations of digital ports and counters (kaIOSingleConfig)."),
    ("SingleConfigFlag", "KA_IO_SINGLE_CONFIG_", FLAGS, "Flags of kaIOSingleConfig."),
    ("Direction", "KA_DIR_", ENUM, 'Directions: "Dir" of a single-value transfer.'),
    ("SingleTypeFlag", "KA_IO_SINGLE_TYPE_", FLAGS, 'Transfer flags: "Flags" of a single-value transfer.'),
    ("StreamConfigFlag", "KA_IO_STREAM_CONFIG_", FLAGS, "Flags of kaIOStreamConfig."),
    ("ReadMode", "KA_READ_MODE_", ENUM, "Read modes of kaIOStreamRead."),
    ("StreamReadFlag", "KA_IO_STREAM_READ_", FLAGS, "Flags of kaIOStreamRead."),
    ("WriteMode", "KA_WRITE_MODE_", ENUM, "Write modes of kaIOStreamWrite."),
    ("StartMode", "KA_START_MODE_", ENUM, '"StartMode" of a stream start entry.'),
    ("StartTypeFlag", "KA_IO_STREAM_START_TYPE_", FLAGS, '"Flags" of a stream start entry.'),
    ("StopMode", "KA_STOP_MODE_", ENUM, '"StopMode" of a stream stop entry.'),
    ("WaitMode", "KA_WAIT_", ENUM, "Wait modes of kaIOStreamStatus."),
    ("StreamStatus", "KA_STATUS_", ENUM, "Stream states that kaIOStreamStatus reports."),
    ("ModuleType", "KA_MODULE_TYPE_", ENUM, "Signal conditioning modules of kaUtilityDigitalToPhysical."),
    ("DioCaps", "KA_CAPS_DIO_", FLAGS, "Capabilities of digital subdevices."),
    ("CounterCaps", "KA_CAPS_CTR_", FLAGS, "Capabilities of counter subdevices."),
    ("AiCaps", "KA_CAPS_AI_", FLAGS, "Capabilities of analog input subdevices."),
    ("AoCaps", "KA_CAPS_AO_", FLAGS, "Capabilities of analog output subdevices."),
    ("ExtIrqCaps", "KA_CAPS_EXT_IRQ_", FLAGS, "Capabilities of external interrupt subdevices."),
    ("CapabilitySelector", "KA_CAP_", ENUM, "Capability codes of kaQuerySubdeviceCapsArgs."),
    ("Unit", "KA_UNIT_", ENUM, "Units of ranges."),
    ("SubdeviceType", "KA_TYPE_", ENUM, "Subdevice types."),
    ("SubdeviceSubtype", "KA_SUBTYPE_", ENUM, "Subdevice subtypes."),
    ("BusType", "KA_BUS_TYPE_", ENUM, "Bus types of kaQueryInfoDevice."),
    ("PlugState", "KA_PLUGGED_", ENUM, "Plug states, the last item of kaQueryInfoDevice."),
    ("ExtensionType", "KA_EXTENSION_TYPE_", ENUM, "Extension types."),
    ("AccessType", "KA_ACCESS_TYPE_", ENUM, "Access types."),
]
NO_FLAGS = "NO_FLAGS"


def read_constants(definitions):
    """(group comment, name, value) of each constant in the list's order;
    the repeated entries are left out."""
    constants, group, seen = [], None, set()
    for raw in definitions.splitlines():
        line = raw.strip()
        heading = GROUP.match(line)
        if heading:
            group = heading.group(1)
            continue
        match = CONSTANT.match(line)
        if REPEAT.match(line) or not match:
            continue
        name = match.group(1)
        if name in seen:
            raise SystemExit(f"{name} is listed twice without KA_CONSTANT_AGAIN")
        seen.add(name)
        constants.append((group, name, int(match.group(2), 0)))
        group = None
    return constants


def family_of(name):
    """(family, member name) of a constant, or None for one of no family."""
    matches = [family for family in FAMILIES if name.startswith(family[1])]
    if matches:
        family = max(matches, key=lambda entry: len(entry[1]))
        member = name[len(family[1]):]
        if not member.endswith(NO_FLAGS) or (family[2] == FLAGS and member == NO_FLAGS):
            return family, member
    if name.endswith(NO_FLAGS) or name.endswith("_MAX_COUNT") or name == "KA_VALUE_NOT_USED":
        return None
    raise SystemExit(f"{name} belongs to no family: add its family to FAMILIES in {__file__}")


def families(constants):
    """{family: [(member, value), ...]} in the list's order."""
    members = {family: [] for family in FAMILIES}
    for _, name, value in constants:
        found = family_of(name)
        if found:
            family, member = found
            if not member.isidentifier():
                raise SystemExit(f"{name}: {member!r} cannot name a member")
            members[family].append((member, value))
    empty = [family[0] for family, listed in members.items() if not listed]
    if empty:
        raise SystemExit(f"families without constants: {', '.join(empty)}")
    return members


def module_text(constants):
    lines = ['"""The driver library\'s constants by family, as IntEnum and IntFlag classes.',
             "",
             "Generated at build time from driver/ka_constants.def by python/make_families.py.",
             "Each member equals the kaDriver constant of its family's prefix and its name;",
             "str() gives that constant's name.", '"""', "",
             "from .family import DriverEnum, DriverFlag", "",
             "__all__ = ["] + [f'    "{family[0]}",' for family in FAMILIES] + ["]"]
    for (cls, prefix, base, doc), listed in families(constants).items():
        lines += ["", "", f'class {cls}({base}, prefix="{prefix}"):', f'    """{doc}"""', ""]
        lines += [f"    {member} = {value:#x}" for member, value in listed]
    return "\n".join(lines) + "\n"


def main(definitions_path, output_path):
    with open(definitions_path, encoding="utf-8") as file:
        constants = read_constants(file.read())
    with open(output_path, "w", encoding="utf-8") as file:
        file.write(module_text(constants))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    main(*sys.argv[1:])
