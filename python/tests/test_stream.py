"""Stream transfer: reads, writes, status and timer ticks, and the stream
engine of the simulated boards."""

import gc
import time

import numpy as np
import pytest

import kaDriver
from catalogue import INPUT as AI, OUTPUT as AO, channel, start_entry, stop_entry, trigger

K = kaDriver


def configure_output(flags=0, **timing):
    K.kaIOStreamConfig(*AO, [channel(ref=K.KA_REF_AO_GROUND)], trigger(**timing), 0, flags)


def start(*subdevices):
    K.kaIOStreamStart([start_entry(*s) for s in subdevices], 0)


# --- reads -------------------------------------------------------------------------

def test_read_zero_and_negative_counts(opened):
    K.kaIOStreamConfig(*AI, [channel(0)], trigger(), 0, 0)
    empty = K.kaIOStreamRead(*AI, K.KA_READ_MODE_NONBLOCKING, 0, 0)
    assert empty.shape == (0,) and empty.dtype == np.int32
    assert opened.args("kaIOStreamRead")[3] == 0
    with pytest.raises(MemoryError):
        K.kaIOStreamRead(*AI, K.KA_READ_MODE_NONBLOCKING, -1, 0)
    assert opened.calls("kaIOStreamRead") == 1


@pytest.mark.parametrize("delivered", [60, 0, 100])
def test_read_returns_what_was_delivered(opened, delivered):
    opened.fast_streams()
    K.kaIOStreamConfig(*AI, [channel(3)], trigger(), 0, 0)
    start((0, 0))
    opened.override("kaIOStreamRead", 0, delivered)
    values = K.kaIOStreamRead(*AI, K.KA_READ_MODE_NONBLOCKING, 100, 0)
    assert len(values) == delivered
    assert values.flags.c_contiguous and values.dtype == np.int32 and values.ndim == 1


@pytest.mark.parametrize("delivered", [101, -1, 2**31 - 1])
def test_read_refuses_counts_outside_what_was_given(opened, delivered):
    K.kaIOStreamConfig(*AI, [channel(3)], trigger(), 0, 0)
    opened.override("kaIOStreamRead", 0, delivered)
    with pytest.raises(ValueError, match="kaIOStreamRead"):
        K.kaIOStreamRead(*AI, K.KA_READ_MODE_NONBLOCKING, 100, 0)


def test_read_fills_the_arrays_own_memory_which_outlives_everything(opened):
    opened.fast_streams()
    K.kaIOStreamConfig(*AI, [channel(3)], trigger(), 0, 0)
    start((0, 0))
    values = K.kaIOStreamRead(*AI, K.KA_READ_MODE_BLOCKING, 1000, 0)
    assert values.ctypes.data == opened.captured_address("kaIOStreamRead")
    K.kaClose(0)
    opened.reset()
    gc.collect()
    assert (values == values[0]).all() and values[0] == round(11.25 * 65535 / 19.999694824)


def test_driver_failure_returns_nothing(opened):
    K.kaIOStreamConfig(*AI, [channel(3)], trigger(), 0, 0)
    opened.fail("kaIOStreamRead", opened.code("FIFO_OVERFLOW"))
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOStreamRead(*AI, K.KA_READ_MODE_NONBLOCKING, 10, 0)
    assert raised.value.args == (opened.code("FIFO_OVERFLOW"), "FIFO overflow: data were lost")


# --- writes ------------------------------------------------------------------------

@pytest.mark.parametrize("taken, rest", [(2, [3]), (3, []), (0, [1, 2, 3])])
def test_write_returns_the_values_not_taken(opened, taken, rest):
    configure_output()
    opened.override("kaIOStreamWrite", 0, taken)
    remainder = K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, [1, 2, 3], 0)
    assert remainder.tolist() == rest and remainder.dtype == np.int32
    assert remainder.flags.c_contiguous and remainder.flags.writeable


@pytest.mark.parametrize("taken", [4, -1])
def test_write_refuses_taken_counts_outside_the_array(opened, taken):
    configure_output()
    opened.override("kaIOStreamWrite", 0, taken)
    with pytest.raises(ValueError, match="kaIOStreamWrite"):
        K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, [1, 2, 3], 0)


def test_write_passes_a_suitable_array_without_copy(opened):
    configure_output()
    values = np.arange(1000, dtype=np.int32)
    opened.override("kaIOStreamWrite", 0, 400)
    rest = K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, values, 0)
    assert opened.captured_address("kaIOStreamWrite") == values.ctypes.data
    assert opened.args("kaIOStreamWrite")[3] == 1000
    assert rest.tolist() == list(range(400, 1000))
    K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, rest, 0)  # the remainder goes again as is
    assert opened.captured_address("kaIOStreamWrite") == rest.ctypes.data


@pytest.mark.parametrize("values", [np.arange(10, dtype=np.int16),
                                    np.arange(20, dtype=np.int32)[::2],
                                    np.arange(10, dtype=">i4"), [float(v) for v in range(10)]])
def test_write_converts_other_sequences(opened, values):
    configure_output()
    opened.override("kaIOStreamWrite", 0, 0)
    rest = K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, values, 0)
    assert rest.tolist() == [int(v) for v in values]
    if isinstance(values, np.ndarray):
        assert opened.captured_address("kaIOStreamWrite") != values.ctypes.data


@pytest.mark.parametrize("values", [np.zeros((2, 2), np.int32), 5, ["a"]])
def test_write_leaves_numpy_errors_alone(opened, values):
    with pytest.raises((ValueError, TypeError)):
        K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, values, 0)
    assert opened.calls("kaIOStreamWrite") == 0


# --- status and ticks --------------------------------------------------------------

def test_status_is_a_pair_of_ints(opened):
    opened.override("kaIOStreamStatus", 1, -7)
    assert K.kaIOStreamStatus(*AI, K.KA_WAIT_NONE, 0) == (K.KA_STATUS_IDLE, -7)


@pytest.mark.parametrize("function", [K.kaIOStreamFrequencyToTicks, K.kaIOStreamTimeToTicks])
@pytest.mark.parametrize("low, high, ticks", [
    (0xFFFFFFFF, 0, 4294967295), (0, 1, 4294967296), (5, 2, 8589934597), (33, 0, 33),
    (0xFFFFFFFF, 0xFFFFFFFF, 2**64 - 1),
])
def test_ticks_from_two_unsigned_words(opened, function, low, high, ticks):
    opened.override(function.__name__, 1, low)
    opened.override(function.__name__, 2, high)
    value, result = function(*AI, K.KA_TIMER_SCAN_START, 1000.0, 0)
    assert result == ticks and type(result) is int and type(value) is float


def test_ticks_of_the_base_clock(opened):
    assert K.kaIOStreamFrequencyToTicks(*AI, K.KA_TIMER_CONV_START, 10000, 0) == (10000.0, 3300)
    assert K.kaIOStreamFrequencyToTicks(*AI, K.KA_TIMER_CONV_START, 7e6, 0) == (500000.0, 66)
    assert K.kaIOStreamTimeToTicks(*AI, K.KA_TIMER_ACQ_START, 2.0, 0) == (2.0, 66000000)
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOStreamTimeToTicks(*AI, 0, 1.0, 0)
    assert raised.value.args[0] == opened.code("INVALID_TIMER")


# --- the stream engine of the simulated boards ---------------------------------------

def test_limited_acquisition_ends_idle_with_every_value(opened):
    K.kaIOStreamConfig(*AI, [channel(0), channel(3)], trigger(conv_ticks=330, scan_ticks=3300,
                                                              scans=500), 0, 0)
    start((0, 0))
    assert K.kaIOStreamStatus(*AI, K.KA_WAIT_NONE, 0)[0] == K.KA_STATUS_BUSY
    values = K.kaIOStreamRead(*AI, K.KA_READ_MODE_BLOCKING, 2000, 0)  # 10 kHz: 50 ms
    assert len(values) == 1000
    assert K.kaIOStreamStatus(*AI, K.KA_WAIT_IDLE, 0) == (K.KA_STATUS_IDLE, 0)
    assert (values[1::2] == round(11.25 * 65535 / 19.999694824)).all()


def test_nonblocking_read_takes_what_is_there(opened):
    K.kaIOStreamConfig(*AI, [channel(0)], trigger(conv_ticks=3300, scan_ticks=3300), 0, 0)
    began = time.monotonic()
    start((0, 0))
    time.sleep(0.05)
    values = K.kaIOStreamRead(*AI, K.KA_READ_MODE_NONBLOCKING, 100000, 0)
    elapsed = time.monotonic() - began
    assert 450 <= len(values) <= elapsed * 10_000 + 1  # 10 kHz
    K.kaIOStreamStop([stop_entry()], 0)


def test_reader_falling_behind_overflows(opened):
    K.kaIOStreamConfig(*AI, [channel(0)], trigger(conv_ticks=66, scan_ticks=66), 0, 0)
    start((0, 0))
    time.sleep(0.3)  # 500 kHz fills the 65536-value buffer in 0.13 s
    assert K.kaIOStreamStatus(*AI, K.KA_WAIT_NONE, 0)[0] == K.KA_STATUS_ERROR
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOStreamRead(*AI, K.KA_READ_MODE_NONBLOCKING, 10, 0)
    assert raised.value.args[0] == opened.code("FIFO_OVERFLOW")
    K.kaIOStreamStop([stop_entry()], 0)
    assert K.kaIOStreamStatus(*AI, K.KA_WAIT_NONE, 0)[0] == K.KA_STATUS_IDLE


def test_frames_flag_reads_whole_scans(opened):
    opened.fast_streams()
    K.kaIOStreamConfig(*AI, [channel(0), channel(1), channel(2)], trigger(scan_ticks=9900), 0, 0)
    start((0, 0))
    frames = K.kaIOStreamRead(*AI, K.KA_READ_MODE_BLOCKING, 100, K.KA_IO_STREAM_READ_FRAMES)
    assert len(frames) == 99


def test_analog_output_consumes_at_its_rate(opened):
    configure_output(conv_ticks=3300, scan_ticks=3300)
    values = np.arange(100000, dtype=np.int32) % 65536
    rest = K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, values, 0)
    assert len(rest) == 100000 - 65536  # the buffer holds 65536 values
    assert K.kaIOStreamStatus(*AO, K.KA_WAIT_NONE, 0) == (K.KA_STATUS_IDLE, 65536)
    began = time.monotonic()
    start((0, 1))
    time.sleep(0.05)
    status, buffered = K.kaIOStreamStatus(*AO, K.KA_WAIT_NONE, 0)
    put_out = 65536 - buffered
    assert status == K.KA_STATUS_BUSY
    assert 450 <= put_out <= (time.monotonic() - began) * 10_000 + 1  # 10 kHz
    assert len(K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_NONBLOCKING, rest, 0)) < len(rest)
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, rest, 0)
    assert raised.value.args[0] == opened.code("BUSY")
    K.kaIOStreamStop([stop_entry(0, 1)], 0)


def test_wraparound_output_repeats_its_buffer(opened):
    configure_output(K.KA_IO_STREAM_CONFIG_WRAPAROUND, conv_ticks=330, scan_ticks=330)
    K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, [1, 2, 3], 0)
    start((0, 1))
    time.sleep(0.02)  # 100 kHz: far more than three values go out
    assert K.kaIOStreamStatus(*AO, K.KA_WAIT_NONE, 0) == (K.KA_STATUS_BUSY, 3)
    K.kaIOStreamStop([stop_entry(0, 1)], 0)


def test_fast_output_takes_everything_at_once(opened):
    opened.fast_streams()
    configure_output()
    K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_PRELOAD, np.zeros(100, np.int32), 0)
    start((0, 1))
    began = time.monotonic()
    rest = K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_BLOCKING, np.zeros(10**6, np.int32), 0)
    assert len(rest) == 0 and time.monotonic() - began < 20  # 200 s of values at 5 kHz
