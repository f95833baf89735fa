"""Names, typed records and helpers around kaDriver, the Tarvex driver
library's Python module.

- Families of the driver's constants as IntEnum and IntFlag classes
  (SubdeviceType, Unit, StartMode, AiCaps, ...): tarvex.families.
- Record constructors that fill every key kaDriver reads, with their typed
  dictionaries: single_entry, channel_entry, trigger_setup, start_entry,
  stop_entry (tarvex.entries).
- result(code): the name and the library's text of a result code.
- to_physical, to_digital: whole numpy arrays through a range.
- opened(): the library opened for a with block.
- tarvex.sim: the simulated library's test-control API, for tests.
"""

from __future__ import annotations

from contextlib import contextmanager
from typing import Iterator

import kaDriver

# "name as name" marks a re-export for type checkers; the families come
# with their module's __all__.
from .convert import to_digital as to_digital, to_physical as to_physical
from .entries import (ChannelEntry as ChannelEntry, SingleEntry as SingleEntry,
                      StartEntry as StartEntry, StopEntry as StopEntry,
                      TriggerSetup as TriggerSetup, channel_entry as channel_entry,
                      single_entry as single_entry, start_entry as start_entry,
                      stop_entry as stop_entry, trigger_setup as trigger_setup)
from .families import *  # noqa: F401,F403
from .results import Result as Result, result as result


@contextmanager
def opened(flags: int = kaDriver.KA_OPEN_NO_FLAGS) -> Iterator[None]:
    """kaOpen on entry, kaClose on leaving, also when the block raises."""
    kaDriver.kaOpen(flags)
    try:
        yield
    finally:
        kaDriver.kaClose(kaDriver.KA_CLOSE_NO_FLAGS)
