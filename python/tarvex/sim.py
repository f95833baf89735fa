"""The simulated driver library's test-control API (sim/ka_sim.h), for tests
of programs that use kaDriver: faults on demand, replaced results, what the
library was given, fast streams, locks held by another program.

    from tarvex.sim import Sim

    sim = Sim()                    # the library instance kaDriver uses
    sim.reset()                    # closed, no locks, no settings, the start system
    sim.fail("kaIOSingle", sim.code("TIMEOUT"))   # the next kaIOSingle fails with 20
    sim.fast_streams()             # streams run as fast as they are read or written
    sim.clock("stepped"); sim.advance(0.1)   # time stands still, then moves 100 ms on

Operations are named by their exported name ("kaIOSingle"). Settings hold
until reset(). With a maker's library, which has no such API, Sim() raises
RuntimeError.
"""

from __future__ import annotations

import ctypes
from typing import List, Optional, Union

from .library import driver_library, library_path
from .results import result

# Room for the arguments of any operation (kaUtilityPWMStart has eight).
_MAX_ARGS = 16
# The clock's sources, in the library's order.
_CLOCKS = ("real", "fast", "stepped")


class Sim:
    """A handle on the simulated library that kaDriver is linked against."""

    def __init__(self) -> None:
        self.path = library_path()
        self.lib = driver_library()
        if not hasattr(self.lib, "kaSimReset"):
            raise RuntimeError(f"{self.path} is not the simulated driver library")
        self.lib.kaSimOverride.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_double]
        self.lib.kaSimAdvanceClock.argtypes = [ctypes.c_double]
        self.lib.kaSimCapturedAddress.restype = ctypes.c_ulonglong

    def reset(self) -> None:
        """Back to the state right after loading: closed, no locks, no
        settings, the system the library started with."""
        self.lib.kaSimReset()

    def code(self, name: str) -> int:
        """The code of a result name ("NOT_OPEN" is 1); KeyError for a name
        the library does not have."""
        code: int = self.lib.kaSimResultCode(name.encode())
        if code < 0:
            raise KeyError(name)
        return code

    def load_system(self, json_text: str) -> None:
        """Replaces the system with one in the system file format, given as
        text; ValueError with the library's reason (the place and the fault)
        if it refuses it. reset() goes back to the start system."""
        code = self.lib.kaSimLoadSystem(json_text.encode())
        if code != 0:
            raise ValueError(result(code).text or "the simulated library refused the system")

    def clock(self, source: str) -> None:
        """Runs the library's clock, which streams, timed interrupts, counters
        and input signals follow, from another source: "real" time (as at
        load), "fast" (real time moved on at once wherever a call would wait
        for it) or "stepped" (stands still until advance() moves it). The
        time it shows goes on from where it is; time-outs stay in real time."""
        if source not in _CLOCKS:
            raise ValueError(f"clock source {source!r} is not one of {', '.join(_CLOCKS)}")
        self.lib.kaSimClock(_CLOCKS.index(source))

    def fast_streams(self, fast: bool = True) -> None:
        """Streams run as fast as they are read or written, with the values
        real time would give: clock("fast"), or clock("real") for False."""
        self.clock("fast" if fast else "real")

    def advance(self, seconds: float) -> None:
        """Moves a stepped or fast clock on; calls waiting for what comes with
        time look again. ValueError in real time or for a negative step."""
        if self.lib.kaSimAdvanceClock(float(seconds)) != 0:
            raise ValueError(f"the clock cannot be moved on by {seconds} s now")

    def fail(self, operation: str, code: int, times: int = 1) -> None:
        """The operation fails with the code on its next `times` calls (-1:
        always, 0: no more); a failing call does nothing else."""
        self.lib.kaSimFail(operation.encode(), code, times)

    def override(self, operation: str, slot: int, value: float) -> None:
        """Out-value `slot` (from 0, in argument order) becomes `value`
        whenever the operation succeeds; an integer slot takes the low 32
        bits, so raw words such as 4294967295 can be given. Record operations
        apply it to that field of every record."""
        self.lib.kaSimOverride(operation.encode(), slot, float(value))

    def override_text(self, operation: str, text: Union[str, bytes]) -> None:
        """The text the operation writes becomes `text` (a str is encoded as
        Latin-1), cut to the capacity the caller gives."""
        raw = text.encode("latin-1") if isinstance(text, str) else text
        self.lib.kaSimOverrideText(operation.encode(), raw)

    def calls(self, operation: str) -> int:
        """How often the operation was called since the last reset."""
        count: int = self.lib.kaSimCallCount(operation.encode())
        return count

    def args(self, operation: str) -> List[Union[int, float]]:
        """The scalar arguments of the operation's last call, in argument
        order (texts and pointers left out); whole numbers as ints."""
        values = (ctypes.c_double * _MAX_ARGS)()
        count = self.lib.kaSimCapturedArgs(operation.encode(), values, _MAX_ARGS)
        return [int(value) if float(value).is_integer() else value for value in values[:count]]

    def text(self, operation: str) -> str:
        """The text argument (host, file) of the operation's last call; empty
        when there was none."""
        buffer = ctypes.create_string_buffer(1024)
        self.lib.kaSimCapturedText(operation.encode(), buffer, 1024)
        return buffer.value.decode("latin-1")

    def captured_bytes(self, operation: str, index: int = 0) -> Optional[bytes]:
        """The bytes of array argument `index` of the last call as the library
        received them (the packed records, the samples), or None."""
        size = self.lib.kaSimCapturedBytes(operation.encode(), index, None, 0)
        if size < 0:
            return None
        buffer = ctypes.create_string_buffer(max(size, 1))
        self.lib.kaSimCapturedBytes(operation.encode(), index, buffer, size)
        return buffer.raw[:size]

    def captured_address(self, operation: str, index: int = 0) -> int:
        """The address of array argument `index` of the last call (0 if none):
        whether the library got the caller's own memory."""
        address: int = self.lib.kaSimCapturedAddress(operation.encode(), index)
        return address

    def foreign_lock(self, device: int, subdevice: int, locked: bool = True) -> None:
        """A lock held by another owner, as a second program would hold it;
        device -1 means the driver, subdevice -1 the whole device."""
        self.lib.kaSimForeignLock(device, subdevice, int(locked))

    def lock_state(self, device: int, subdevice: int) -> int:
        """0: not locked, 1: locked by this program, 2: by another owner."""
        state: int = self.lib.kaSimLockState(device, subdevice)
        return state

    def wiring(self, device: int, subdevice: int, channel: int = 0) -> Optional[str]:
        """What an input sees: the signal of an analog input channel ("sine:
        amplitude 5, frequency 50 Hz, offset 0", "loopback: device 0,
        subdevice 1, channel 0", ...) or the port a digital input reads
        ("lines: device 0, subdevice 2"); None when it sees nothing
        simulated. ValueError for an input the system lacks."""
        buffer = ctypes.create_string_buffer(256)
        size = self.lib.kaSimWiring(device, subdevice, channel, buffer, 256)
        if size < 0:
            raise ValueError(f"no input {device}/{subdevice} channel {channel} in the system")
        return buffer.value.decode("latin-1") if size else None
