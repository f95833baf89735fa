"""Streams in a few lines: a finite acquisition in one call, continuous input
in blocks of whole scans, output of a waveform fed from an array, an
iterable of blocks or one repeated period. Values come and go per channel,
shape (scans, channels), in the unit of each channel's range (raw counts on
request).

Each stream object is a context manager: it configures and starts the
stream on entry and stops it on leaving, also after an exception or Ctrl-C.
Every wait is sliced (see tarvex.waits), so Ctrl-C ends it within a slice
and other threads run meanwhile; a failed start or stop entry raises
(tarvex.check), and an input overrun raises kaDriver.error with the
library's code instead of leaving a gap in the data.
"""

from __future__ import annotations

import math
import time
from abc import ABC, abstractmethod
from types import TracebackType
from typing import (Any, Iterable, Iterator, List, Optional, Sequence, Tuple, Type, TypeVar,
                    Union, cast)

import numpy as np
import numpy.typing as npt

import kaDriver

from .batches import check
from .convert import RangeInfo, to_digital, to_physical
from .entries import channel_entry, start_entry, stop_entry, trigger_setup
from .families import (ReadMode, Reference, StreamConfigFlag, StreamReadFlag, StreamStatus,
                       SubdeviceType, Timer, Unit, WaitMode, WriteMode)
from .waits import deadline, pause

# Values per channel, shape (scans, channels): float64 in the ranges' units,
# or int32 counts where raw values were asked for.
Samples = npt.NDArray[Any]
# One range index for every channel, or one for each.
Ranges = Union[int, Sequence[int]]
# The most values offered to one write: the remainder the module copies back
# stays small however long the waveform.
_OFFER = 1 << 16


class _Setup:
    """What a stream of a subdevice needs, worked out and checked before
    anything is configured: the channel list with the range of each channel,
    and the scan and conversion timing of the rate."""

    def __init__(self, device: int, subdevice: int, channels: Sequence[int], rate_hz: float,
                 ranges: Ranges, kind: SubdeviceType) -> None:
        self.device, self.subdevice = device, subdevice
        found, _ = kaDriver.kaQuerySubdeviceType(device, subdevice)
        if found != kind:
            raise ValueError(f"subdevice: {subdevice} of device {device} is "
                             f"{SubdeviceType.name_of(found)}, not {kind}")
        self.channels = list(channels)
        if not self.channels:
            raise ValueError("channels: at least one channel is needed")
        _check_indices("channels", self.channels,
                       kaDriver.kaQueryNumberChannels(device, subdevice))
        per_channel = [ranges] * len(self.channels) if isinstance(ranges, int) else list(ranges)
        if len(per_channel) != len(self.channels):
            raise ValueError(f"range: {len(per_channel)} ranges for {len(self.channels)} channels")
        _check_indices("range", per_channel,
                       kaDriver.kaQueryNumberRanges(device, subdevice, Unit.ANY))
        self.range_infos: List[RangeInfo] = [
            kaDriver.kaQueryRangeInfo(device, subdevice, index) for index in per_channel]
        reference = Reference.AI_GROUND if kind == SubdeviceType.AI else Reference.AO_GROUND
        self.entries = [channel_entry(channel=channel, ref=reference, stream_config=index)
                        for channel, index in zip(self.channels, per_channel)]
        self.rate_hz, self.scan_ticks, self.conv_ticks = self._timing(rate_hz)

    def _timing(self, rate_hz: float) -> Tuple[float, int, int]:
        """(scans per second reached, scan ticks, conversion ticks): the
        conversions of a scan follow each other at the scan rate times the
        channels. Scan ticks 0 stand for scans back to back."""
        if not (math.isfinite(rate_hz) and rate_hz > 0):
            raise ValueError(f"rate_hz: {rate_hz} is not a positive number of scans per second")
        count = len(self.channels)
        scan_hz, scan_ticks = self._ticks(Timer.SCAN_START, rate_hz, rate_hz)
        conv_hz, conv_ticks = self._ticks(Timer.CONV_START, rate_hz * count, rate_hz)
        if conv_ticks * count <= scan_ticks:
            return scan_hz, scan_ticks, conv_ticks
        # The two counts were rounded apart: scans back to back come nearest.
        return conv_hz / count, 0, conv_ticks

    def _ticks(self, timer: Timer, hz: float, rate_hz: float) -> Tuple[float, int]:
        reached, ticks = kaDriver.kaIOStreamFrequencyToTicks(
            self.device, self.subdevice, timer, hz, kaDriver.KA_IO_FREQUENCY_TO_TICKS_NO_FLAGS)
        # A whole tick count misses hz by less than a tick; more means the
        # board cannot go that fast.
        if ticks <= 0 or reached < hz * (1 - 1 / ticks):
            raise ValueError(f"rate_hz: {rate_hz:g} scans per second of {len(self.channels)} "
                             f"channel(s) need {timer} at {hz:g} Hz; subdevice "
                             f"{self.subdevice} of device {self.device} reaches {reached:g} Hz")
        return reached, ticks

    def to_physical(self, counts: npt.NDArray[np.int32]) -> npt.NDArray[np.float64]:
        """Scans of counts, shape (scans, channels), in each channel's unit."""
        if len(set(self.range_infos)) == 1:
            return to_physical(counts, self.range_infos[0])
        physical = np.empty(counts.shape)
        for column, info in enumerate(self.range_infos):
            physical[:, column] = to_physical(counts[:, column], info)
        return physical

    def to_digital(self, block: npt.ArrayLike, raw: bool) -> npt.NDArray[np.int32]:
        """Scans of values, shape (scans, channels) or (scans,) for one
        channel, as the interleaved counts the board takes."""
        values = np.asarray(block)
        count = len(self.channels)
        if values.ndim == 1 and count == 1:
            values = values.reshape(-1, 1)
        if values.ndim != 2 or values.shape[1] != count:
            raise ValueError(f"waveform: {count} channel(s) need values of shape (scans, "
                             f"{count}), not {values.shape}")
        if raw:
            highest = np.array([info[3] for info in self.range_infos])
            if values.dtype.kind not in "iu" or (values.size and (
                    (values.min(axis=0) < 0).any() or (values.max(axis=0) > highest).any())):
                raise ValueError("waveform: raw values are integers from 0 to each range's "
                                 "max_data")
            return values.astype(np.int32).reshape(-1)
        if len(set(self.range_infos)) == 1:
            return to_digital(values, self.range_infos[0]).reshape(-1)
        digital = np.empty(values.shape, np.int32)
        for column, info in enumerate(self.range_infos):
            digital[:, column] = to_digital(values[:, column], info)
        return digital.reshape(-1)


def _check_indices(argument: str, indices: Sequence[int], count: int) -> None:
    for index in indices:
        if not 0 <= index < count:
            raise ValueError(f"{argument}: {index} is not one of 0 to {count - 1}")


_Self = TypeVar("_Self", bound="_Stream")


class _Stream(ABC):
    """Configures on entry (_configure), starts, and stops on leaving."""

    def __init__(self, setup: _Setup) -> None:
        self._setup = setup
        self.rate_hz = setup.rate_hz

    @abstractmethod
    def _configure(self) -> None:
        """Configures the stream (and preloads an output)."""

    def _config(self, values: int, flags: int) -> None:
        """kaIOStreamConfig with the set-up's channels and timing; `values` is
        the acquisition's stop count (0: until stopped)."""
        setup = self._setup
        trigger = trigger_setup(scan_start_ticks=setup.scan_ticks,
                                conv_start_ticks=setup.conv_ticks, acq_stop_count=values)
        kaDriver.kaIOStreamConfig(setup.device, setup.subdevice, setup.entries, trigger, 0, flags)

    def __enter__(self: _Self) -> _Self:
        self._configure()
        start = [start_entry(device=self._setup.device, subdevice=self._setup.subdevice)]
        try:
            kaDriver.kaIOStreamStart(start, kaDriver.KA_IO_STREAM_START_NO_FLAGS)
            check(start)
        except BaseException as fault:  # Ctrl-C included: nothing may stay running
            self._stop(fault)
            raise
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], fault: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        self._stop(fault)

    def _stop(self, fault: Optional[BaseException]) -> None:
        """Stops the stream; a failed stop raises, unless another exception
        is on its way out: that one is the one to see."""
        stop = [stop_entry(device=self._setup.device, subdevice=self._setup.subdevice)]
        try:
            kaDriver.kaIOStreamStop(stop, kaDriver.KA_IO_STREAM_STOP_NO_FLAGS)
            check(stop)
        except kaDriver.error:
            if fault is None:
                raise

    def _status(self) -> Tuple[int, int]:
        return kaDriver.kaIOStreamStatus(self._setup.device, self._setup.subdevice,
                                         WaitMode.NONE, kaDriver.KA_IO_STREAM_STATUS_NO_FLAGS)


class InputStream(_Stream):
    """Analog input from a with block, in blocks of whole scans:

        with tarvex.InputStream(0, 0, [0, 1], rate_hz=10_000) as stream:
            for block in stream.blocks(1_000):   # 100 ms each, shape (1000, 2), volts
                ...

    channels are the subdevice's channel numbers, in scan order; range is
    one range index for all or one per channel. The stream runs until the
    block ends, or for `scans` scans when given. Blocks are float64 in each
    range's unit, or the int32 counts with raw=True; rate_hz is the rate
    the board makes, as near the one asked for as its clock allows. A rate
    the subdevice cannot make, a channel or range it lacks raise ValueError
    naming the argument; an overrun (values lost because reading fell
    behind) raises kaDriver.error with the library's code."""

    def __init__(self, device: int, subdevice: int, channels: Sequence[int], rate_hz: float, *,
                 range: Ranges = 0, raw: bool = False, scans: Optional[int] = None) -> None:
        if scans is not None and scans <= 0:
            raise ValueError(f"scans: {scans} is not a positive number of scans")
        super().__init__(_Setup(device, subdevice, channels, rate_hz, range, SubdeviceType.AI))
        self._raw = raw
        self._values = 0 if scans is None else scans * len(self._setup.channels)
        # Values read beyond the last block: a part of a scan, at most.
        self._carry = np.empty(0, np.int32)

    def _configure(self) -> None:
        self._config(self._values, kaDriver.KA_IO_STREAM_CONFIG_NO_FLAGS)

    def read(self, scans: int, timeout: Optional[float] = None) -> Samples:
        """The next `scans` scans, shape (scans, channels), once they are
        there; fewer only when the stream has ended or timeout (seconds;
        None: no limit) passed first. timeout=0 takes the whole scans that
        are there, without waiting: for a program that runs an event loop."""
        setup, count = self._setup, len(self._setup.channels)
        ends = deadline(timeout)
        wanted = scans * count
        pieces, have = [self._carry[:wanted]], min(len(self._carry), wanted)
        self._carry = self._carry[wanted:]
        while have < wanted:
            need = wanted - have
            status, ready = self._status()
            # Whole scans, no more than are there: the module makes an array
            # of the size asked for.
            ask = min(-(-need // count) * count, ready - ready % count)
            if not ask and status == StreamStatus.BUSY:
                left = ends - time.monotonic()
                if left <= 0:
                    break
                pause(min(left, need / (self.rate_hz * count)))
                continue
            # After an overrun this read raises the library's error.
            piece = kaDriver.kaIOStreamRead(setup.device, setup.subdevice, ReadMode.NONBLOCKING,
                                            ask, StreamReadFlag.FRAMES)
            if not len(piece) and status != StreamStatus.BUSY:
                break  # the stream has ended
            pieces.append(piece[:need])
            self._carry = piece[need:]
            have += min(len(piece), need)
        counts: npt.NDArray[np.int32] = np.concatenate(pieces)
        scans_read = counts[:len(counts) - len(counts) % count].reshape(-1, count)
        if self._raw:
            return scans_read
        return setup.to_physical(scans_read)

    def blocks(self, scans: int) -> Iterator[Samples]:
        """Blocks of `scans` scans each, for as long as the stream runs (a
        shorter last block when a counted stream ends)."""
        while True:
            block = self.read(scans)
            if len(block):
                yield block
            if len(block) < scans:
                return


def acquire(device: int, subdevice: int, channels: Sequence[int], rate_hz: float, scans: int, *,
            range: Ranges = 0, raw: bool = False) -> Samples:
    """A finite acquisition: `scans` scans of the channels at rate_hz scans
    per second, shape (scans, len(channels)), float64 in each range's unit
    (int32 counts with raw=True). Works out the tick counts, the trigger
    set-up, the conversion clock and each channel's range; ValueError names
    the argument the subdevice cannot take. Ctrl-C stops the stream and
    raises KeyboardInterrupt."""
    with InputStream(device, subdevice, channels, rate_hz, range=range, raw=raw,
                     scans=scans) as stream:
        samples = stream.read(scans)
    if len(samples) < scans:
        raise RuntimeError(f"the acquisition ended after {len(samples)} of {scans} scans")
    return samples


class OutputStream(_Stream):
    """Analog output of a waveform from a with block:

        with tarvex.OutputStream(0, 1, [0], 50_000, volts) as output:
            ...                      # runs while the block does
        # leaving the block waits until every value is out

    The waveform has shape (scans, channels), or (scans,) for one channel,
    in each range's unit (raw counts with raw=True). It is preloaded, the
    stream started, and what did not fit is fed while wait() runs (and on
    leaving the block, which waits for the end). With `scans` given the
    waveform is an iterable of such blocks holding that many scans in all,
    fetched as the board takes them. With repeat=True it is one period that
    the board repeats until the block ends. rate_hz is the rate the board
    makes; a rate, channel or range the subdevice cannot take raises
    ValueError naming the argument."""

    def __init__(self, device: int, subdevice: int, channels: Sequence[int], rate_hz: float,
                 waveform: Union[npt.ArrayLike, Iterable[npt.ArrayLike]], *,
                 scans: Optional[int] = None, repeat: bool = False, range: Ranges = 0,
                 raw: bool = False) -> None:
        super().__init__(_Setup(device, subdevice, channels, rate_hz, range, SubdeviceType.AO))
        count = len(self._setup.channels)
        self._repeat = repeat
        if scans is None:
            whole = self._setup.to_digital(cast(npt.ArrayLike, waveform), raw)
            self._blocks: Iterator[npt.NDArray[np.int32]] = iter([whole])
            self._values = len(whole)
        elif repeat:
            raise ValueError("scans: a repeated waveform is one period, given as one array")
        else:
            if scans <= 0:
                raise ValueError(f"scans: {scans} is not a positive number of scans")
            self._blocks = (self._setup.to_digital(block, raw)
                            for block in cast(Iterable[npt.ArrayLike], waveform))
            self._values = scans * count
        if not self._values:
            raise ValueError("waveform: no values to put out")
        self._pending = np.empty(0, np.int32)  # fetched, not yet taken by the board
        self._handed = 0  # values fetched from the waveform

    def _configure(self) -> None:
        # A finite waveform ends at its stop count (the board runs dry
        # otherwise); a repeated one runs until stopped.
        if self._repeat:
            self._config(0, StreamConfigFlag.WRAPAROUND)
        else:
            self._config(self._values, kaDriver.KA_IO_STREAM_CONFIG_NO_FLAGS)
        self._feed(WriteMode.PRELOAD)
        if self._repeat and len(self._pending):
            raise ValueError(f"waveform: a period of {self._values} values does not fit the "
                             f"buffer of {self._values - len(self._pending)} values")

    def _feed(self, mode: WriteMode) -> bool:
        """Hands the board what it takes; True once every value is handed over."""
        setup = self._setup
        while True:
            if not len(self._pending):
                if self._handed == self._values:
                    return True
                block = next(self._blocks, None)
                count = len(setup.channels)
                if block is None:
                    raise ValueError(f"waveform: the blocks ended after {self._handed // count} "
                                     f"of {self._values // count} scans")
                self._handed += len(block)
                if self._handed > self._values:
                    raise ValueError(f"waveform: the blocks hold more than "
                                     f"{self._values // count} scans")
                self._pending = block
            offered = self._pending[:_OFFER]
            rest = kaDriver.kaIOStreamWrite(setup.device, setup.subdevice, mode, offered,
                                            kaDriver.KA_IO_STREAM_WRITE_NO_FLAGS)
            self._pending = self._pending[len(offered) - len(rest):]
            if len(rest):
                return False  # the buffer is full

    def wait(self, timeout: Optional[float] = None) -> bool:
        """Feeds the board and waits until the waveform is out: True then,
        False when timeout (seconds; None: no limit) passed first, as it
        always does for a repeated waveform."""
        setup, count = self._setup, len(self._setup.channels)
        ends = deadline(timeout)
        while True:
            handed = self._repeat or self._feed(WriteMode.NONBLOCKING)
            status, buffered = self._status()
            if status == StreamStatus.ERROR:
                # The library tells what went wrong at the next write.
                kaDriver.kaIOStreamWrite(setup.device, setup.subdevice, WriteMode.NONBLOCKING,
                                         self._pending[:0], kaDriver.KA_IO_STREAM_WRITE_NO_FLAGS)
                raise RuntimeError(f"the output of subdevice {setup.subdevice} of device "
                                   f"{setup.device} reports an error")
            if status != StreamStatus.BUSY:
                return True
            left = ends - time.monotonic()
            if left <= 0:
                return False
            # Back well before the buffered values run out.
            pause(left if handed else min(left, buffered / (self.rate_hz * count) / 4))

    def __exit__(self, kind: Optional[Type[BaseException]], fault: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        try:
            if fault is None and not self._repeat:
                self.wait()
        except BaseException as failure:
            self._stop(failure)
            raise
        self._stop(fault)
