"""The dictionaries that kaDriver's list and set-up functions take, as typed
dictionaries, and constructors that fill every key.

Each constructor returns a plain dict holding every key its kaDriver
function reads, "Errno" included, so the result can go straight into the
list: kaDriver.kaIOSingle([single_entry(...)], 0). Arguments are keyword
only; integer-like values such as numpy integers become Python ints (the
module refuses numpy scalars inside dictionaries), floats are refused.
"""

from __future__ import annotations

import operator
from typing import Literal, Optional, SupportsIndex, TypedDict, TypeVar, Union, cast

from .families import (Direction, Reference, StartMode, StopMode, TriggerChannel, TriggerEdge,
                       TriggerType)

# 0 (KA_VALUE_NOT_USED) stands where a value is not used, for example the
# edge of a software trigger; the simulated boards also take it as the
# subdevice's usual reference.
NotUsed = Literal[0]
# An int, or any integer that converts to one without loss (a numpy integer).
Integer = SupportsIndex
# A family member, or 0 where it stands for "not used".
Member = TypeVar("Member", bound=int)


class SingleEntry(TypedDict):
    """A transfer of kaIOSingle; it writes "Value" and "Errno" back."""

    Device: int
    Subdevice: int
    Channel: int
    Dir: Direction
    Value: int
    TimeOut: int
    Flags: int  # SingleTypeFlag bits
    Errno: int


class ChannelEntry(TypedDict):
    """A channel of kaIOStreamConfig's channel list (also kaUtilityExtractValues')."""

    Channel: int
    StreamConfig: int
    Ref: Union[Reference, NotUsed]
    Flags: int


class TriggerSetup(TypedDict):
    """The trigger set-up of kaIOStreamConfig; ticks from kaIOStreamFrequencyToTicks."""

    AcqStartTrigType: TriggerType
    AcqStartTrigEdge: Union[TriggerEdge, NotUsed]
    AcqStartTrigChan: Union[TriggerChannel, NotUsed]
    AcqStartTicks: int
    ScanStartTrigType: TriggerType
    ScanStartTicks: int
    ConvStartTrigType: TriggerType
    ConvStartTicks: int
    ScanStopTrigType: TriggerType
    ScanStopCount: int
    AcqStopTrigType: TriggerType
    AcqStopCount: int
    Flags: int


class StartEntry(TypedDict):
    """A stream of kaIOStreamStart; it writes "Errno" back."""

    Device: int
    Subdevice: int
    StartMode: StartMode
    TimeOut: int
    Flags: int  # StartTypeFlag bits
    Errno: int


class StopEntry(TypedDict):
    """A stream of kaIOStreamStop; it writes "Errno" back."""

    Device: int
    Subdevice: int
    StopMode: StopMode
    Flags: int
    Errno: int


def _integer(value: Integer) -> int:
    """An int as it is (enum members keep their names), any other integer
    as a plain int."""
    return value if isinstance(value, int) else operator.index(value)


def _member(value: Member) -> Member:
    """A family argument: typed as the family's member, but at run time it
    may be a numpy integer holding the constant, which becomes a plain int."""
    return cast(Member, _integer(value))


def single_entry(*, device: Integer, subdevice: Integer, channel: Integer,
                 direction: Direction, value: Integer = 0, timeout: Integer = 0,
                 flags: Integer = 0) -> SingleEntry:
    """One transfer: the value to write (ignored for a read), a time-out in
    milliseconds and SingleTypeFlag bits (the width of a digital transfer)."""
    return {"Device": _integer(device), "Subdevice": _integer(subdevice),
            "Channel": _integer(channel), "Dir": _member(direction), "Value": _integer(value),
            "TimeOut": _integer(timeout), "Flags": _integer(flags), "Errno": 0}


def channel_entry(*, channel: Integer, ref: Union[Reference, NotUsed],
                  stream_config: Integer = 0, flags: Integer = 0) -> ChannelEntry:
    """One channel of a scan; stream_config is the range index on the
    simulated boards."""
    return {"Channel": _integer(channel), "StreamConfig": _integer(stream_config),
            "Ref": _member(ref), "Flags": _integer(flags)}


def trigger_setup(*, conv_start_ticks: Integer, scan_start_ticks: Integer = 0,
                  scan_stop_count: Integer = 0, acq_stop_count: Integer = 0,
                  acq_start_type: TriggerType = TriggerType.SW,
                  acq_start_edge: Union[TriggerEdge, NotUsed] = 0,
                  acq_start_chan: Union[TriggerChannel, NotUsed] = TriggerChannel.DEFAULT,
                  acq_start_ticks: Integer = 0,
                  scan_start_type: Optional[TriggerType] = None,
                  conv_start_type: TriggerType = TriggerType.TIMER,
                  scan_stop_type: Optional[TriggerType] = None,
                  acq_stop_type: Optional[TriggerType] = None,
                  flags: Integer = 0) -> TriggerSetup:
    """A software-started acquisition whose conversions follow the
    conversion timer. Unless given, the scans start by the scan timer when
    scan_start_ticks is set, else one after the other (FOLLOW); the scans or
    values are counted when scan_stop_count or acq_stop_count is set, else
    the stream runs until it is stopped (NONE)."""
    scan_ticks, scans, values = (_integer(scan_start_ticks), _integer(scan_stop_count),
                                 _integer(acq_stop_count))
    return {
        "AcqStartTrigType": _member(acq_start_type),
        "AcqStartTrigEdge": _member(acq_start_edge),
        "AcqStartTrigChan": _member(acq_start_chan),
        "AcqStartTicks": _integer(acq_start_ticks),
        "ScanStartTrigType": _chosen(scan_start_type, scan_ticks, TriggerType.TIMER,
                                     TriggerType.FOLLOW),
        "ScanStartTicks": scan_ticks,
        "ConvStartTrigType": _member(conv_start_type),
        "ConvStartTicks": _integer(conv_start_ticks),
        "ScanStopTrigType": _chosen(scan_stop_type, scans, TriggerType.COUNT, TriggerType.NONE),
        "ScanStopCount": scans,
        "AcqStopTrigType": _chosen(acq_stop_type, values, TriggerType.COUNT, TriggerType.NONE),
        "AcqStopCount": values,
        "Flags": _integer(flags),
    }


def _chosen(given: Optional[TriggerType], setting: int, when_set: TriggerType,
            otherwise: TriggerType) -> TriggerType:
    if given is not None:
        return _member(given)
    return when_set if setting else otherwise


def start_entry(*, device: Integer, subdevice: Integer, mode: StartMode = StartMode.NONBLOCKING,
                timeout: Integer = 0, flags: Integer = 0) -> StartEntry:
    """Starts one subdevice's configured stream; a blocking start waits up to
    timeout milliseconds for the stream to run."""
    return {"Device": _integer(device), "Subdevice": _integer(subdevice),
            "StartMode": _member(mode), "TimeOut": _integer(timeout), "Flags": _integer(flags),
            "Errno": 0}


def stop_entry(*, device: Integer, subdevice: Integer, mode: StopMode = StopMode.IMMEDIATE,
               flags: Integer = 0) -> StopEntry:
    """Stops one subdevice's stream."""
    return {"Device": _integer(device), "Subdevice": _integer(subdevice),
            "StopMode": _member(mode), "Flags": _integer(flags), "Errno": 0}
