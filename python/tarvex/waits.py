"""Waits that Ctrl-C ends and that let other threads run.

kaDriver holds the interpreter's lock through every driver call, so one
blocking call (an interrupt wait without time-out, a blocking read) stalls
every thread and cannot be interrupted until the driver returns. These
waits never make such a call: they poll (non-blocking reads and writes,
status queries) and sleep up to SLEEP_SLICE between polls, which releases
the lock and lets a signal through at once; an interrupt wait waits inside
the driver in slices of CALL_SLICE.
"""

from __future__ import annotations

import math
import time
from types import TracebackType
from typing import Optional, Tuple, Type, Union

import kaDriver

from .entries import NotUsed
from .families import IrqEdge, IrqSource, StreamStatus, WaitMode
from .results import result

# The longest a helper sleeps between two looks at the driver, and the
# longest it waits inside one driver call, which holds the interpreter's
# lock all the while, in seconds.
SLEEP_SLICE = 0.02
CALL_SLICE = 0.005


def deadline(timeout: Optional[float]) -> float:
    """The monotonic time a wait of `timeout` seconds ends (None: never)."""
    return math.inf if timeout is None else time.monotonic() + timeout


def pause(seconds: float) -> None:
    """Sleeps up to one slice: other threads run, and Ctrl-C ends it at once."""
    time.sleep(min(max(seconds, 0.0), SLEEP_SLICE))


def wait_irq(device: int, subdevice: int, channel: int,
             timeout: Optional[float] = None) -> Tuple[int, int]:
    """kaIOIrqWait on an armed channel, in slices: answers (interrupts since
    the start, the value at the last one) at once when interrupts came since
    the last wait, else at the next one. timeout in seconds (None: no
    limit); when it passes, the library's time-out error is raised."""
    ends = deadline(timeout)
    while True:
        began = time.monotonic()
        left = ends - began
        slice_ms = max(1, math.ceil(min(left, CALL_SLICE) * 1000))
        try:
            return kaDriver.kaIOIrqWait(device, subdevice, channel, slice_ms,
                                        kaDriver.KA_IO_IRQ_WAIT_NO_FLAGS)
        except kaDriver.error as fault:
            name = result(fault.args[0]).name
            # A library that names no codes (a maker's) tells its time-out
            # only by having waited the whole slice.
            timed_out = (name == "TIMEOUT" if name is not None
                         else time.monotonic() - began >= slice_ms / 1000)
            if not timed_out or left <= CALL_SLICE:
                raise


def wait_idle(device: int, subdevice: int, timeout: Optional[float] = None) -> StreamStatus:
    """Waits until the subdevice's stream no longer runs and answers its
    status: IDLE, or ERROR after an overrun or underrun; BUSY when timeout
    (seconds; None: no limit) passed first. The status polls of
    kaIOStreamStatus's KA_WAIT_IDLE, in slices."""
    ends = deadline(timeout)
    while True:
        status, _ = kaDriver.kaIOStreamStatus(device, subdevice, WaitMode.NONE,
                                              kaDriver.KA_IO_STREAM_STATUS_NO_FLAGS)
        left = ends - time.monotonic()
        if status != StreamStatus.BUSY or left <= 0:
            return StreamStatus(status)
        pause(left)


class Interrupt:
    """An interrupt armed for a with block: kaIOIrqStart on entry,
    kaIOIrqStop on leaving, also after an exception or Ctrl-C.

        with tarvex.Interrupt(0, 4, 3, source=IrqSource.DIO_LINE, edge=IrqEdge.ANY) as edges:
            count, value = edges.wait(timeout=1.0)

    source, edge, argument and flags are those of kaIOIrqStart (source 0
    for an external interrupt input)."""

    def __init__(self, device: int, subdevice: int, channel: int, *,
                 source: Union[IrqSource, NotUsed] = 0, edge: IrqEdge = IrqEdge.RISING,
                 argument: int = 0, flags: int = kaDriver.KA_IO_IRQ_START_NO_FLAGS) -> None:
        self.device, self.subdevice, self.channel = device, subdevice, channel
        self._start = (source, edge, argument, flags)

    def __enter__(self) -> Interrupt:
        kaDriver.kaIOIrqStart(self.device, self.subdevice, self.channel, *self._start)
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], fault: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        try:
            kaDriver.kaIOIrqStop(self.device, self.subdevice, self.channel,
                                 kaDriver.KA_IO_IRQ_STOP_NO_FLAGS)
        except kaDriver.error:
            if fault is None:
                raise  # else the exception on its way out is the one to see

    def wait(self, timeout: Optional[float] = None) -> Tuple[int, int]:
        """wait_irq on this interrupt: (interrupts since the start, the
        value at the last one)."""
        return wait_irq(self.device, self.subdevice, self.channel, timeout)
