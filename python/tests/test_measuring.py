"""tarvex's measuring layer: acquisitions, stream objects, waits and checked
batches, against the simulated library; Ctrl-C and other threads during
its waits."""

import json
import os
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import kaDriver
import tarvex
from catalogue import single_write
from conftest import MODULE_DIR

K = kaDriver
AI, AO = (0, 0), (0, 1)
DI, DO = (0, 4), (0, 5)  # the input port reads the output port's lines


def test_acquire_splits_channels_each_in_its_range(opened):
    opened.fast_streams()
    volts = tarvex.acquire(*AI, [0, 3], 10_000, 1_000, range=[0, 4])  # a 5 V sine; 1.25 V
    assert volts.shape == (1_000, 2) and volts.dtype == np.float64
    assert volts[:, 0].min() == pytest.approx(-5, abs=1e-3)
    assert volts[:, 0].max() == pytest.approx(5, abs=1e-3)
    assert np.allclose(volts[:, 1], 1.25, atol=1e-4)  # range 4: 0 .. 5 V
    counts = tarvex.acquire(*AI, [3], 10_000, 10, range=4, raw=True)
    assert counts.dtype == np.int32 and (counts == round(1.25 * 65535 / 4.999923706)).all()


@pytest.mark.parametrize("args, named", [
    ((AI, [0, 1], 300_000), "rate_hz"),  # 600,000 conversions a second, of at most 500,000
    ((AI, [0, 16], 1_000), "channels"),
    ((AI, [0], 1_000, 5), "range"),
    ((AO, [0], 1_000), "subdevice"),
])
def test_acquire_names_the_argument_the_subdevice_cannot_take(opened, args, named):
    (device, subdevice), channels, rate, *ranges = args
    with pytest.raises(ValueError, match=f"^{named}: "):
        tarvex.acquire(device, subdevice, channels, rate, 10, range=ranges[0] if ranges else 0)
    assert opened.calls("kaIOStreamConfig") == 0


def test_blocks_stay_whole_scans_however_the_values_arrive(opened, monkeypatch):
    """Reads that end inside a scan: the rest of the scan waits for the next block."""
    opened.fast_streams()
    delivered = iter(np.arange(10_000, dtype=np.int32))
    sizes = iter([3, 1, 5, 2] * 1_000)

    def read(device, subdevice, mode, count, flags):
        return np.array([next(delivered) for _ in range(min(count, next(sizes)))], np.int32)

    with tarvex.InputStream(*AI, [0, 1], 1_000, raw=True) as stream:
        monkeypatch.setattr(K, "kaIOStreamRead", read)
        blocks = [block for block, _ in zip(stream.blocks(3), range(5))]
    assert [block.shape for block in blocks] == [(3, 2)] * 5
    assert np.concatenate(blocks).tolist() == np.arange(30).reshape(15, 2).tolist()


def test_a_read_with_a_time_out_takes_what_is_there(opened):
    """What an event loop does: no wait at timeout=0, and an overrun still raises."""
    opened.clock("stepped")
    with tarvex.InputStream(*AI, [0, 1], 1_000, raw=True) as stream:
        opened.advance(0.0105)  # scans 0 to 10
        assert stream.read(100, timeout=0).shape == (11, 2)
        assert stream.read(100, timeout=0).shape == (0, 2)
        began = time.monotonic()
        assert stream.read(100, timeout=0.1).shape == (0, 2)
        assert time.monotonic() - began >= 0.1
        opened.advance(100)
        with pytest.raises(K.error) as raised:
            stream.read(1, timeout=0)
    assert raised.value.args[0] == opened.code("FIFO_OVERFLOW")


def test_an_overrun_raises_and_the_stream_still_stops(opened):
    with pytest.raises(K.error) as raised:
        with tarvex.InputStream(*AI, [0], 500_000) as stream:
            time.sleep(0.3)  # 500 kHz fills the 65536-value buffer in 0.13 s
            stream.read(10)
    assert raised.value.args[0] == opened.code("FIFO_OVERFLOW")
    assert K.kaIOStreamStatus(*AI, K.KA_WAIT_NONE, 0)[0] == K.KA_STATUS_IDLE


@pytest.mark.parametrize("inside, seen", [(None, tarvex.EntryError), (RuntimeError, RuntimeError)])
def test_a_failed_stop_raises_unless_another_exception_is_on_its_way(opened, inside, seen):
    opened.fast_streams()
    opened.override("kaIOStreamStop", 4, opened.code("FIFO_OVERFLOW"))  # the stop entry's Errno
    with pytest.raises(seen):
        with tarvex.InputStream(*AI, [0], 1_000):
            if inside:
                raise inside()


@pytest.mark.parametrize("block_scans, fault", [
    (5_000, None), (3_000, "the blocks ended after 15000 of 25000 scans"),
    (6_000, "the blocks hold more than 25000 scans")])
def test_output_fed_from_blocks_ends_at_its_scan_count(opened, block_scans, fault):
    opened.fast_streams()
    blocks = (np.full((block_scans, 2), volts) for volts in (-1.0, 0.0, 1.0, 2.0, 3.0))
    if fault:
        with pytest.raises(ValueError, match=f"^waveform: {fault}$"):
            with tarvex.OutputStream(*AO, [0, 1], 50_000, blocks, scans=25_000):
                pass
    else:
        with tarvex.OutputStream(*AO, [0, 1], 50_000, blocks, scans=25_000) as output:
            assert output.wait(timeout=10)
    assert K.kaIOStreamStatus(*AO, K.KA_WAIT_NONE, 0)[0] == K.KA_STATUS_IDLE


def test_a_repeated_period_must_fit_the_buffer(opened):
    with pytest.raises(ValueError, match="^waveform: a period of 70000 values does not fit the "
                                         "buffer of 65536 values$"):
        with tarvex.OutputStream(*AO, [0], 50_000, np.zeros(70_000), repeat=True):
            pass
    assert opened.calls("kaIOStreamStart") == 0


def test_an_output_stream_is_seen_through_the_loopback(opened):
    """Analog input channel 2 reads analog output channel 0 back."""
    period = 2.5 * np.sin(2 * np.pi * np.arange(50) / 50)  # 1 kHz at 50,000 values a second
    with tarvex.OutputStream(*AO, [0], 50_000, period, repeat=True):
        looped = tarvex.acquire(*AI, [2], 50_000, 5_000)[:, 0]
    spectrum = np.abs(np.fft.rfft(looped - looped.mean()))
    assert np.argmax(spectrum) * 50_000 / len(looped) == pytest.approx(1_000, abs=10)
    assert looped.max() == pytest.approx(2.5, abs=0.01)


def test_check_names_the_failed_entry(opened):
    entries = [single_write(*DO, 0, 1), dict(single_write(2, 0, 0, 0), Comment="unplugged")]
    K.kaIOSingle(entries, 0)
    with pytest.raises(K.error) as raised:
        tarvex.check(entries)
    code, text = raised.value.args
    assert (code, text) == (opened.code("DEVICE_UNPLUGGED"), "Device is not plugged in")
    assert raised.value.index == 1 and raised.value.entry is entries[1]
    assert str(raised.value) == ("entry 1 (device 2, subdevice 0, channel 0): "
                                 "13 DEVICE_UNPLUGGED: Device is not plugged in")
    tarvex.check(entries[:1])


@pytest.mark.parametrize("names", [True, False], ids=["named codes", "nameless codes"])
def test_wait_irq_waits_across_slices_until_its_time_out(opened, monkeypatch, names):
    if not names:  # as with a maker's library, which names no result codes
        monkeypatch.setattr(tarvex.waits, "result",
                            lambda code: tarvex.result(code)._replace(name=None))
    K.kaIOIrqStart(*DI, 2, K.KA_IRQ_SOURCE_DIO_LINE, K.KA_IRQ_EDGE_RISING, 0, 0)
    rise = threading.Timer(0.15, lambda: K.kaIOSingle([single_write(*DO, 0, 0x04)], 0))
    rise.start()
    assert tarvex.wait_irq(*DI, 2, timeout=2.0) == (1, 1)
    rise.join()
    began = time.monotonic()
    with pytest.raises(K.error) as raised:
        tarvex.wait_irq(*DI, 2, timeout=0.1)
    assert raised.value.args[0] == opened.code("TIMEOUT")
    assert time.monotonic() - began >= 0.1


def test_other_threads_run_during_a_read(opened):
    ticks = []
    done = threading.Event()

    def tick():
        while not done.wait(0.01):
            ticks.append(1)

    ticker = threading.Thread(target=tick)
    ticker.start()
    try:
        tarvex.acquire(*AI, [0, 1], 10_000, 10_000)  # one second
    finally:
        done.set()
        ticker.join()
    assert len(ticks) >= 50  # about 100; a read holding the lock throughout lets 1 or 2 by


# Each blocking helper, run in a child process that Ctrl-C interrupts while
# it waits; then whether a stream runs or the interrupt is still armed.
CHILD = """
import json, signal, sys, time
import numpy as np
import kaDriver as K
import tarvex
from tarvex import IrqEdge, IrqSource

def interrupted(signum, frame):
    handled.append(time.monotonic())
    raise KeyboardInterrupt

handled = []
signal.signal(signal.SIGINT, interrupted)
K.kaOpen(0)
print("ready", flush=True)
try:
    # A code object: exec of a text would mark the interrupt as unhandled at exit.
    exec(compile(sys.argv[1], "helper", "exec"))
except KeyboardInterrupt:
    ended = time.monotonic()
running = [K.kaIOStreamStatus(0, s, K.KA_WAIT_NONE, 0)[0] == K.KA_STATUS_BUSY for s in (0, 1)]
try:
    K.kaIOIrqStop(0, 4, 3, 0)
    running.append(True)
except K.error:
    pass
print(json.dumps({"handled": handled[0], "ended": ended, "running": any(running)}))
"""

BLOCKING = {
    "acquire": "tarvex.acquire(0, 0, [0, 1], 1_000, 100_000)",
    "read": "with tarvex.InputStream(0, 0, [0], 1_000) as stream: stream.read(100_000)",
    "output wait": "with tarvex.OutputStream(0, 1, [0], 1_000, np.zeros(60_000)) as out:"
                   " out.wait()",
    "wait_irq": "with tarvex.Interrupt(0, 4, 3, source=IrqSource.DIO_LINE, edge=IrqEdge.ANY)"
                " as irq: irq.wait()",
    "wait_idle": "with tarvex.InputStream(0, 0, [0], 1_000, scans=50_000): tarvex.wait_idle(0, 0)",
}


@pytest.mark.parametrize("helper", BLOCKING.values(), ids=BLOCKING.keys())
def test_ctrl_c_ends_a_blocking_helper_and_stops_what_it_started(helper):
    child = subprocess.Popen([sys.executable, "-c", CHILD, helper], stdout=subprocess.PIPE,
                             text=True, env=dict(os.environ, PYTHONPATH=MODULE_DIR,
                                                 TARVEX_SIM_CONFIG=""))
    try:
        assert child.stdout.readline() == "ready\n"
        time.sleep(0.3)  # well into the wait
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        report = json.loads(child.communicate(timeout=10)[0])
    finally:
        child.kill()
    assert child.returncode == 0 and not report["running"]
    # 0.1 s is the promise; the bound leaves room for a busy machine.
    assert report["handled"] - sent < 0.3 and report["ended"] - sent < 0.3, report
