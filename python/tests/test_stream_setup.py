"""Stream set-up: kaIOStreamConfig's checks and the records it packs, and
the start and stop lists."""

import copy
import struct

import pytest

import kaDriver
from catalogue import INPUT as AI, channel, start_entry, stop_entry, trigger

K = kaDriver
CHANNEL_KEYS = ["Channel", "StreamConfig", "Ref", "Flags"]
TRIGGER_KEYS = ["AcqStartTrigType", "AcqStartTrigEdge", "AcqStartTrigChan", "AcqStartTicks",
                "ScanStartTrigType", "ScanStartTicks", "ConvStartTrigType", "ConvStartTicks",
                "ScanStopTrigType", "ScanStopCount", "AcqStopTrigType", "AcqStopCount", "Flags"]
TICK_KEYS = {"AcqStartTicks", "ScanStartTicks", "ConvStartTicks"}


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
    assert str(raised.value) == (f"'Python integer' type expected (not 'str') "
                                 f"as argument for '{key}'")


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
    ((0, 0, [channel(0)], [], 0, 0),
     "'Python dictionary' type expected (not 'list') as argument 5"),
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


TRIGGER_REFUSED = "Trigger not supported by the subdevice"


@pytest.mark.parametrize("changes, code, text", [
    (dict(AcqStartTrigType=K.KA_TRIG_TYPE_THRESHOLD), "INVALID_TRIGGER", TRIGGER_REFUSED),
    (dict(ConvStartTrigType=K.KA_TRIG_TYPE_EXT_DIGITAL), "INVALID_TRIGGER", TRIGGER_REFUSED),
    (dict(ScanStartTrigType=K.KA_TRIG_TYPE_PATTERN), "INVALID_TRIGGER", TRIGGER_REFUSED),
    (dict(ScanStopTrigType=K.KA_TRIG_TYPE_EDGE), "INVALID_TRIGGER", TRIGGER_REFUSED),
    (dict(ConvStartTicks=10), "INVALID_VALUE", "Value out of range: ConvStartTicks 10 is below "
                                               "the 66 ticks of the fastest conversion"),
    (dict(ConvStartTicks=3300, ScanStartTicks=3300), "INVALID_VALUE",
     "Value out of range: ScanStartTicks 3300 is shorter than 2 conversions of 3300 ticks"),
    (dict(ScanStopTrigType=K.KA_TRIG_TYPE_COUNT), "INVALID_VALUE",
     "Value out of range: ScanStopCount 0 is not a count of scans"),
    (dict(Flags=1), "INVALID_FLAGS", "Invalid flags"),
])
def test_config_refuses_unsupported_timing_and_says_why(opened, changes, code, text):
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOStreamConfig(*AI, [channel(0), channel(1)], trigger(**changes), 0, 0)
    assert raised.value.args == (opened.code(code), text)
    with pytest.raises(kaDriver.error) as raised:  # a failure that gives no reason
        K.kaIOStreamFrequencyToTicks(*AI, K.KA_TIMER_CONV_START, 0.0, 0)
    assert raised.value.args[1] == "Value out of range"


@pytest.mark.parametrize("trig", [K.KA_TRIG_TYPE_EXT_DIGITAL, K.KA_TRIG_TYPE_EXT_ANALOG,
                                  K.KA_TRIG_TYPE_TIMER, K.KA_TRIG_TYPE_NONE])
def test_other_start_triggers_are_accepted(opened, trig):
    K.kaIOStreamConfig(*AI, [channel(0)], trigger(AcqStartTrigType=trig), 0, 0)


# --- start and stop lists ---------------------------------------------------------

@pytest.mark.parametrize("function, make, keys", [
    (K.kaIOStreamStart, start_entry,
     ["Device", "Subdevice", "StartMode", "TimeOut", "Flags", "Errno"]),
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
        assert str(raised.value) == (f"'Python integer' type expected (not 'float') "
                                     f"as argument for '{key}'")
    for bad, message in [
            ((), "'Python list' type expected (not 'tuple') as argument 1"),
            ([make(), "x"],
             "'Python dictionary' type expected (not 'str') as list item in argument 1")]:
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
