"""Single-value I/O: kaIOSingleConfig and kaIOSingle."""

import copy
import struct

import pytest

import kaDriver
from catalogue import single_entries, start_entries, stop_entries
from catalogue import single_entry as entry, single_write as write

K = kaDriver
KEYS = ["Device", "Subdevice", "Channel", "Dir", "Value", "TimeOut", "Flags", "Errno"]
RECORD = struct.Struct("<8i")


def records_received(sim):
    data = sim.captured_bytes("kaIOSingle")
    return [RECORD.unpack_from(data, offset) for offset in range(0, len(data), RECORD.size)]


# --- argument checks ---------------------------------------------------------

@pytest.mark.parametrize("key", KEYS)
def test_missing_key_names_key_and_entry(opened, key):
    entries = [entry(), entry()]
    del entries[1][key]
    before = copy.deepcopy(entries)
    with pytest.raises(TypeError) as raised:
        K.kaIOSingle(entries, 0)
    assert str(raised.value) == f"Key '{key}' expected in start list entry 1"
    assert entries == before and opened.calls("kaIOSingle") == 0


@pytest.mark.parametrize("key", KEYS)
@pytest.mark.parametrize("bad, type_name", [("1", "str"), (1.0, "float"), (None, "NoneType")])
def test_wrong_kind_names_kind_type_key_and_entry(opened, key, bad, type_name):
    entries = [entry(), entry(), entry(**{})]
    entries[2][key] = bad
    before = copy.deepcopy(entries)
    with pytest.raises(TypeError) as raised:
        K.kaIOSingle(entries, 0)
    kind = "Python (long) integer" if key == "Value" else "Python integer"
    assert str(raised.value) == (f"'{kind}' type expected (not '{type_name}') "
                                 f"as argument for '{key}' in start list entry 2")
    assert entries == before and opened.calls("kaIOSingle") == 0


@pytest.mark.parametrize("key", [k for k in KEYS if k != "Value"])
@pytest.mark.parametrize("bad", [2**31, -2**31 - 1, 2**70])
def test_integer_keys_refuse_values_beyond_32_bits(opened, key, bad):
    entries = [entry()]
    entries[0][key] = bad
    with pytest.raises(OverflowError) as raised:
        K.kaIOSingle(entries, 0)
    assert str(raised.value) == (f"'Python integer' value out of 32-bit range "
                                 f"as argument for '{key}' in start list entry 0")
    assert opened.calls("kaIOSingle") == 0


@pytest.mark.parametrize("argument, message", [
    ((1, 2), "'Python list' type expected (not 'tuple') as argument 1"),
    ({}, "'Python list' type expected (not 'dict') as argument 1"),
    ([{}, ()], "Key 'Device' expected in start list entry 0"),
    ([entry(), ()], "'Python dictionary' type expected (not 'tuple') as list item in argument 1"),
    ([entry(), [1]], "'Python dictionary' type expected (not 'list') as list item in argument 1"),
])
def test_list_and_entry_kinds(opened, argument, message):
    with pytest.raises(TypeError) as raised:
        K.kaIOSingle(argument, 0)
    assert str(raised.value) == message
    assert opened.calls("kaIOSingle") == 0


def test_parse_format(opened):
    with pytest.raises(TypeError):
        K.kaIOSingle([])
    with pytest.raises(TypeError):
        K.kaIOSingleConfig(0, 0, 0, 0, 0, 0, 0, 0)
    assert opened.calls("kaIOSingle") == opened.calls("kaIOSingleConfig") == 0


class MyInt(int):
    pass


class MyDict(dict):
    pass


class MyList(list):
    pass


def test_subclasses_and_bools_are_accepted(opened):
    entries = MyList([MyDict(entry(device=False, subdevice=MyInt(2), channel=True,
                                   value=MyInt(7)))])
    K.kaIOSingle(entries, MyInt(0))
    assert records_received(opened)[0][:5] == (0, 2, 1, K.KA_DIR_INPUT, 7)


@pytest.mark.parametrize("value, word", [
    (-1, -1), (4294967295, -1), (2**32 + 5, 5), (-2**40 - 2, -2), (2**31, -2**31), (True, 1),
])
def test_value_takes_low_32_bits(opened, value, word):
    K.kaIOSingle([entry(value=value)], 0)
    assert records_received(opened)[0][4] == word


def test_record_bytes_as_received(opened):
    entries = [entry(1, 2, 3, K.KA_DIR_OUTPUT, 4), entry(0, 9, 0, K.KA_DIR_INPUT, 5, flags=16)]
    entries[0]["TimeOut"], entries[1]["Errno"] = 6, -8
    K.kaIOSingle(entries, 0)
    assert opened.captured_bytes("kaIOSingle") == (
        RECORD.pack(1, 2, 3, K.KA_DIR_OUTPUT, 4, 6, 0, 0) +
        RECORD.pack(0, 9, 0, K.KA_DIR_INPUT, 5, 0, 16, -8))
    assert opened.args("kaIOSingle") == [2, 0]


def test_empty_list_reaches_library_with_count_0(opened):
    assert K.kaIOSingle([], 0) is None
    assert opened.args("kaIOSingle") == [0, 0]


# --- write-back ----------------------------------------------------------------

@pytest.mark.parametrize("word, value", [(5, 5), (-1, 4294967295), (-2**31, 2**31)])
def test_value_reads_unsigned_errno_signed(opened, word, value):
    opened.override("kaIOSingle", 4, word)
    opened.override("kaIOSingle", 7, -3)
    entries = [entry(), entry(direction=K.KA_DIR_OUTPUT)]
    K.kaIOSingle(entries, 0)
    for e in entries:
        assert e["Value"] == value and type(e["Value"]) is int
        assert e["Errno"] == -3


def test_write_back_after_python_code_ran_still_writes(opened):
    entries = [behind_collider("Errno", lambda: None, entry(0, 0, 3)), entry(0, 0, 99)]
    K.kaIOSingle(entries, 0)
    assert entries[0]["Value"] == 36864 and entries[1]["Errno"] == opened.code("INVALID_CHANNEL")


@pytest.mark.parametrize("function, make, fields", [
    (K.kaIOSingle, single_entries, {"Value": 4, "Errno": 7}),
    (K.kaIOStreamStart, start_entries, {"Errno": 5}),
    (K.kaIOStreamStop, stop_entries, {"Errno": 4}),
], ids=lambda value: getattr(value, "__name__", None))
def test_write_back_fills_each_key_from_its_own_field(opened, function, make, fields):
    """Every field the driver gives back overridden with a value of its own:
    exactly the keys written back change, each to its own field's value."""
    for slot in range(8):
        opened.override(function.__name__, slot, 1000 + slot)
    entries = make()
    before = copy.deepcopy(entries)
    function(entries, 0)
    assert entries == [{**e, **{key: 1000 + slot for key, slot in fields.items()}} for e in before]


def test_write_back_keeps_other_keys(opened):
    marker = object()
    entries = [entry(2, 0, 0, K.KA_DIR_INPUT, 0, Note=marker), entry(0, 0, 99)]
    K.kaIOSingle(entries, 0)
    assert entries[0]["Note"] is marker
    assert entries[0]["Errno"] == opened.code("DEVICE_UNPLUGGED")
    assert entries[1]["Errno"] == opened.code("INVALID_CHANNEL")
    assert [list(e) for e in entries] == [KEYS + ["Note"], KEYS]


def test_driver_failure_leaves_dictionaries_alone(opened):
    entries = [entry(0, 0, 3), entry(0, 1, 0, K.KA_DIR_OUTPUT, 123)]
    before = copy.deepcopy(entries)
    opened.fail("kaIOSingle", opened.code("BUSY"))
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOSingle(entries, 0)
    assert raised.value.args[0] == opened.code("BUSY")
    assert entries == before


@pytest.mark.parametrize("batch, values, makes_values", [
    (lambda: [entry(0, 0, 3, value=7), write(0, 1, 0, 40000)], [36864, 40000], True),
    (lambda: [write(0, 5, 0, 7), write(0, 5, 0, 9)], [7, 9], False),  # the objects they hold
])
def test_out_of_memory_during_write_back_changes_nothing(opened, batch, values, makes_values):
    """Running out of memory anywhere leaves every dictionary as it was; and
    the batch's one block is all it allocates beyond the new values, so a
    batch that needs none cannot fail once the driver has been called."""
    testcapi = pytest.importorskip("_testcapi")
    outcomes = set()
    for start in range(40):
        entries = batch()
        before = copy.deepcopy(entries)
        calls = opened.calls("kaIOSingle")
        testcapi.set_nomemory(start, 0)
        try:
            K.kaIOSingle(entries, 0)
        except MemoryError:
            testcapi.remove_mem_hooks()
            assert entries == before
            assert makes_values or opened.calls("kaIOSingle") == calls
            outcomes.add("refused")
        else:
            testcapi.remove_mem_hooks()
            assert [e["Value"] for e in entries] == values
            outcomes.add("done")
    assert outcomes == {"refused", "done"}


class Collider:
    """A dictionary key that equals nothing but has the hash of `key`, so that
    a lookup of `key` compares it first and runs `action`."""

    def __init__(self, key):
        self.key, self.action = key, lambda: None

    def __hash__(self):
        return hash(self.key)

    def __eq__(self, other):
        self.action()
        return False


def behind_collider(key, action, base):
    """base with `key` held as an equal string of the caller's, behind a
    Collider: found only by a lookup, which runs action."""
    collider = Collider(key)
    result = {collider: 0}
    result.update(base)
    result["".join(key)] = result.pop(key)  # equal, but not the same string
    collider.action = action
    return result


def test_list_shrinking_while_read_fails_cleanly(opened):
    entries = []
    entries.extend([behind_collider("Channel", entries.clear, entry()), entry()])
    with pytest.raises(IndexError):
        K.kaIOSingle(entries, 0)
    assert opened.calls("kaIOSingle") == 0


@pytest.mark.parametrize("change", ["delete", "replace"])
def test_each_key_is_read_when_its_turn_comes(opened, change):
    """The lookup of "Channel" runs Python code that deletes or replaces
    "TimeOut", which comes later in the record. Twice, as in a program's loop:
    the second call finds the module warmed up by the first."""
    for _ in range(2):
        actions = {"delete": lambda: first.pop("TimeOut", None),
                   "replace": lambda: first.update(TimeOut=5)}
        first = behind_collider("Channel", actions[change], entry(0, 0, 3))
        if change == "delete":
            with pytest.raises(TypeError) as raised:
                K.kaIOSingle([first], 0)
            assert str(raised.value) == "Key 'TimeOut' expected in start list entry 0"
            assert opened.calls("kaIOSingle") == 0
        else:
            K.kaIOSingle([first], 0)
            assert records_received(opened)[0][5] == 5


class Dying(int):
    """An int that runs `action` when its last reference goes."""

    def __del__(self):
        self.action()


@pytest.mark.parametrize("trigger", ["replaced value's __del__", "colliding key's __eq__"])
def test_python_code_during_write_back_cannot_cancel_a_later_store(opened, trigger):
    """Replacing the first dictionary's "Value" runs Python code that changes
    the second, whose results are the very objects it held before. Twice, as
    in a program's loop."""
    for _ in range(2):
        later = write(0, 5, 0, 7)
        armed = True

        def meddle():
            if armed:
                later.update(Value=1, Errno=77)

        if trigger == "replaced value's __del__":
            value = Dying(0)
            value.action = meddle
            first = entry(0, 0, 3, value=value)
            del value
        else:
            collider = Collider("Value")
            first = {collider: 0, **entry(0, 0, 3)}
            collider.action = meddle
        K.kaIOSingle([first, later], 0)
        armed = False  # the checks below look "Value" up as well
        assert (first["Value"], first["Errno"]) == (36864, 0)
        assert (later["Value"], later["Errno"]) == (records_received(opened)[1][4], 0)


# --- kaIOSingleConfig ----------------------------------------------------------

def test_config_passes_nine_values_in_order(opened):
    K.kaIOSingleConfig(0, 0, 1, 2, K.KA_REF_AI_DIFFERENTIAL, K.KA_TRIG_CHAN_DEFAULT,
                       K.KA_TRIG_TYPE_SW, 0, 0)
    assert opened.args("kaIOSingleConfig") == [0, 0, 1, 2, K.KA_REF_AI_DIFFERENTIAL,
                                               K.KA_TRIG_CHAN_DEFAULT, K.KA_TRIG_TYPE_SW, 0, 0]


@pytest.mark.parametrize("args, code", [
    ((0, 0, 0, 9, 0, 0, 0, 0, 0), "INVALID_RANGE"),
    ((0, 0, 16, 0, 0, 0, 0, 0, 0), "INVALID_CHANNEL"),
    ((0, 0, 0, 0, 0, 0, K.KA_TRIG_TYPE_EDGE, 0, 0), "INVALID_TRIGGER"),
    ((0, 0, 0, 0, K.KA_REF_AO_GROUND, 0, 0, 0, 0), "INVALID_CONFIG"),
    ((0, 2, 0, K.KA_SINGLE_CONFIG_DIO_OUTPUT, 0, 0, 0, 0, K.KA_IO_SINGLE_CONFIG_DIO_BIT),
     "INVALID_CONFIG"),  # port A sets direction per byte only
    ((0, 4, 0, K.KA_SINGLE_CONFIG_DIO_OUTPUT, 0, 0, 0, 0, 0), "INVALID_CONFIG"),  # input port
    ((0, 6, 0, K.KA_SINGLE_CONFIG_CTR_8254_MODE_0, K.KA_REF_AI_GROUND, 0, 0, 0, 0),
     "INVALID_CONFIG"),
    ((0, 9, 0, 0, 0, 0, 0, 0, 0), "NOT_SUPPORTED"),
    ((2, 0, 0, 0, 0, 0, 0, 0, 0), "DEVICE_UNPLUGGED"),
])
def test_config_refuses_what_the_subdevice_cannot_do(opened, args, code):
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOSingleConfig(*args)
    assert raised.value.args[0] == opened.code(code)


# --- the simulated boards ------------------------------------------------------

def test_analog_output_loops_back_to_input(opened):
    K.kaIOSingleConfig(0, 0, 2, 1, K.KA_REF_AI_GROUND, 0, K.KA_TRIG_TYPE_SW, 0, 0)  # +-5 V
    batch = [write(0, 1, 0, 49152), entry(0, 0, 2), entry(0, 0, 3)]  # 5 V out; 1.25 V constant
    K.kaIOSingle(batch, 0)
    assert [e["Errno"] for e in batch] == [0, 0, 0]
    assert batch[1]["Value"] == 65535  # 5 V is the top of the +-5 V range, clamped
    assert batch[2]["Value"] == round((1.25 + 10) * 65535 / 19.999694824)


def test_digital_ports_honour_direction_and_width(opened):
    out = K.KA_SINGLE_CONFIG_DIO_OUTPUT
    K.kaIOSingleConfig(0, 2, 0, out, 0, 0, 0, 0, K.KA_IO_SINGLE_CONFIG_DIO_BYTE)
    bit = K.KA_IO_SINGLE_TYPE_DIO_BIT
    batch = [write(0, 2, 0, 0xA5), entry(0, 3, 0), entry(0, 3, 5, flags=bit),
             entry(0, 3, 6, flags=bit), write(0, 3, 0, 1), write(0, 2, 0, 0x1FF),
             entry(0, 2, 1, flags=K.KA_IO_SINGLE_TYPE_DIO_BYTE)]
    K.kaIOSingle(batch, 0)
    assert [(e["Value"], e["Errno"]) for e in batch] == [
        (0xA5, 0), (0xA5, 0), (1, 0), (0, 0), (1, opened.code("INVALID_DIRECTION")),
        (0x1FF, opened.code("INVALID_VALUE")), (0, opened.code("INVALID_CHANNEL"))]


def test_counter_counts_down_from_its_load(opened):
    K.kaIOSingleConfig(0, 6, 0, K.KA_SINGLE_CONFIG_CTR_8254_MODE_2, K.KA_REF_CTR_INTERNAL_1MHZ,
                       0, 0, 0, 0)
    K.kaIOSingle([write(0, 6, 0, 50000)], 0)
    reads = [entry(0, 6, 0)]
    K.kaIOSingle(reads, 0)
    assert 0 < reads[0]["Value"] <= 50000
    not_configured = [entry(0, 7, 0)]
    K.kaIOSingle(not_configured, 0)
    assert not_configured[0]["Errno"] == opened.code("NOT_CONFIGURED")


@pytest.mark.parametrize("prepare, flags, code", [
    (lambda sim: kaDriver.kaClose(0), 0, "NOT_OPEN"),
    (lambda sim: None, 1, "INVALID_FLAGS"),
    (lambda sim: sim.foreign_lock(0, 3), 0, "LOCKED"),
])
def test_call_level_faults_fail_the_call(opened, prepare, flags, code):
    prepare(opened)
    batch = [entry(0, 0, 0), entry(0, 3, 0)]
    before = copy.deepcopy(batch)
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOSingle(batch, flags)
    assert raised.value.args[0] == opened.code(code) and batch == before
