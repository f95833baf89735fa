"""tarvex-scope on the simulated board: the picture it makes without a
display shows the board's signals at their levels and pace; its window
draws, holds still while paused and ends at Ctrl-C with the stream
stopped; an argument the board cannot take ends it with one line."""

import json
import os
import re
import shlex
import signal
import subprocess
import sys
import time

import numpy as np
import pytest
from matplotlib import image
from matplotlib.colors import rgb_to_hsv

from conftest import MODULE_DIR, ROOT
from tarvex import scope

with open(os.path.join(ROOT, "docs", "user-guide.md"), encoding="utf-8") as guide:
    # The command the guide's picture was made with; the test makes it again.
    PICTURE_COMMAND = re.search(r"^tarvex-scope --png docs/scope\.png .*$", guide.read(),
                                re.MULTILINE).group(0)
PICTURE_SECONDS = scope.parser().parse_args(shlex.split(PICTURE_COMMAND)[1:]).seconds
# Channels 0 and 1 in matplotlib's first two colours: a 5 V sine of 50 Hz, and
# a square wave of 10 Hz from -1 to 3 V.
BLUE, ORANGE = (0x1F, 0x77, 0xB4), (0xFF, 0x7F, 0x0E)
ENV = dict(os.environ, PYTHONPATH=MODULE_DIR, TARVEX_SIM_CONFIG="")


def pixels(picture, colour):
    """Where the picture shows the colour, also where it fades into the white."""
    hue, saturation, _ = np.moveaxis(rgb_to_hsv(picture[:, :, :3]), 2, 0)
    return (np.abs(hue - rgb_to_hsv(np.array(colour) / 255)[0]) < 0.02) & (saturation > 0.3)


def inside_axes(picture):
    """The part of a picture within the axes' dark frame, without the legend."""
    dark = (picture[:, :, :3] < 0.6).all(axis=2)
    rows = np.flatnonzero(dark.sum(axis=1) > dark.shape[1] / 2)
    columns = np.flatnonzero(dark.sum(axis=0) > dark.shape[0] / 2)
    return picture[rows[0]:rows[-1] + 1, columns[0]:columns[-1] + 1]


def levels(trace):
    """The two rows a square wave lies on most, top first."""
    counts = trace.sum(axis=1)
    first = int(np.argmax(counts))
    counts[max(0, first - 5):first + 6] = 0
    return sorted([first, int(np.argmax(counts))])


@pytest.mark.parametrize("made", ["now", "for the guide"])
def test_the_picture_shows_the_signals_at_their_levels_and_pace(tmp_path, made):
    if made == "now":
        (tmp_path / "docs").mkdir()
        env = {name: value for name, value in ENV.items() if name != "DISPLAY"}
        result = subprocess.run([sys.executable, "-m", "tarvex.scope",
                                 *shlex.split(PICTURE_COMMAND)[1:]],
                                capture_output=True, text=True, timeout=60, cwd=tmp_path,
                                env=env)
        assert result.returncode == 0, result.stderr
        folder = tmp_path
    else:
        folder = ROOT
    picture = inside_axes(image.imread(os.path.join(folder, "docs", "scope.png")))
    sine, square = pixels(picture, BLUE), pixels(picture, ORANGE)
    crest, trough = np.flatnonzero(sine.any(axis=1))[[0, -1]]
    high, low = levels(square)
    # The value axis spans range 0, -10 to 10 V.
    row = lambda volts: (10 - volts) / 20 * (len(picture) - 1)  # noqa: E731
    assert [crest, trough, high, low] == pytest.approx([row(5), row(-5), row(3), row(-1)], abs=3)
    # Between its levels the square wave shows only its edges, two a period,
    # across the whole time axis.
    middle = square[(high + low) // 2]
    edges = np.flatnonzero(middle[1:] & ~middle[:-1])
    assert abs(len(edges) - 2 * 10 * PICTURE_SECONDS) <= 1
    assert np.diff(edges).mean() == pytest.approx(picture.shape[1] / (2 * 10 * PICTURE_SECONDS),
                                                  rel=0.05)


@pytest.fixture
def display():
    """A virtual X display of its own."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp"], pass_fds=(write_end,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as displays:
        yield ":" + displays.readline().strip()
    server.terminate()
    server.wait(timeout=30)


# The scope, telling whether the stream still ran when it closed the library.
CHILD = """
import json, sys
import kaDriver as K
from tarvex import scope

running = []
close = K.kaClose

def checked_close(flags):
    running.append(K.kaIOStreamStatus(0, 0, K.KA_WAIT_NONE, 0)[0] == K.KA_STATUS_BUSY)
    close(flags)

K.kaClose = checked_close
status = scope.main(sys.argv[1:])
print(json.dumps(running))
sys.exit(status)
"""


def test_the_window_draws_pauses_and_ends_at_ctrl_c(display, tmp_path):
    env = dict(ENV, DISPLAY=display)
    child = subprocess.Popen([sys.executable, "-c", CHILD, "--rate", "10000"], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def screenshot(name):
        path = str(tmp_path / f"{name}.png")
        subprocess.run(["import", "-display", display, "-window", "root", path], check=True,
                       timeout=30)
        return image.imread(path)

    try:
        window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                                 "^tarvex-scope$"], env=env, capture_output=True, text=True,
                                check=True, timeout=60).stdout.split()[0]
        time.sleep(1)
        first = screenshot("running")
        time.sleep(1)
        second = screenshot("a second later")
        assert pixels(second, BLUE).any() and pixels(second, ORANGE).any()
        assert (first != second).any()
        subprocess.run(["xdotool", "key", "--window", window, "space"], env=env, check=True,
                       timeout=30)
        time.sleep(0.5)
        first = screenshot("paused")
        time.sleep(1)
        assert (screenshot("paused a second later") == first).all()
        began = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=30)
        assert time.monotonic() - began < 2
        assert child.returncode == 130, err
        assert json.loads(out) == [False]
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()


@pytest.mark.parametrize("args, message", [
    (["--channels", "0,16"], "channels: 16 is not one of 0 to 15"),
    (["--device", "2"], "device: 2 (USB-Kestra-4) is not plugged in"),
    (["--device", "1", "--subdevice", "0"],
     "subdevice: 0 of device 1 is KA_TYPE_AI KA_SUBTYPE_SINGLE, not a streaming analog input"),
    ([], "display: no display name and no $DISPLAY environment variable; --png FILE makes a "
         "picture without one"),
])
def test_what_the_board_cannot_take_ends_with_one_line(sim, capsys, monkeypatch, args, message):
    monkeypatch.delenv("DISPLAY", raising=False)
    assert scope.main(args) == 2
    assert capsys.readouterr().err == f"tarvex-scope: {message}\n"
    assert sim.calls("kaIOStreamStart") == 0
