"""Streams read value by value, on each of the library's clocks: every input
channel carries a sawtooth of its own offset, so each value tells its own
instant and channel, and a gap, a duplicate, a reordering or a value filed
under another channel shows. Losses (an overrun, an underrun) and their
reports, at the exact instants the stepped clock gives."""

import json
import time

import numpy as np
import pytest

import kaDriver
from catalogue import channel, start_entry, stop_entry, trigger

K = kaDriver
AI, AO = (0, 0), (0, 1)
TICKS_PER_SECOND = 33e6
SAW_HZ, SAW_VOLTS = 10.0, 0.5  # each channel ramps by 1 V ten times a second
BUFFER = 2000  # values the driver holds
VOLTS_PER_CODE = 20 / 65535
LOOPBACK = 4  # the input channel that reads the output's channel 0
RANGE = {"unit": "KA_UNIT_VOLT", "min": -10.0, "max": 10.0, "max_data": 65535}
SYSTEM = {
    "library_version": "1.0.0.0", "main_driver_version": "1.0.0.0",
    "devices": [{
        "name": "Stream checker", "description": "sawtooth inputs, an output looped back",
        "driver_name": "checker", "driver_version": "1.0.0.0",
        "info": {"vendor_id": 0, "device_id": 0, "serial_no": 0, "bus_type": "KA_BUS_TYPE_PCI",
                 "bus_no": 0, "dev_no": 0, "func_no": 0},
        "subdevices": [
            {"type": "KA_TYPE_AI", "subtype": "KA_SUBTYPE_STREAMING", "channels": 5,
             "buffer_values": BUFFER, "ranges": [RANGE],
             "signals": dict({str(c): {"kind": "sawtooth", "offset": 2 * c - 3,
                                       "amplitude": SAW_VOLTS, "frequency": SAW_HZ}
                              for c in range(4)},
                             **{str(LOOPBACK): {"kind": "loopback", "device": 0,
                                                "subdevice": 1, "output_channel": 0}})},
            {"type": "KA_TYPE_AO", "subtype": "KA_SUBTYPE_STREAMING", "channels": 1,
             "buffer_values": BUFFER, "ranges": [RANGE]}]}]}


@pytest.fixture
def checker(opened):
    opened.load_system(json.dumps(SYSTEM))
    K.kaOpen(0)
    return opened


def assert_in_place(values, channels, conv_ticks, scan_ticks):
    """Each value is its channel's sawtooth at the instant of its conversion,
    counted from the first value read."""
    n = len(channels)
    scan, place = np.divmod(np.arange(len(values)), n)
    volts = np.asarray(values) * VOLTS_PER_CODE - 10.0 - (2.0 * np.asarray(channels) - 3)[place]
    tolerance = 1.5 * VOLTS_PER_CODE
    assert (np.abs(volts) <= SAW_VOLTS + tolerance).all(), "a value of another channel"
    phase = volts / (2 * SAW_VOLTS) + 0.5  # where on its ramp each value is
    expected = phase[0] + SAW_HZ * (scan * scan_ticks + place * conv_ticks) / TICKS_PER_SECOND
    error = (phase - expected + 0.5) % 1.0 - 0.5
    worst = np.abs(error).argmax()
    assert abs(error[worst]) <= tolerance, f"value {worst} out of place"


def configure(channels, conv_ticks=330, scan_ticks=3300, **limits):
    K.kaIOStreamConfig(*AI, [channel(c) for c in channels],
                       trigger(conv_ticks=conv_ticks, scan_ticks=scan_ticks, **limits), 0, 0)


def start(*subdevices):
    entries = [start_entry(*s) for s in subdevices]
    K.kaIOStreamStart(entries, 0)
    return [entry["Errno"] for entry in entries]


def stop(subdevice=AI):
    entry = stop_entry(*subdevice)
    K.kaIOStreamStop([entry], 0)
    return entry["Errno"]


def read(count, mode=K.KA_READ_MODE_BLOCKING, flags=K.KA_IO_STREAM_READ_FRAMES):
    return K.kaIOStreamRead(*AI, mode, count, flags)


@pytest.mark.parametrize("clock", ["real", "fast", "stepped"])
@pytest.mark.parametrize("channels", [[0], [0, 1, 3], [3, 2, 1, 0]])
def test_reads_deliver_every_value_in_place(checker, clock, channels):
    checker.clock(clock)
    configure(channels)
    assert start(AI) == [0]
    n = len(channels)
    parts = []
    for scans in (1, 7, BUFFER // n, 2 * BUFFER, 333, 2):  # also more than the buffer holds
        if clock == "stepped":  # a blocking read would wait for ever; the buffer must not overrun
            checker.advance(min(scans, BUFFER // n - 1) * 3300 / TICKS_PER_SECOND)
            parts.append(read(scans * n + n - 1, K.KA_READ_MODE_NONBLOCKING))
        else:
            parts.append(read(scans * n + n - 1))  # FRAMES: whole scans only
            assert len(parts[-1]) == scans * n
    values = np.concatenate(parts)
    assert len(values) % n == 0
    assert_in_place(values, channels, 330, 3300)
    assert stop() == 0


def test_nonblocking_frames_reads_end_at_scans(checker):
    configure([0, 1, 3])
    start(AI)
    parts = []
    for _ in range(300):
        parts.append(read(3000, K.KA_READ_MODE_NONBLOCKING))
        time.sleep(0.0007)
    assert {len(part) % 3 for part in parts} == {0}
    assert_in_place(np.concatenate(parts), [0, 1, 3], 330, 3300)


def test_limited_acquisition_ends_with_whole_scans_then_the_rest(checker):
    checker.fast_streams()
    configure([0, 1, 3], values=1001)
    start(AI)
    scans = read(3000)
    rest = read(3000, flags=0)
    assert (len(scans), len(rest)) == (999, 2)
    assert_in_place(np.concatenate([scans, rest]), [0, 1, 3], 330, 3300)
    assert K.kaIOStreamStatus(*AI, K.KA_WAIT_NONE, 0) == (K.KA_STATUS_IDLE, 0)


def test_values_a_blocking_reader_waits_for_are_its_own(checker):
    """A read of the buffer's size, or more, waits and loses nothing."""
    configure([0], conv_ticks=3300)  # 10 kHz: the buffer holds 0.2 s
    start(AI)
    parts = [read(BUFFER), read(BUFFER), read(2 * BUFFER + 1)]
    assert [len(part) for part in parts] == [BUFFER, BUFFER, 2 * BUFFER + 1]
    assert_in_place(np.concatenate(parts), [0], 3300, 3300)


@pytest.mark.parametrize("reported_by", [None, "status", "read", "start"])
def test_an_overrun_reaches_the_program_once_before_a_new_start(checker, reported_by):
    checker.clock("stepped")
    configure([0], conv_ticks=3300)
    start(AI)
    checker.advance(BUFFER / 10e3 - 1e-9)  # the buffer full, the next value 1 ns away
    assert K.kaIOStreamStatus(*AI, K.KA_WAIT_NONE, 0) == (K.KA_STATUS_BUSY, BUFFER)
    checker.advance(1e-9)  # the next value finds no room
    if reported_by == "status":
        assert K.kaIOStreamStatus(*AI, K.KA_WAIT_NONE, 0)[0] == K.KA_STATUS_ERROR
    elif reported_by == "read":
        with pytest.raises(kaDriver.error) as raised:
            read(10, K.KA_READ_MODE_NONBLOCKING)
        assert raised.value.args[0] == checker.code("FIFO_OVERFLOW")
    elif reported_by == "start":  # not before the stream is stopped
        assert start(AI) == [checker.code("FIFO_OVERFLOW")]
    assert stop() == (checker.code("FIFO_OVERFLOW") if reported_by is None else 0)
    assert K.kaIOStreamStatus(*AI, K.KA_WAIT_NONE, 0) == (K.KA_STATUS_IDLE, 0)
    assert start(AI) == [0]


def output(samples, wraparound=False, **limits):
    K.kaIOStreamConfig(*AO, [channel(0, ref=K.KA_REF_AO_GROUND)],
                       trigger(conv_ticks=3300, scan_ticks=3300, **limits), 0,
                       K.KA_IO_STREAM_CONFIG_WRAPAROUND if wraparound else 0)
    return K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, np.asarray(samples, np.int32), 0)


@pytest.mark.parametrize("start_mode", [K.KA_START_MODE_BLOCKING, K.KA_START_MODE_NONBLOCKING])
def test_an_output_without_values_does_not_start(checker, start_mode):
    output([])
    entry = dict(start_entry(*AO), StartMode=start_mode)
    K.kaIOStreamStart([entry], 0)
    assert entry["Errno"] == checker.code("OUTPUT_EMPTY")
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_BLOCKING, np.arange(3000, dtype=np.int32), 0)
    assert raised.value.args[0] == checker.code("NOT_RUNNING")
    assert K.kaIOStreamStatus(*AO, K.KA_WAIT_NONE, 0) == (K.KA_STATUS_IDLE, 0)


@pytest.mark.parametrize("limits, status", [
    ({}, K.KA_STATUS_ERROR),                          # ran dry before its end: an underrun
    ({"values": 100}, K.KA_STATUS_IDLE),              # all its values went out
    ({"wraparound": True}, K.KA_STATUS_BUSY)])        # repeats its buffer for ever
def test_an_output_that_runs_dry_is_an_underrun(checker, limits, status):
    checker.clock("stepped")
    output(range(100), **limits)
    start(AO)
    checker.advance(99 / 10e3 - 1e-9)  # the last value 1 ns away
    assert K.kaIOStreamStatus(*AO, K.KA_WAIT_NONE, 0)[0] == K.KA_STATUS_BUSY
    checker.advance(1e-4 + 1e-9)  # the value after it due
    assert K.kaIOStreamStatus(*AO, K.KA_WAIT_NONE, 0)[0] == status
    if status == K.KA_STATUS_ERROR:
        with pytest.raises(kaDriver.error) as raised:
            K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_NONBLOCKING, [1], 0)
        assert raised.value.args == (checker.code("FIFO_UNDERRUN"),
                                     "FIFO underrun: the output ran out of values")
    assert stop(AO) == 0
    assert len(K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, np.arange(100, dtype=np.int32),
                                 0)) == 0
    assert start(AO) == [0]  # a new run of the same set-up


@pytest.mark.parametrize("clock", ["fast", "stepped"])
def test_an_output_stream_drives_its_looped_back_channel(checker, clock):
    """Started together at 10 kHz, the input reads each output value as it
    goes out."""
    checker.clock(clock)
    ramp = np.arange(30000, 30000 + 3 * BUFFER, dtype=np.int32)
    rest = output(ramp, values=len(ramp))
    configure([LOOPBACK], conv_ticks=3300, values=len(ramp))
    start(AI, AO)
    seen = []
    while len(seen) < len(ramp):  # fed and read by halves of the buffers
        if clock == "stepped":
            checker.advance(0.05)
        rest = np.concatenate([K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_NONBLOCKING,
                                                 rest[:BUFFER // 2], 0), rest[BUFFER // 2:]])
        seen.extend(read(BUFFER // 2, K.KA_READ_MODE_NONBLOCKING, 0))
    assert seen == ramp.tolist()
