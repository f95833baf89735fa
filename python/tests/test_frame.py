"""The module frame: method table, exception, error tuple, constants."""

import os
import re
import subprocess
import sys
import types

import pytest

import kaDriver
from catalogue import CATALOGUE
from conftest import MODULE_DIR, ROOT


def test_functions_in_table_order_without_docstrings():
    functions = [name for name, value in vars(kaDriver).items()
                 if isinstance(value, types.BuiltinFunctionType)]
    assert functions == [call.name for call in CATALOGUE]
    assert len(functions) == 52
    assert kaDriver.__doc__ is None
    assert all(getattr(kaDriver, name).__doc__ is None for name in functions)


def test_functions_take_no_keywords():
    with pytest.raises(TypeError):
        kaDriver.kaOpen(flags=0)


def test_only_export_is_the_init_entry():
    symbols = subprocess.run(["nm", "-D", "--defined-only", kaDriver.__file__],
                             capture_output=True, text=True, check=True).stdout.split("\n")
    assert [line.split()[-1] for line in symbols if line.strip()] == ["PyInit_kaDriver"]


def test_error_class():
    assert issubclass(kaDriver.error, Exception)
    assert kaDriver.error.__module__ == "kaDriver" and kaDriver.error.__name__ == "error"
    assert kaDriver.KA_ERROR_MSG_MAX_COUNT == 256


def accepted_count(message, label):
    """The argument count a parser's TypeError says the function takes."""
    told = re.match(rf"{label}\(\) takes (?:exactly )?(no|one|\d+) arguments? ", message)
    assert told, message
    return int({"no": "0", "one": "1"}.get(told.group(1), told.group(1)))


@pytest.mark.parametrize("call", CATALOGUE, ids=repr)
def test_wrong_argument_count_never_reaches_library(opened, call):
    """One argument too few (where it takes any) and one too many: the
    parser's TypeError names the function and the count it takes, and the
    library is not called."""
    args = call.make()
    assert len(args) == len(call.kinds)
    calls = opened.calls(call.name)
    for wrong in [args[:-1]] * bool(args) + [args + (0,)]:
        with pytest.raises(TypeError) as raised:
            call(wrong)
        assert accepted_count(str(raised.value), call.label) == len(args)
    assert opened.calls(call.name) == calls


@pytest.mark.parametrize("value", [2**31, -2**31 - 1, 2**64])
def test_parser_refuses_values_beyond_32_bits(sim, value):
    with pytest.raises(OverflowError):
        kaDriver.kaLockDriver(value, 0)
    assert sim.calls("kaLockDriver") == 0


def test_driver_failure_raises_code_and_text(opened):
    opened.fail("kaLockDriver", 3)
    with pytest.raises(kaDriver.error) as raised:
        kaDriver.kaLockDriver(kaDriver.KA_LOCK_SET, 0)
    assert raised.value.args == (3, "Invalid device index")
    assert type(raised.value.args[0]) is int and type(raised.value.args[1]) is str


def test_failed_message_lookup_reports_80(opened):
    opened.fail("kaIOResetDevice", 12)
    opened.fail("kaErrorGetMessage", 1)
    with pytest.raises(kaDriver.error) as raised:
        kaDriver.kaIOResetDevice(0, 0)
    code, text = raised.value.args
    assert code == 80 and "12" in text and len(text) < 256


def test_message_text_is_latin1(opened):
    opened.fail("kaClose", 5)
    opened.override_text("kaErrorGetMessage", "Kanal gest\xf6rt".encode("latin-1"))
    with pytest.raises(kaDriver.error) as raised:
        kaDriver.kaClose(0)
    assert raised.value.args == (5, "Kanal gest\xf6rt")


@pytest.mark.parametrize("call, operation, expected", [
    (lambda: kaDriver.kaOpen(0), "kaOpen", [0]),
    (lambda: kaDriver.kaClose(0), "kaClose", [0]),
    (lambda: kaDriver.kaLockDriver(kaDriver.KA_LOCK_SET, False), "kaLockDriver", [0x10002, 0]),
    (lambda: kaDriver.kaLockDevice(1, kaDriver.KA_LOCK_SET, 0), "kaLockDevice",
     [1, 0x10002, 0]),
    (lambda: kaDriver.kaLockSubdevice(0, 2, kaDriver.KA_LOCK_CHECK, 0), "kaLockSubdevice",
     [0, 2, 0x10003, 0]),
    (lambda: kaDriver.kaIOResetDevice(1, 0), "kaIOResetDevice", [1, 0]),
    (lambda: kaDriver.kaIOResetSubdevice(0, 3, 0), "kaIOResetSubdevice", [0, 3, 0]),
])
def test_simple_wrappers_pass_arguments_in_order(opened, call, operation, expected):
    assert call() is None
    assert opened.args(operation) == expected


def test_bool_passes_as_integer(opened):
    with pytest.raises(kaDriver.error):
        kaDriver.kaLockDriver(True, 0)  # 1 is no lock request
    assert opened.args("kaLockDriver") == [1, 0]


def test_lock_requests_are_tracked(opened):
    kaDriver.kaLockSubdevice(0, 2, kaDriver.KA_LOCK_SET, 0)
    assert opened.lock_state(0, 2) == 1
    opened.foreign_lock(0, 3)
    with pytest.raises(kaDriver.error) as raised:
        kaDriver.kaLockDevice(0, kaDriver.KA_LOCK_SET, 0)
    assert raised.value.args[0] == opened.code("LOCKED")
    with pytest.raises(kaDriver.error):
        kaDriver.kaIOResetSubdevice(0, 3, 0)
    kaDriver.kaIOResetSubdevice(0, 2, 0)
    kaDriver.kaClose(0)
    assert opened.lock_state(0, 2) == 0


def test_operations_before_open_fail(sim):
    assert kaDriver.kaQueryVersionLibrary() > 0
    with pytest.raises(kaDriver.error) as raised:
        kaDriver.kaQueryNumberDevices()
    assert raised.value.args == (sim.code("NOT_OPEN"), "Driver library is not open")


def test_numpy_missing_fails_the_import(tmp_path):
    fake = tmp_path / "numpy"
    fake.mkdir()
    (fake / "__init__.py").write_text("raise ImportError('no numpy here')\n")
    result = subprocess.run(
        [sys.executable, "-c", "import kaDriver"], capture_output=True, text=True,
        env=dict(os.environ, PYTHONPATH=f"{tmp_path}:{MODULE_DIR}"))
    assert result.returncode != 0
    assert "no numpy here" in result.stderr
    assert "ImportError: numpy.core.multiarray failed to import" in result.stderr


# --- constants -------------------------------------------------------------

def _constant_names():
    return [name for name in vars(kaDriver) if name.startswith("KA_")]


def _table_records():
    """The constant list the library is built from, in order, repeats included."""
    with open(os.path.join(ROOT, "driver", "ka_constants.def")) as table:
        return re.findall(r"^KA_CONSTANT(?:_AGAIN)?\((\w+), (\w+)\)", table.read(), re.M)


def test_every_constant_is_a_distinct_int_attribute():
    names = _constant_names()
    assert len(_table_records()) == 206
    assert len(names) == len(set(names)) == 202
    assert all(type(getattr(kaDriver, name)) is int for name in names)
    for name, value in _table_records():
        assert getattr(kaDriver, name) == int(value, 0)


@pytest.mark.parametrize("name, value", [
    ("KA_TYPE_AI", 1572866), ("KA_LOCK_SET", 65538), ("KA_TRIG_TYPE_NONE", 0),
    ("KA_TYPE_INVALID", 0), ("KA_CAPS_DIO_DIR_BIT", 1), ("KA_CAP_AI_FIFO_SIZE", 0x1D0000),
    ("KA_ACCESS_TYPE_LOCAL", 0x1D0001), ("KA_ERROR_MSG_MAX_COUNT", 256),
    ("KA_DEVICE_DESCRIPTION_MAX_COUNT", 256), ("KA_PLUGGED_OUT", 0x1B0002),
])
def test_constant_examples(name, value):
    assert getattr(kaDriver, name) == value


# Enumeration families: every member lies in its group, numbered from 1.
GROUPS = {
    "KA_LOCK_": 0x1, "KA_SWITCH_": 0x2, "KA_REF_DIO_FIFO_": 0x3, "KA_REF_CTR_": 0x4,
    "KA_REF_AI_": 0x5, "KA_REF_AO_": 0x6, "KA_TRIG_CHAN_": 0x7, "KA_TRIG_TYPE_": 0x8,
    "KA_TRIG_EDGE_": 0x9, "KA_TIMER_": 0xA, "KA_IRQ_SOURCE_": 0xB, "KA_IRQ_EDGE_": 0xC,
    "KA_SINGLE_CONFIG_DIO_": 0xD, "KA_SINGLE_CONFIG_CTR_": 0xE, "KA_DIR_": 0xF,
    "KA_READ_MODE_": 0x10, "KA_WRITE_MODE_": 0x11, "KA_START_MODE_": 0x12,
    "KA_STOP_MODE_": 0x13, "KA_WAIT_": 0x14, "KA_STATUS_": 0x15, "KA_MODULE_TYPE_": 0x16,
    "KA_UNIT_": 0x17, "KA_TYPE_": 0x18, "KA_SUBTYPE_": 0x19, "KA_BUS_TYPE_": 0x1A,
    "KA_PLUGGED_": 0x1B, "KA_EXTENSION_TYPE_": 0x1C, "KA_ACCESS_TYPE_": 0x1D,
}
FLAG_PREFIXES = ("KA_CAPS_", "KA_IO_")


@pytest.mark.parametrize("prefix, group", sorted(GROUPS.items()))
def test_enumeration_scheme(prefix, group):
    members = [getattr(kaDriver, n) for n in _constant_names()
               if n.startswith(prefix) and not n.endswith("NO_FLAGS")]
    assert members
    nonzero = sorted(v for v in members if v)
    assert all(v >> 16 == group for v in nonzero)
    assert [v & 0xFFFF for v in nonzero] == list(range(1, len(nonzero) + 1))


def test_flag_scheme():
    for name in _constant_names():
        value = getattr(kaDriver, name)
        if name.endswith("NO_FLAGS"):
            assert value == 0, name
        elif name.startswith(FLAG_PREFIXES) and not name.startswith("KA_IO_STREAM_READ_"):
            assert value & (value - 1) == 0 and value > 0, name
    assert kaDriver.KA_IO_STREAM_READ_FRAMES == 1
    assert {kaDriver.KA_CAP_AI_FIFO_SIZE, kaDriver.KA_CAP_AO_FIFO_SIZE,
            kaDriver.KA_CAP_CTR_WIDTH} == {0x1D0000, 0x1F0000, 0x200000}
