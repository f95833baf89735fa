"""tarvex-scope: a live view of analog inputs, to see whether a signal
arrives where it was wired before any program is written.

    tarvex-scope                               # the first streaming analog input, channels 0-3
    tarvex-scope --channels 0,1 --rate 10000 --window 0.5
    tarvex-scope --png view.png --seconds 0.5  # no display: the view after 0.5 s, as a picture

The window shows the last --window seconds of each channel in its range's
unit, redrawn about ten times a second; the space bar pauses and resumes the
drawing, while the stream goes on being read so that nothing overruns.
Closing the window, Ctrl-C or a termination request stops the stream. Exit
status: 0 done, 130 after Ctrl-C, 143 after a termination request, 1 a driver
call failed (an overrun among them), 2 a usage error (an argument the board
cannot take, no display).
"""

from __future__ import annotations

import argparse
import math
import signal
import sys
import time
from typing import Any, Dict, List, Optional, Sequence, Tuple

import numpy as np
import numpy.typing as npt
from matplotlib.backends.backend_agg import FigureCanvasAgg  # type: ignore[import]
from matplotlib.figure import Figure  # type: ignore[import]

import kaDriver as K

from . import opened
from .convert import RangeInfo
from .families import PlugState, SubdeviceSubtype, SubdeviceType, Unit
from .results import result
from .streams import InputStream

# The drawing's period in seconds; the stream is read at the same pace.
FRAME = 0.1
# The units of ranges: (quantity, symbol).
UNITS: Dict[int, Tuple[str, str]] = {Unit.VOLT: ("voltage", "V"), Unit.AMPERE: ("current", "A")}


def index_list(text: str) -> List[int]:
    """An argparse type: "0,1,3" as [0, 1, 3]."""
    try:
        return [int(part) for part in text.split(",")]
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a comma-separated list of numbers")


def positive(text: str) -> float:
    """An argparse type: a positive, finite number."""
    try:
        number = float(text)
    except ValueError:
        number = math.nan
    if not (math.isfinite(number) and number > 0):
        raise argparse.ArgumentTypeError(f"{text!r} is not a positive number")
    return number


def parser() -> argparse.ArgumentParser:
    command = argparse.ArgumentParser(
        prog="tarvex-scope",
        description="Shows the analog input channels of a board live, in their ranges' units: "
                    "the last seconds of each, redrawn about ten times a second. The space bar "
                    "pauses and resumes the drawing; closing the window or Ctrl-C ends it.",
        epilog="Exit status: 0 done, 130 after Ctrl-C, 143 after a termination request, 1 a "
               "driver call failed (an overrun among them), 2 a usage error.")
    command.add_argument("--device", type=int, metavar="N",
                         help="the board (default: the first plugged-in board with a streaming "
                              "analog input)")
    command.add_argument("--subdevice", type=int, metavar="N",
                         help="its streaming analog input subdevice (default: the board's first)")
    command.add_argument("--channels", type=index_list, metavar="LIST",
                         help="channels in scan order, as 0,1,3 (default: the first up to four)")
    command.add_argument("--rate", type=float, default=1000.0, metavar="HZ",
                         help="scans per second, which is values per second of each channel "
                              "(default: 1000)")
    command.add_argument("--range", type=index_list, default=[0], metavar="LIST",
                         help="a range index for every channel, or one per channel as 0,4 "
                              "(default: 0; tarvex-list lists the ranges)")
    command.add_argument("--window", type=positive, default=2.0, metavar="S",
                         help="seconds shown (default: 2)")
    command.add_argument("--png", metavar="FILE",
                         help="write the view after --seconds seconds to FILE as PNG instead "
                              "of opening a window; needs no display")
    command.add_argument("--seconds", type=positive, metavar="S",
                         help="with --png: seconds to acquire (default: the window's); the "
                              "picture shows the last --window of them")
    return command


def choose_input(device: Optional[int], subdevice: Optional[int]) -> Tuple[int, int]:
    """The board and the streaming analog input to show, the defaults filled
    in; ValueError naming the argument that does not fit."""
    devices = K.kaQueryNumberDevices()
    if device is None:
        device = next((board for board in range(devices)
                       if plugged_in(board) and streaming_inputs(board)), None)
        if device is None:
            raise ValueError("device: no plugged-in board has a streaming analog input")
    elif not 0 <= device < devices:
        raise ValueError(f"device: {device} is not one of 0 to {devices - 1}")
    elif not plugged_in(device):
        raise ValueError(f"device: {device} ({K.kaQueryNameDevice(device)}) is not plugged in")
    if subdevice is None:
        found = streaming_inputs(device)
        if not found:
            raise ValueError(f"subdevice: device {device} ({K.kaQueryNameDevice(device)}) has "
                             f"no streaming analog input")
        return device, found[0]
    subdevices = K.kaQueryNumberSubdevices(device)
    if not 0 <= subdevice < subdevices:
        raise ValueError(f"subdevice: {subdevice} is not one of 0 to {subdevices - 1}")
    kind, subtype = K.kaQuerySubdeviceType(device, subdevice)
    if (kind, subtype) != (SubdeviceType.AI, SubdeviceSubtype.STREAMING):
        raise ValueError(f"subdevice: {subdevice} of device {device} is "
                         f"{SubdeviceType.name_of(kind)} {SubdeviceSubtype.name_of(subtype)}, "
                         f"not a streaming analog input")
    return device, subdevice


def plugged_in(device: int) -> bool:
    return K.kaQueryInfoDevice(device)[7] == PlugState.IN


def streaming_inputs(device: int) -> List[int]:
    return [subdevice for subdevice in range(K.kaQueryNumberSubdevices(device))
            if K.kaQuerySubdeviceType(device, subdevice)
            == (SubdeviceType.AI, SubdeviceSubtype.STREAMING)]


def unit_of(info: RangeInfo) -> Tuple[str, str]:
    """(quantity, symbol) of a range's unit; a unit without a symbol here
    goes by its constant's name."""
    return UNITS.get(info[0], ("value", Unit.name_of(info[0])))


def range_text(info: RangeInfo) -> str:
    return f"{info[1]:.3g} .. {info[2]:.3g} {unit_of(info)[1]}"


class View:
    """The figure: the last `window` seconds of each channel, the latest
    scan at time 0 on the right, on a value axis over the channels' ranges.
    The axes stay put, so that a window redraws only the traces. Scans are
    kept as they come (also while paused); the traces show each pixel
    column's lowest and highest value, so that drawing costs the same at
    any rate and no peak falls between the points drawn."""

    def __init__(self, figure: Figure, title: str, labels: Sequence[str],
                 ranges: Sequence[RangeInfo], rate_hz: float, window: float) -> None:
        self.figure, self.rate_hz = figure, rate_hz
        self.capacity = max(2, round(window * rate_hz))  # scans shown
        self.history = np.zeros((self.capacity, len(labels)))
        self.total = 0  # scans since the start
        self.paused = False
        self.title = title
        self.axes = figure.add_subplot()
        self.lines = [self.axes.plot([], [], label=label, linewidth=1)[0] for label in labels]
        units = sorted({unit_of(info) for info in ranges})
        self.axes.set_ylabel(", ".join(f"{quantity} ({symbol})" for quantity, symbol in units))
        self.axes.set_xlabel("time before the latest scan (s)")
        self.axes.set_xlim(-self.capacity / rate_hz, 0)
        self.axes.set_ylim(min(info[1] for info in ranges), max(info[2] for info in ranges))
        self.axes.grid(True, alpha=0.3)
        self.axes.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), borderaxespad=0)
        self.axes.set_title(title)

    def add(self, scans: npt.NDArray[np.float64]) -> None:
        count = len(scans)
        if count >= self.capacity:
            self.history[:] = scans[-self.capacity:]
        elif count:
            self.history[:-count] = self.history[count:]
            self.history[-count:] = scans
        self.total += count

    def update(self) -> None:
        """Hands the traces the scans now in the window; the caller draws."""
        columns = max(1, int(self.axes.bbox.width))
        step = max(1, self.capacity // columns)  # scans per pixel column
        # Columns start at whole steps from the start, so that they stay put
        # as the view scrolls and a steady signal does not shimmer.
        first = -(-max(0, self.total - self.capacity) // step) * step
        count = (self.total - first) // step
        shown = self.history[self.capacity - (self.total - first):][:count * step]
        if step == 1:
            times = (first + np.arange(count) - self.total + 1) / self.rate_hz
            values = shown
        else:
            buckets = shown.reshape(count, step, shown.shape[1])
            values = np.empty((2 * count, shown.shape[1]))
            values[0::2], values[1::2] = buckets.min(axis=1), buckets.max(axis=1)
            centres = first + (np.arange(count) + 0.5) * step - self.total + 1
            times = np.repeat(centres / self.rate_hz, 2)
        for line, column in zip(self.lines, values.T):
            line.set_data(times, column)

    def toggle_pause(self) -> None:
        self.paused = not self.paused
        self.axes.set_title(f"{self.title} (paused: space resumes)" if self.paused
                            else self.title)


def make_view(device: int, subdevice: int, channels: Sequence[int], ranges: Sequence[int],
              rate_hz: float, window: float) -> View:
    """The view of a checked stream set-up, in a figure not yet on a canvas."""
    infos = [K.kaQueryRangeInfo(device, subdevice, index) for index in ranges]
    if len(set(ranges)) == 1:
        where = f"range {ranges[0]}: {range_text(infos[0])}"
        labels = [f"channel {channel}" for channel in channels]
    else:
        where = "ranges per channel"
        labels = [f"channel {channel}, range {index}: {range_text(info)}"
                  for channel, index, info in zip(channels, ranges, infos)]
    title = (f"{K.kaQueryNameDevice(device)} (device {device}), subdevice {subdevice}, "
             f"{where}, {rate_hz:,.6g} scans/s")
    return View(Figure(figsize=(9, 5), layout="constrained"), title, labels, infos, rate_hz,
                window)


class Window:
    """The view in a Tk window, fed by a Tk timer that reads what the board
    holds without waiting and redraws the traces: Tk's event loop runs in
    between, so the window answers at once and Ctrl-C is seen within a
    frame."""

    def __init__(self, view: View, stream: InputStream) -> None:
        # Imported here: a picture (--png) needs neither Tk nor a display.
        try:
            import tkinter
            from matplotlib.backends.backend_tkagg import (  # type: ignore[import]
                FigureCanvasTkAgg, NavigationToolbar2Tk)
        except ImportError as fault:
            raise ValueError(f"display: the window needs Tk for Python (Debian: python3-tk): "
                             f"{fault}; --png FILE makes a picture without it") from fault
        try:
            self.root = tkinter.Tk(className="tarvex-scope")
        except tkinter.TclError as fault:
            raise ValueError(f"display: {fault}; --png FILE makes a picture without "
                             f"one") from fault
        self.root.title("tarvex-scope")
        self.view, self.stream = view, stream
        self.canvas = FigureCanvasTkAgg(view.figure, master=self.root)
        NavigationToolbar2Tk(self.canvas, self.root)
        self.canvas.get_tk_widget().pack(fill=tkinter.BOTH, expand=True)
        self.root.bind("<space>", lambda event: self.toggle_pause())
        self.root.protocol("WM_DELETE_WINDOW", self.root.quit)
        # Tk reports an exception of a callback and goes on; here it ends the
        # window and is raised from run().
        self.fault: Optional[BaseException] = None
        self.root.report_callback_exception = self.stop_on
        # A frame draws the traces over a copy of the rest, taken at each full
        # draw (the first, after a resize, the toolbar's, at a pause).
        for line in view.lines:
            line.set_animated(True)  # after the legend took their looks
        self.background: Any = None
        self.canvas.mpl_connect("draw_event", self.on_full_draw)
        self.canvas.mpl_connect("resize_event", self.on_resize)
        self.due = 0.0

    def run(self) -> None:
        """Shows the window until it is closed; raises what ended it
        otherwise: KeyboardInterrupt at Ctrl-C, kaDriver.error at an overrun."""
        try:
            self.due = time.monotonic()
            self.tick()
            self.root.mainloop()
        finally:
            self.root.destroy()
        if self.fault is not None:
            raise self.fault

    def stop_on(self, kind: Any, fault: BaseException, traceback: Any) -> None:
        self.fault = fault
        self.root.quit()

    def tick(self) -> None:
        # Every whole scan there is, or the stream would overrun while paused.
        while True:
            scans = self.stream.read(self.view.capacity, timeout=0)
            self.view.add(scans)
            if len(scans) < self.view.capacity:
                break
        if not self.view.paused:
            self.redraw()
        now = time.monotonic()
        self.due = max(self.due + FRAME, now)
        # After a late frame the event loop still gets a slice.
        self.root.after(round(max(self.due - now, FRAME / 5) * 1000), self.tick)

    def redraw(self) -> None:
        self.view.update()
        if self.background is None:
            self.canvas.draw()
            return
        self.canvas.restore_region(self.background)
        self.draw_traces()
        self.canvas.blit(self.view.axes.bbox)

    def draw_traces(self) -> None:
        for line in self.view.lines:
            self.view.axes.draw_artist(line)

    def on_full_draw(self, event: Any) -> None:
        self.background = self.canvas.copy_from_bbox(self.view.axes.bbox)
        self.draw_traces()

    def on_resize(self, event: Any) -> None:
        self.background = None

    def toggle_pause(self) -> None:
        self.view.toggle_pause()
        self.canvas.draw()


def set_up(options: argparse.Namespace) -> Tuple[InputStream, View]:
    """The stream (not started yet) and its view; ValueError names the
    argument the board cannot take."""
    device, subdevice = choose_input(options.device, options.subdevice)
    channels = options.channels
    if channels is None:
        channels = list(range(min(4, K.kaQueryNumberChannels(device, subdevice))))
    ranges = options.range * len(channels) if len(options.range) == 1 else options.range
    stream = InputStream(device, subdevice, channels, options.rate, range=ranges)
    window = options.window if options.png is None else min(options.window, options.seconds)
    return stream, make_view(device, subdevice, channels, ranges, stream.rate_hz, window)


def show(options: argparse.Namespace) -> int:
    try:
        stream, view = set_up(options)
        window = None if options.png else Window(view, stream)
    except ValueError as fault:
        print(f"tarvex-scope: {fault}", file=sys.stderr)
        return 2
    with stream:
        if window is not None:
            window.run()
            return 0
        view.add(stream.read(math.ceil(options.seconds * stream.rate_hz)))
    view.update()
    try:
        FigureCanvasAgg(view.figure).print_png(options.png)
    except OSError as fault:
        print(f"tarvex-scope: {fault}", file=sys.stderr)
        return 1
    return 0


def _terminate(signum: int, frame: Any) -> None:
    """A termination request ends the scope as Ctrl-C does: the stream
    stops and the library closes on the way out."""
    raise SystemExit(128 + signum)


def main(argv: Optional[List[str]] = None) -> int:
    signal.signal(signal.SIGTERM, _terminate)
    command = parser()
    options = command.parse_args(argv)
    if options.png is None and options.seconds is not None:
        command.error("--seconds goes with --png")
    if options.png is not None and options.seconds is None:
        options.seconds = options.window
    try:
        with opened():
            return show(options)
    except K.error as fault:
        print(f"tarvex-scope: error {result(fault.args[0])}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130


if __name__ == "__main__":
    sys.exit(main())
