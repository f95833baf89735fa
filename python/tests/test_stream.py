"""Streams: kaIOStreamConfig, start and stop lists, reads, writes, status and
timer ticks."""

import copy
import gc
import struct
import time

import numpy as np
import pytest

import kaDriver

K = kaDriver
AI, AO = (0, 0), (0, 1)
CHANNEL_KEYS = ["Channel", "StreamConfig", "Ref", "Flags"]
TRIGGER_KEYS = ["AcqStartTrigType", "AcqStartTrigEdge", "AcqStartTrigChan", "AcqStartTicks",
                "ScanStartTrigType", "ScanStartTicks", "ConvStartTrigType", "ConvStartTicks",
                "ScanStopTrigType", "ScanStopCount", "AcqStopTrigType", "AcqStopCount", "Flags"]
TICK_KEYS = {"AcqStartTicks", "ScanStartTicks", "ConvStartTicks"}


def channel(number, range_index=0, **extra):
    return dict(Channel=number, StreamConfig=range_index, Ref=K.KA_REF_AI_GROUND, Flags=0, **extra)


def trigger(conv_ticks=3300, scan_ticks=6600, scans=0, values=0, **changes):
    setup = dict(AcqStartTrigType=K.KA_TRIG_TYPE_SW, AcqStartTrigEdge=0,
                 AcqStartTrigChan=K.KA_TRIG_CHAN_DEFAULT, AcqStartTicks=0,
                 ScanStartTrigType=K.KA_TRIG_TYPE_TIMER, ScanStartTicks=scan_ticks,
                 ConvStartTrigType=K.KA_TRIG_TYPE_TIMER, ConvStartTicks=conv_ticks,
                 ScanStopTrigType=K.KA_TRIG_TYPE_COUNT if scans else K.KA_TRIG_TYPE_NONE,
                 ScanStopCount=scans,
                 AcqStopTrigType=K.KA_TRIG_TYPE_COUNT if values else K.KA_TRIG_TYPE_NONE,
                 AcqStopCount=values, Flags=0)
    setup.update(changes)
    return setup


def start_entry(device=0, subdevice=0, **extra):
    return dict(Device=device, Subdevice=subdevice, StartMode=K.KA_START_MODE_NONBLOCKING,
                TimeOut=0, Flags=0, Errno=0, **extra)


def stop_entry(device=0, subdevice=0):
    return dict(Device=device, Subdevice=subdevice, StopMode=K.KA_STOP_MODE_IMMEDIATE, Flags=0,
                Errno=0)


def configure_output(flags=0, **timing):
    K.kaIOStreamConfig(*AO, [dict(Channel=0, StreamConfig=0, Ref=K.KA_REF_AO_GROUND, Flags=0)],
                       trigger(**timing), 0, flags)


def start(*subdevices):
    K.kaIOStreamStart([start_entry(*s) for s in subdevices], 0)


def trigger_words(sim):
    return struct.unpack("<66i", sim.captured_bytes("kaIOStreamConfig", 1))


# --- kaIOStreamConfig: checks and record layout ------------------------------------

@pytest.mark.parametrize("key", CHANNEL_KEYS)
def test_channel_key_missing(opened, key):
    entries = [channel(0), channel(1), channel(2)]
    del entries[2][key]
    with pytest.raises(TypeError) as raised:
        K.kaIOStreamConfig(*AI, entries, [], 0, 0)  # the list is checked before the trigger
    kind = "config" if key == "Channel" else "start"
    assert str(raised.value) == f"Key '{key}' expected in {kind} list entry 2"
    assert opened.calls("kaIOStreamConfig") == 0


@pytest.mark.parametrize("key", CHANNEL_KEYS)
def test_channel_key_wrong_kind_has_no_entry_number(opened, key):
    entries = [channel(0), channel(1)]
    entries[1][key] = "x"
    with pytest.raises(TypeError) as raised:
        K.kaIOStreamConfig(*AI, entries, trigger(), 0, 0)
    assert str(raised.value) == f"'Python integer' type expected (not 'str') as argument for '{key}'"


@pytest.mark.parametrize("key", TRIGGER_KEYS)
def test_trigger_key_missing(opened, key):
    setup = trigger()
    del setup[key]
    with pytest.raises(TypeError) as raised:
        K.kaIOStreamConfig(*AI, [channel(0)], setup, 0, 0)
    assert str(raised.value) == f"Key '{key}' expected in trigger setup."
    assert opened.calls("kaIOStreamConfig") == 0


@pytest.mark.parametrize("key", TRIGGER_KEYS)
def test_trigger_key_wrong_kind(opened, key):
    setup = trigger(**{key: 1.5})
    with pytest.raises(TypeError) as raised:
        K.kaIOStreamConfig(*AI, [channel(0)], setup, 0, 0)
    kind = "Python (long) integer" if key in TICK_KEYS else "Python integer"
    assert str(raised.value) == f"'{kind}' type expected (not 'float') as argument for '{key}'"


@pytest.mark.parametrize("key, value, bits", [
    ("ScanStopCount", 2**31, 32), ("Flags", -2**31 - 1, 32), ("AcqStartTicks", 2**63, 64),
    ("ConvStartTicks", -2**63 - 1, 64),
])
def test_trigger_values_out_of_range(opened, key, value, bits):
    with pytest.raises(OverflowError) as raised:
        K.kaIOStreamConfig(*AI, [channel(0)], trigger(**{key: value}), 0, 0)
    kind = "Python (long) integer" if key in TICK_KEYS else "Python integer"
    assert str(raised.value) == f"'{kind}' value out of {bits}-bit range as argument for '{key}'"
    assert opened.calls("kaIOStreamConfig") == 0


@pytest.mark.parametrize("arguments, message", [
    ((0, 0, (), trigger(), 0, 0), "'Python list' type expected (not 'tuple') as argument 3"),
    ((0, 0, [channel(0), 5], trigger(), 0, 0),
     "'Python dictionary' type expected (not 'int') as list item in argument 3"),
    ((0, 0, [channel(0)], [], 0, 0), "'Python dictionary' type expected (not 'list') as argument 5"),
    ((0, 0, [{}], [], 0, 0), "Key 'Channel' expected in config list entry 0"),
])
def test_config_argument_kinds_in_order(opened, arguments, message):
    with pytest.raises(TypeError) as raised:
        K.kaIOStreamConfig(*arguments)
    assert str(raised.value) == message


@pytest.mark.parametrize("ticks, low, high", [
    (5, 5, 0), (2**40, 0, 256), (4294967303, 7, 1), (-1, -1, -1), (2**63 - 1, -1, 0x7FFFFFFF),
])
def test_tick_words_low_first(opened, ticks, low, high):
    with pytest.raises(kaDriver.error):  # the simulated boards refuse such timing
        K.kaIOStreamConfig(*AI, [channel(0)], trigger(AcqStartTicks=ticks, ConvStartTicks=1), 0, 0)
    words = trigger_words(opened)
    assert words[3:5] == (low, high)


def test_config_record_bytes(opened):
    entries = [channel(3, 1, Note="kept"), channel(5, 2)]
    setup = trigger(conv_ticks=100, scan_ticks=4000, scans=7, values=9, Extra=object())
    before = copy.deepcopy([entries, {k: v for k, v in setup.items() if k != "Extra"}])
    K.kaIOStreamConfig(*AI, entries, setup, 16, K.KA_IO_STREAM_CONFIG_SAMPLE_AND_HOLD)
    assert opened.captured_bytes("kaIOStreamConfig", 0) == struct.pack(
        "<8i", 3, 1, K.KA_REF_AI_GROUND, 0, 5, 2, K.KA_REF_AI_GROUND, 0)
    words = trigger_words(opened)
    assert words[:5] == (K.KA_TRIG_TYPE_SW, 0, K.KA_TRIG_CHAN_DEFAULT, 0, 0)
    assert words[15:18] == (K.KA_TRIG_TYPE_TIMER, 4000, 0)
    assert words[28:31] == (K.KA_TRIG_TYPE_TIMER, 100, 0)
    assert words[41:43] == (K.KA_TRIG_TYPE_COUNT, 7)
    assert words[53:55] == (K.KA_TRIG_TYPE_COUNT, 9)
    assert words[65] == 0
    reserved = words[5:15] + words[18:28] + words[31:41] + words[43:53] + words[55:65]
    assert reserved == (0,) * 50
    assert opened.args("kaIOStreamConfig") == [0, 0, 2, 16, K.KA_IO_STREAM_CONFIG_SAMPLE_AND_HOLD]
    assert [entries, {k: v for k, v in setup.items() if k != "Extra"}] == before


def test_empty_channel_list_reaches_library(opened):
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOStreamConfig(*AI, [], trigger(), 0, 0)
    assert raised.value.args[0] == opened.code("INVALID_COUNT")
    assert opened.args("kaIOStreamConfig")[2] == 0


@pytest.mark.parametrize("changes, code", [
    (dict(AcqStartTrigType=K.KA_TRIG_TYPE_THRESHOLD), "INVALID_TRIGGER"),
    (dict(ConvStartTrigType=K.KA_TRIG_TYPE_EXT_DIGITAL), "INVALID_TRIGGER"),
    (dict(ScanStartTrigType=K.KA_TRIG_TYPE_PATTERN), "INVALID_TRIGGER"),
    (dict(ScanStopTrigType=K.KA_TRIG_TYPE_EDGE), "INVALID_TRIGGER"),
    (dict(ConvStartTicks=10), "INVALID_VALUE"),             # faster than the boards convert
    (dict(ScanStartTicks=3300), "INVALID_VALUE"),           # scan shorter than its conversions
    (dict(ScanStopTrigType=K.KA_TRIG_TYPE_COUNT), "INVALID_VALUE"),  # a count of 0
    (dict(Flags=1), "INVALID_FLAGS"),
])
def test_config_refuses_unsupported_timing(opened, changes, code):
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOStreamConfig(*AI, [channel(0), channel(1)], trigger(**changes), 0, 0)
    assert raised.value.args[0] == opened.code(code)


@pytest.mark.parametrize("trig", [K.KA_TRIG_TYPE_EXT_DIGITAL, K.KA_TRIG_TYPE_EXT_ANALOG,
                                  K.KA_TRIG_TYPE_TIMER, K.KA_TRIG_TYPE_NONE])
def test_other_start_triggers_are_accepted(opened, trig):
    K.kaIOStreamConfig(*AI, [channel(0)], trigger(AcqStartTrigType=trig), 0, 0)


# --- start and stop lists ---------------------------------------------------------

@pytest.mark.parametrize("function, make, keys", [
    (K.kaIOStreamStart, start_entry, ["Device", "Subdevice", "StartMode", "TimeOut", "Flags", "Errno"]),
    (K.kaIOStreamStop, stop_entry, ["Device", "Subdevice", "StopMode", "Flags", "Errno"]),
])
def test_start_and_stop_list_messages(opened, function, make, keys):
    for key in keys:
        entries = [make(), make()]
        del entries[1][key]
        with pytest.raises(TypeError) as raised:
            function(entries, 0)
        assert str(raised.value) == f"Key '{key}' expected in start list entry 1"
        entries = [make()]
        entries[0][key] = 1.0
        with pytest.raises(TypeError) as raised:
            function(entries, 0)
        assert str(raised.value) == f"'Python integer' type expected (not 'float') as argument for '{key}'"
    for bad, message in [((), "'Python list' type expected (not 'tuple') as argument 1"),
                         ([make(), "x"], "'Python dictionary' type expected (not 'str') as list item in argument 1")]:
        with pytest.raises(TypeError) as raised:
            function(bad, 0)
        assert str(raised.value) == message
    assert opened.calls(function.__name__) == 0


def test_start_writes_each_result_code_back(opened):
    K.kaIOStreamConfig(*AI, [channel(0)], trigger(), 0, 0)
    entries = [start_entry(0, 0, Tag="t"), start_entry(0, 1), start_entry(0, 2)]
    K.kaIOStreamStart(entries, 0)
    assert [e["Errno"] for e in entries] == [0, opened.code("NOT_CONFIGURED"),
                                             opened.code("NOT_SUPPORTED")]
    assert entries[0]["Tag"] == "t" and entries[0]["StartMode"] == K.KA_START_MODE_NONBLOCKING
    again = [start_entry()]
    K.kaIOStreamStart(again, 0)
    assert again[0]["Errno"] == opened.code("BUSY")
    stops = [stop_entry()]
    K.kaIOStreamStop(stops, 0)
    assert stops[0]["Errno"] == 0


def test_a_dictionary_listed_twice_ends_with_the_last_entrys_code(opened):
    K.kaIOStreamConfig(*AI, [channel(0)], trigger(), 0, 0)
    twice = start_entry()
    twice["Errno"] = opened.code("BUSY")
    for _ in range(2):
        K.kaIOStreamStart([twice, twice], 0)  # the second start finds the stream running
        assert twice["Errno"] == opened.code("BUSY")
        K.kaIOStreamStop([stop_entry()], 0)


@pytest.mark.parametrize("function, make", [(K.kaIOStreamStart, start_entry),
                                            (K.kaIOStreamStop, stop_entry)])
def test_failed_list_call_leaves_dictionaries(opened, function, make):
    entries = [make(), make(0, 1)]
    before = copy.deepcopy(entries)
    opened.fail(function.__name__, opened.code("LOCKED"))
    with pytest.raises(kaDriver.error):
        function(entries, 0)
    assert entries == before


def test_empty_lists_reach_library(opened):
    K.kaIOStreamStart([], 0)
    K.kaIOStreamStop([], 0)
    assert opened.args("kaIOStreamStart") == opened.args("kaIOStreamStop") == [0, 0]


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


@pytest.mark.parametrize("values", [np.arange(10, dtype=np.int16), np.arange(20, dtype=np.int32)[::2],
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
    assert len(K.kaIOStreamRead(*AI, K.KA_READ_MODE_BLOCKING, 100, K.KA_IO_STREAM_READ_FRAMES)) == 99


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
    start((0, 1))
    rest = K.kaIOStreamWrite(*AO, K.KA_WRITE_MODE_BLOCKING, np.zeros(10**6, np.int32), 0)
    assert len(rest) == 0
