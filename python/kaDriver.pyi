# Type stubs of the kaDriver extension module.
#
# Every function takes positional arguments only. Integer parameters take
# 32-bit signed values (a wider int raises OverflowError), except irq_arg of
# kaIOIrqStart, which takes any int and keeps its low 32 bits; parameters
# typed float also accept an int. Sample arrays are one-dimensional numpy
# arrays of int32. A non-zero result code of the driver library raises
# `error`.
#
# Modes, directions, units, timers and the other enumerated arguments are
# typed by their family of the tarvex package, and so are the constants: a
# type checker then refuses a constant of another family, or a bare number,
# where a mode belongs (0 stays allowed where it means "not used"). At run
# time the constants are plain ints equal to those members; the results of
# the queries are typed int (tarvex.SubdeviceType(kind) gives the member).
# Record lists take the typed dictionaries of tarvex.entries as well as
# plain dict[str, int] ones.
#
# This file is the template that python/make_stubs.py fills at build time:
# each function's docstring comes from the function reference of
# docs/user-guide.md, and the constants at the end from
# driver/ka_constants.def.

from typing import Literal, Union

import tarvex.entries as _entries
import tarvex.families as _families
from numpy import int32
from numpy.typing import ArrayLike, NDArray

_NotUsed = Literal[0]
_SingleList = Union[list[_entries.SingleEntry], list[dict[str, int]]]
_ChannelList = Union[list[_entries.ChannelEntry], list[dict[str, int]]]
_Trigger = Union[_entries.TriggerSetup, dict[str, int]]

class error(Exception):
    """Raised for a non-zero result code: args are (code, text)."""

    args: tuple[int, str]

# Open, close, locks, resets
def kaOpen(flags: int, /) -> None: ...
def kaClose(flags: int, /) -> None: ...
def kaLockDriver(lock: _families.LockRequest, flags: int, /) -> None: ...
def kaLockDevice(device: int, lock: _families.LockRequest, flags: int, /) -> None: ...
def kaLockSubdevice(
    device: int, subdevice: int, lock: _families.LockRequest, flags: int, /
) -> None: ...
def kaIOResetDevice(device: int, flags: int, /) -> None: ...
def kaIOResetSubdevice(device: int, subdevice: int, flags: int, /) -> None: ...

# Interrupts
def kaIOIrqStart(
    device: int,
    subdevice: int,
    channel: int,
    source: Union[_families.IrqSource, _NotUsed],
    edge: _families.IrqEdge,
    irq_arg: int,
    flags: int,
    /,
) -> None: ...
def kaIOIrqStop(device: int, subdevice: int, channel: int, flags: int, /) -> None: ...
def kaIOIrqWait(
    device: int, subdevice: int, channel: int, timeout: int, flags: int, /
) -> tuple[int, int]: ...

# Single values
def kaIOSingleConfig(
    device: int,
    subdevice: int,
    channel: int,
    single_config: int,
    ref: Union[_families.Reference, _NotUsed],
    trig_chan: Union[_families.TriggerChannel, _NotUsed],
    trig_type: Union[_families.TriggerType, _NotUsed],
    trig_edge: Union[_families.TriggerEdge, _NotUsed],
    flags: int,
    /,
) -> None: ...
def kaIOSingle(entries: _SingleList, flags: int, /) -> None: ...

# Streaming
def kaIOStreamConfig(
    device: int,
    subdevice: int,
    channels: _ChannelList,
    trigger: _Trigger,
    fifo_irq_threshold: int,
    flags: int,
    /,
) -> None: ...
def kaIOStreamRead(
    device: int, subdevice: int, read_mode: _families.ReadMode, count: int, flags: int, /
) -> NDArray[int32]: ...
def kaIOStreamWrite(
    device: int, subdevice: int, write_mode: _families.WriteMode, values: ArrayLike, flags: int, /
) -> NDArray[int32]: ...
def kaIOStreamStart(
    entries: Union[list[_entries.StartEntry], list[dict[str, int]]], flags: int, /
) -> None: ...
def kaIOStreamStop(
    entries: Union[list[_entries.StopEntry], list[dict[str, int]]], flags: int, /
) -> None: ...
def kaIOStreamStatus(
    device: int, subdevice: int, wait: _families.WaitMode, flags: int, /
) -> tuple[int, int]: ...
def kaIOStreamFrequencyToTicks(
    device: int, subdevice: int, timer: _families.Timer, frequency: float, flags: int, /
) -> tuple[float, int]: ...
def kaIOStreamTimeToTicks(
    device: int, subdevice: int, timer: _families.Timer, time: float, flags: int, /
) -> tuple[float, int]: ...

# Queries
def kaQueryDescriptionDevice(device: int, /) -> str: ...
def kaQueryInfoDevice(device: int, /) -> tuple[int, int, int, int, int, int, int, int]: ...
def kaQueryNameDevice(device: int, /) -> str: ...
def kaQueryNameDeviceDriver(device: int, /) -> str: ...
def kaQueryNumberDevices() -> int: ...
def kaQueryNumberSubdevices(device: int, /) -> int: ...
def kaQueryNumberChannels(device: int, subdevice: int, /) -> int: ...
def kaQueryNumberRanges(device: int, subdevice: int, unit: _families.Unit, /) -> int: ...
def kaQueryRangeByMinMax(
    device: int, subdevice: int, unit: _families.Unit, min: float, max: float, /
) -> tuple[float, float, int, int]: ...
def kaQueryRangeInfo(device: int, subdevice: int, range: int, /) -> tuple[int, float, float, int]: ...
def kaQuerySubdeviceByType(
    device: int,
    start_subdevice: int,
    type: _families.SubdeviceType,
    subtype: _families.SubdeviceSubtype,
    /,
) -> int: ...
def kaQuerySubdeviceType(device: int, subdevice: int, /) -> tuple[int, int]: ...
def kaQuerySubdeviceCaps(device: int, subdevice: int, /) -> int: ...
def kaQuerySubdeviceCapsArgs(device: int, subdevice: int, cap: int, /) -> tuple[int, ...]: ...
def kaQueryVersionLibrary() -> int: ...
def kaQueryVersionMainDriver() -> int: ...
def kaQueryVersionDeviceDriver(device: int, /) -> int: ...

# Utilities
def kaUtilityExtractValues(
    channel: int, samples: ArrayLike, channels: _ChannelList, /
) -> NDArray[int32]: ...
def kaUtilityPhysicalToDigital(min: float, max: float, max_data: int, physical: float, /) -> int: ...
def kaUtilityDigitalToPhysical(
    min: float,
    max: float,
    max_data: int,
    digital: int,
    module_type: _families.ModuleType,
    ref_value: float,
    /,
) -> float: ...
def kaUtilityPWMStart(
    device: int,
    subdevice1: int,
    subdevice2: int,
    subdevice3: int,
    ref: _families.Reference,
    prescaler: int,
    duty_cycle: int,
    flags: int,
    /,
) -> None: ...
def kaUtilityPWMStop(device: int, subdevice1: int, /) -> None: ...
def kaConfigLoad(config_file: str | None, /) -> None: ...

# Remote queries: the host first, the rest as the local query
def kaRQueryDescriptionDevice(host: str, device: int, /) -> str: ...
def kaRQueryInfoDevice(host: str, device: int, /) -> tuple[int, int, int, int, int, int, int, int]: ...
def kaRQueryNameDevice(host: str, device: int, /) -> str: ...
def kaRQueryNumberDevices(host: str, /) -> int: ...
def kaRQueryNumberSubdevices(host: str, device: int, /) -> int: ...
def kaRQueryNumberChannels(host: str, device: int, subdevice: int, /) -> int: ...
def kaRQueryNumberRanges(
    host: str, device: int, subdevice: int, unit: _families.Unit, /
) -> int: ...
def kaRQueryRangeInfo(
    host: str, device: int, subdevice: int, range: int, /
) -> tuple[int, float, float, int]: ...
def kaRQuerySubdeviceType(host: str, device: int, subdevice: int, /) -> tuple[int, int]: ...

# Constants
# @KA_CONSTANTS@
