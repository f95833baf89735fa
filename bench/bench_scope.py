#!/usr/bin/env python3
"""tarvex-scope keeping up: its window shows 4 channels of 25 kHz (100,000
values a second) of the simulated board in real time for 10 s. Prints the
processor share of the drawing (the traces' update and drawing), of each
frame as a whole (the stream's reading too) and of the whole process (the
simulated board making the values included), the frames drawn, and whether
the stream ever overran (the scope then ends with the library's error 27).
Needs a display; without one it runs itself under xvfb-run."""

import os
import shutil
import signal
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.environ.get("KADRIVER_PATH", os.path.join(ROOT, "build", "linux", "python")))

from tarvex import scope  # noqa: E402

SECONDS = 10.0
CHANNELS, RATE_HZ = 4, 25_000


def measure():
    """(the scope's exit status, its frames drawn, and the seconds of wall
    and processor time spent), from its first frame to its end."""
    spent = {"redraw": 0.0, "tick": 0.0}
    calls = dict.fromkeys(spent, 0)

    def timed(name):
        method = getattr(scope.Window, name)

        def call(window):
            began = time.thread_time()
            method(window)
            spent[name] += time.thread_time() - began
            calls[name] += 1
        setattr(scope.Window, name, call)

    timed("redraw")
    timed("tick")
    run = scope.Window.run

    def measured_run(window):
        # From the first frame on: the imports and the window's making are not the scope's pace.
        ctrl_c = threading.Timer(SECONDS, os.kill, (os.getpid(), signal.SIGINT))
        ctrl_c.start()
        wall, processor = time.monotonic(), time.process_time()
        try:
            run(window)
        finally:
            ctrl_c.cancel()  # when an overrun came first
            spent["wall"] = time.monotonic() - wall
            spent["process"] = time.process_time() - processor

    scope.Window.run = measured_run
    # The SIGINT ends the scope with 130; an overrun ends it earlier with 1.
    status = scope.main(["--channels", ",".join(map(str, range(CHANNELS))),
                         "--rate", str(RATE_HZ)])
    return status, calls["redraw"], spent


def main():
    if not os.environ.get("DISPLAY"):
        if not shutil.which("xvfb-run"):
            sys.exit("bench_scope: needs a display, or xvfb-run (scripts/setup.sh installs it)")
        os.execvp("xvfb-run", ["xvfb-run", "--auto-servernum", sys.executable, *sys.argv])
    status, frames, spent = measure()
    wall = spent["wall"]
    share = lambda seconds: f"{100 * seconds / wall:5.1f}% of one core"  # noqa: E731
    print(f"tarvex-scope, {CHANNELS} channels x {RATE_HZ:,} Hz ({CHANNELS * RATE_HZ:,} values "
          f"a second) for {wall:.1f} s, a {scope.parser().get_default('window'):g} s window:")
    print(f"  frames drawn           {frames} ({frames / wall:.1f} a second)")
    print(f"  drawing                {share(spent['redraw'])}")
    print(f"  reading and drawing    {share(spent['tick'])}")
    print(f"  whole process          {share(spent['process'])} (the simulated board included)")
    print(f"  overrun                "
          f"{'never' if status == 130 else f'the scope ended early with status {status}'}")
    return 0 if status == 130 else 1


if __name__ == "__main__":
    sys.exit(main())
