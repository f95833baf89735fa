"""Every library operation forced to fail in turn: the module raises the
injected code with its text, returns nothing and leaves its arguments alone."""

import copy
import ctypes

import numpy as np
import pytest

import kaDriver
from catalogue import CATALOGUE, SAMPLE_CALLS

# Codes with a text, and codes the library has no text for (reported as 80).
KNOWN_CODES = range(1, 36)
UNKNOWN_CODES = [36, 79, 80, 2**31 - 1, -1, -2**31]


def library_text(sim, code):
    buffer = ctypes.create_string_buffer(256)
    if sim.lib.kaErrorGetMessage(code, buffer, 256) != 0:
        return None
    return buffer.value.decode("latin-1")


def same(a, b):
    """Deep equality that also compares arrays by type, dtype and values."""
    if isinstance(a, np.ndarray):
        return (type(a) is type(b) and a.dtype == b.dtype and a.shape == b.shape
                and np.array_equal(a, b))
    if isinstance(a, (list, tuple)):
        return (type(a) is type(b) and len(a) == len(b)
                and all(same(x, y) for x, y in zip(a, b)))
    if isinstance(a, dict):
        return (type(a) is type(b) and list(a) == list(b)
                and all(same(a[k], b[k]) for k in a))
    return type(a) is type(b) and a == b


def prepared(sim, call):
    kaDriver.kaOpen(0)
    call.setup(sim)
    call.before()
    return call.make()


def fail_once(sim, call, args, code):
    before = copy.deepcopy(args)
    calls = sim.calls(call.name)
    sim.fail(call.name, code)
    with pytest.raises(kaDriver.error) as raised:
        call(args)
    assert sim.calls(call.name) == calls + 1
    assert same(args, before)
    return raised.value


@pytest.mark.parametrize("call", CATALOGUE, ids=repr)
def test_each_code_raised_with_its_text(sim, call):
    args = prepared(sim, call)
    for code in KNOWN_CODES:
        error = fail_once(sim, call, args, code)
        assert error.args == (code, library_text(sim, code))
        assert type(error.args[0]) is int and type(error.args[1]) is str
    call.before()
    call(args)  # one failure each: the next call goes through


@pytest.mark.parametrize("call", CATALOGUE, ids=repr)
def test_code_without_text_reported_as_80(sim, call):
    args = prepared(sim, call)
    for code in UNKNOWN_CODES:
        error = fail_once(sim, call, args, code)
        assert error.args[0] == 80
        assert str(code) in error.args[1] and len(error.args[1]) < 256
    sim.fail("kaErrorGetMessage", sim.code("INVALID_ARGUMENT"))  # the lookup itself fails
    error = fail_once(sim, call, args, 3)
    assert error.args[0] == 80 and "3" in error.args[1]


@pytest.mark.parametrize("call", SAMPLE_CALLS, ids=repr)
@pytest.mark.parametrize("reported", [-1, -2**31, 2**31 - 1])
def test_impossible_count_raises_value_error(sim, call, reported):
    args = prepared(sim, call)
    before = copy.deepcopy(args)
    sim.override(call.name, 0, reported)
    with pytest.raises(ValueError, match=call.name):
        call(args)
    assert same(args, before)


@pytest.mark.parametrize("call", SAMPLE_CALLS, ids=repr)
def test_returned_memory_cannot_be_resized_or_freed_under_the_array(sim, call):
    array = call(prepared(sim, call))
    values = array.tolist()
    with pytest.raises((AttributeError, TypeError, ValueError)):
        array.base.resize(1 << 20, refcheck=False)
    assert array.tolist() == values
