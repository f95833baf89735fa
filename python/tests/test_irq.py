"""Interrupts: kaIOIrqStart, kaIOIrqWait, kaIOIrqStop."""

import time

import pytest

import kaDriver
from catalogue import single_write

K = kaDriver
EXT = (0, 9, 0)      # the PCI board's external interrupt
DI = (0, 4)          # an input port whose lines read the output port below
DO = (0, 5)


def set_outputs(value):
    K.kaIOSingle([single_write(*DO, 0, value)], 0)


@pytest.mark.parametrize("argument, word", [(-1, -1), (4294967295, -1), (2**32, 0), (7, 7),
                                            (True, 1), (-2**63, 0)])
def test_start_argument_takes_low_32_bits(opened, argument, word):
    K.kaIOIrqStart(*EXT, 0, K.KA_IRQ_EDGE_RISING, argument, 0)
    assert opened.args("kaIOIrqStart") == [0, 9, 0, 0, K.KA_IRQ_EDGE_RISING, word, 0]


@pytest.mark.parametrize("argument, type_name", [(1.5, "float"), ("1", "str"), (None, "NoneType")])
def test_start_argument_must_be_an_integer(opened, argument, type_name):
    with pytest.raises(TypeError) as raised:
        K.kaIOIrqStart(*EXT, 0, K.KA_IRQ_EDGE_RISING, argument, 0)
    assert str(raised.value) == (f"'Python (long) integer' type expected (not '{type_name}') "
                                 "as argument 6")
    assert opened.calls("kaIOIrqStart") == 0


def test_wait_result_kinds(opened):
    K.kaIOIrqStart(*EXT, 0, K.KA_IRQ_EDGE_RISING, 0, 0)
    opened.override("kaIOIrqWait", 0, -5)
    opened.override("kaIOIrqWait", 1, 0x80000000)
    assert K.kaIOIrqWait(*EXT, 1000, 0) == (-5, 2147483648)
    opened.override("kaIOIrqWait", 1, 5)
    count, value = K.kaIOIrqWait(*EXT, 1000, 0)
    assert (type(count), type(value), value) == (int, int, 5)


def test_external_interrupt_fires_during_a_wait(opened):
    K.kaIOIrqStart(*EXT, 0, K.KA_IRQ_EDGE_RISING, 0, 0)
    start = time.monotonic()
    first = K.kaIOIrqWait(*EXT, 2000, 0)
    second = K.kaIOIrqWait(*EXT, 2000, 0)
    assert first[0] >= 1 and second[0] > first[0] and second[1] == 1
    assert time.monotonic() - start < 1.0  # 50 interrupts a second
    K.kaIOIrqStop(*EXT, 0)
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOIrqWait(*EXT, 10, 0)
    assert raised.value.args[0] == opened.code("IRQ_NOT_STARTED")


@pytest.mark.parametrize("source, edge, argument, flags, writes, count, value", [
    (K.KA_IRQ_SOURCE_DIO_LINE, K.KA_IRQ_EDGE_RISING, 0, 0, [0x04, 0x00, 0x04], 2, 1),
    (K.KA_IRQ_SOURCE_DIO_LINE, K.KA_IRQ_EDGE_FALLING, 0, 0, [0x04, 0x00, 0x04], 1, 0),
    (K.KA_IRQ_SOURCE_DIO_MASK, K.KA_IRQ_EDGE_ANY, 0x0C, K.KA_IO_IRQ_START_DIO_BYTE,
     [0x01, 0x08, 0x09, 0x01], 2, 0x01),
    (K.KA_IRQ_SOURCE_DIO_PATTERN, K.KA_IRQ_EDGE_ANY, 0xA5, K.KA_IO_IRQ_START_DIO_BYTE,
     [0xA5, 0xA5, 0x00, 0xA5], 2, 0xA5),
])
def test_digital_input_interrupts(opened, source, edge, argument, flags, writes, count, value):
    channel = 2 if source == K.KA_IRQ_SOURCE_DIO_LINE else 0
    K.kaIOIrqStart(*DI, channel, source, edge, argument, flags)
    for w in writes:
        set_outputs(w)
    assert K.kaIOIrqWait(*DI, channel, 1000, 0) == (count, value)


def test_wait_times_out(opened):
    K.kaIOIrqStart(*DI, 0, K.KA_IRQ_SOURCE_DIO_LINE, K.KA_IRQ_EDGE_RISING, 0, 0)
    start = time.monotonic()
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOIrqWait(*DI, 0, 50, 0)
    assert raised.value.args[0] == opened.code("TIMEOUT")
    assert 0.045 <= time.monotonic() - start < 1.0


@pytest.mark.parametrize("args, code", [
    ((0, 9, 0, 0, K.KA_IRQ_EDGE_RISING, 0, 1), "INVALID_FLAGS"),
    ((0, 9, 0, 0, 0, 0, 0), "INVALID_CONFIG"),
    ((0, 4, 0, K.KA_IRQ_SOURCE_DIO_OVER_TEMP, 0, 0, 0), "INVALID_CONFIG"),
    ((0, 2, 0, K.KA_IRQ_SOURCE_DIO_PATTERN, 0, 0, 0), "INVALID_CONFIG"),
    ((0, 4, 8, K.KA_IRQ_SOURCE_DIO_LINE, K.KA_IRQ_EDGE_RISING, 0, 0), "INVALID_CHANNEL"),
    ((0, 0, 0, 0, 0, 0, 0), "NOT_SUPPORTED"),
])
def test_start_refuses_what_the_subdevice_cannot_do(opened, args, code):
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOIrqStart(*args)
    assert raised.value.args[0] == opened.code(code)


def test_start_twice_is_busy_and_stop_needs_a_start(opened):
    K.kaIOIrqStart(*EXT, 0, K.KA_IRQ_EDGE_RISING, 0, 0)
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOIrqStart(*EXT, 0, K.KA_IRQ_EDGE_RISING, 0, 0)
    assert raised.value.args[0] == opened.code("BUSY")
    K.kaIOIrqStop(*EXT, 0)
    with pytest.raises(kaDriver.error) as raised:
        K.kaIOIrqStop(*EXT, 0)
    assert raised.value.args[0] == opened.code("IRQ_NOT_STARTED")
