"""Measuring with kaDriver, the Tarvex driver library's Python module, in a
few lines; and names, typed records and conversions around it.

- acquire(device, subdevice, channels, rate_hz, scans): a finite
  acquisition, shape (scans, channels), in the ranges' units.
- InputStream, OutputStream: continuous input in blocks of whole scans, and
  output of a waveform (fed from an array or an iterable, or one period
  repeated), as context managers that start and stop their stream.
- Interrupt, wait_irq, wait_idle: interrupt and stream waits.
- check(entries): raises EntryError for the first failed entry of a batch.

The waits of all of these run in short slices: Ctrl-C ends them at once,
stopping what they started, and other threads run meanwhile (kaDriver's own
blocking calls hold the interpreter's lock; see tarvex.waits).

- Families of the driver's constants as IntEnum and IntFlag classes
  (SubdeviceType, Unit, StartMode, AiCaps, ...): tarvex.families.
- Record constructors that fill every key kaDriver reads, with their typed
  dictionaries: single_entry, channel_entry, trigger_setup, start_entry,
  stop_entry (tarvex.entries).
- result(code): the name and the library's text of a result code.
- to_physical, to_digital: whole numpy arrays through a range.
- opened(): the library opened for a with block.
- tarvex.sim: the simulated library's test-control API, for tests;
  tarvex-list (tarvex.listing): the system as the library sees it;
  tarvex-scope (tarvex.scope): a live view of analog inputs.
"""

from __future__ import annotations

from contextlib import contextmanager
from typing import Iterator

import kaDriver

# "name as name" marks a re-export for type checkers.
from .batches import EntryError as EntryError, check as check
from .convert import to_digital as to_digital, to_physical as to_physical
from .entries import (ChannelEntry as ChannelEntry, SingleEntry as SingleEntry,
                      StartEntry as StartEntry, StopEntry as StopEntry,
                      TriggerSetup as TriggerSetup, channel_entry as channel_entry,
                      single_entry as single_entry, start_entry as start_entry,
                      stop_entry as stop_entry, trigger_setup as trigger_setup)
from . import families
from .families import *  # noqa: F401,F403
from .results import Result as Result, result as result
from .streams import (InputStream as InputStream, OutputStream as OutputStream,
                      acquire as acquire)
from .waits import Interrupt as Interrupt, wait_idle as wait_idle, wait_irq as wait_irq

__version__ = "1.0.0"

__all__ = [
    "acquire", "InputStream", "OutputStream", "Interrupt", "wait_irq", "wait_idle", "check",
    "EntryError", "result", "Result", "to_physical", "to_digital", "opened",
    "single_entry", "channel_entry", "trigger_setup", "start_entry", "stop_entry",
    "SingleEntry", "ChannelEntry", "TriggerSetup", "StartEntry", "StopEntry",
]
__all__ += families.__all__


@contextmanager
def opened(flags: int = kaDriver.KA_OPEN_NO_FLAGS) -> Iterator[None]:
    """kaOpen on entry, kaClose on leaving, also when the block raises."""
    kaDriver.kaOpen(flags)
    try:
        yield
    finally:
        kaDriver.kaClose(kaDriver.KA_CLOSE_NO_FLAGS)
