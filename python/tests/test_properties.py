"""Every function under arbitrary arguments: it returns or raises one of the
module's documented exceptions, never crashes, and a failed call leaves every
list, dictionary and array it was given exactly as it was."""

import os
import tempfile

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis.configuration import set_hypothesis_home_dir
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import kaDriver
from catalogue import (CATALOGUE, INPUT, OUTPUT, channel, pulse_digital_input,
                       single_entries, start_entries, stop_entries, trigger)

# Hypothesis keeps a character table cache; not in the source tree.
set_hypothesis_home_dir(os.path.join(tempfile.gettempdir(), "kaDriver-hypothesis"))

K = kaDriver
ALLOWED = (TypeError, OverflowError, ValueError, MemoryError, kaDriver.error)

# Fixed seed and no example database: the same examples on every run, and no
# files left behind.
RUNS = settings(derandomize=True, database=None, deadline=None,
                suppress_health_check=[HealthCheck.function_scoped_fixture,
                                       HealthCheck.too_slow, HealthCheck.data_too_large])


class Tagged(int):
    pass


class Key(str):
    """A key equal to ours but not the same object: found only by lookup."""


class SubList(list):
    pass


class SubDict(dict):
    pass


def object_array(items):
    array = np.empty(len(items), dtype=object)
    array[:] = items
    return array


CONSTANTS = sorted({v for n, v in vars(K).items() if n.startswith("KA_") and -2**31 <= v < 2**31})
LIMITS = [2**31 - 1, -2**31, 2**31, -2**31 - 1, 2**32 - 1, 2**63, -2**63 - 1, 2**100]
# Values a 32-bit argument takes, and those beyond it.
INTEGER = st.one_of(st.integers(-2, 12), st.sampled_from(CONSTANTS), st.booleans(),
                    st.integers(-2, 12).map(Tagged), st.integers(-2**31, 2**31 - 1))
BEYOND = st.one_of(st.sampled_from(LIMITS), st.integers(min_value=2**31).map(Tagged),
                   st.integers(max_value=-2**31 - 1))
TEXT = st.text(st.characters(blacklist_categories=()), max_size=12)


def containers(inner):
    return st.one_of(st.lists(inner, max_size=3), st.tuples(inner, inner),
                     st.dictionaries(TEXT, inner, max_size=3))


def neither_int_nor_text(value):
    return not isinstance(value, (int, str))


def every_other(array):
    return array[::2]


def byte_swapped(array):
    return array.view(array.dtype.newbyteorder())


def read_only(array):
    array.setflags(write=False)
    return array


def unaligned(count):
    return np.frombuffer(bytearray(4 * count + 1), dtype=np.int32, offset=1)


def with_nul(text):
    return text + "\0"


# Strategies use named functions, not lambdas: Hypothesis reads a lambda's
# source to describe it, and that reading has failed on us once.
ANYTHING = st.recursive(
    st.one_of(st.none(), st.booleans(), st.integers(), st.integers().map(Tagged), st.floats(),
              st.complex_numbers(), TEXT, st.binary(max_size=4), st.builds(object),
              st.just(np.int32(3)), st.just(np.float64(2.5))),
    containers, max_leaves=6)
# For arguments where an arbitrary int or str could block or wait (below).
NO_INT_OR_TEXT = ANYTHING.filter(neither_int_nor_text)

SAMPLES = st.one_of(
    hnp.arrays(st.sampled_from([np.int32, np.int16, np.int64, np.uint32, np.float64, np.float32,
                                np.bool_, np.complex128, ">i4", "U3", "M8[s]"]),
               hnp.array_shapes(min_dims=0, max_dims=2, min_side=0, max_side=6)),
    hnp.arrays(np.int32, st.integers(0, 40)).map(every_other),
    hnp.arrays(np.int32, st.integers(0, 40)).map(byte_swapped),
    hnp.arrays(np.int32, st.integers(0, 40)).map(read_only),
    st.integers(0, 40).map(unaligned),
    st.lists(st.one_of(st.integers(), st.floats(), TEXT), max_size=8),
    st.lists(st.one_of(st.integers(-5, 5), st.none(), st.builds(object)), max_size=5)
    .map(object_array),
    ANYTHING)


@st.composite
def perturbed_record(draw, template, ticks=()):
    """A valid record with a few keys missing, of the wrong kind or out of
    range, keys only equal to ours, and keys of the caller's own."""
    record = draw(st.sampled_from([dict, SubDict]))(template)
    for _ in range(draw(st.sampled_from([0, 0, 1, 2]))):
        key = draw(st.sampled_from(list(template)))
        change = draw(st.sampled_from(["missing", "value", "beyond", "other", "lookup"]))
        value = record.pop(key, template[key])
        if change == "missing":
            continue
        if change == "value":
            value = draw(st.integers(-2**63, 2**63 - 1) if key in ticks else INTEGER)
        elif change == "beyond":
            value = draw(BEYOND)
        elif change == "other":
            value = draw(ANYTHING)
        record[Key(key) if change == "lookup" else key] = value
    record.update(draw(st.dictionaries(TEXT, ANYTHING, max_size=2)))
    return record


def record_lists(template):
    entry = st.one_of(perturbed_record(template), perturbed_record(template), ANYTHING)
    return st.one_of(st.lists(entry, max_size=4), st.lists(entry, max_size=4).map(SubList))


KINDS = {
    "i": INTEGER,
    "L": st.one_of(INTEGER, st.integers()),
    "d": st.one_of(st.floats(), st.floats(-20, 20), INTEGER),
    # Hosts the system knows, or none the library is given: an unknown host
    # costs the library's unreachable delay.
    "s": st.one_of(st.sampled_from(["daq-lab-2", "localhost"]), st.just("daq-lab-2").map(Key),
                   TEXT.map(with_nul), st.just("\udc80")),
    "z": st.one_of(st.none(), TEXT),
    # No interrupt wait may go on without limit (a time-out of 0) or for long.
    "W": st.one_of(st.integers(1, 3), st.integers(1, 3).map(Tagged), st.integers(max_value=-1),
                   BEYOND, st.floats(), st.none()),
    # A count near 2**31 makes the module allocate 8 GB for the result.
    "N": st.one_of(st.integers(-3, 300), BEYOND),
    "A": SAMPLES,
    "G": record_lists(single_entries()[0]),
    "S": record_lists(start_entries()[0]),
    "P": record_lists(stop_entries()[0]),
    "C": record_lists(channel()),
    "X": record_lists({"Channel": 4}),
    "T": st.one_of(perturbed_record(trigger(), {"AcqStartTicks", "ScanStartTicks",
                                                "ConvStartTicks"}), ANYTHING),
}
BOUNDED = {"W": KINDS["W"], "N": KINDS["N"], "s": KINDS["s"]}


@st.composite
def argument_tuples(draw, call):
    """The arguments of a call that succeeds, with a few changed (another
    value of the right kind, one beyond range, any object) and sometimes one
    too few or too many."""
    kinds = call.kinds
    args = [draw(BOUNDED[k]) if k == "W" else v for k, v in zip(kinds, call.make())]
    for _ in range(draw(st.sampled_from([0, 1, 1, 2, 3])) if args else 0):
        at = draw(st.integers(0, len(args) - 1))
        other = NO_INT_OR_TEXT if kinds[at] in BOUNDED else ANYTHING
        args[at] = draw(st.one_of(KINDS[kinds[at]], KINDS[kinds[at]], BEYOND, other))
    arity = draw(st.sampled_from([0, 0, 0, 0, -1, 1]))
    if arity < 0 and args:
        args.pop(draw(st.integers(0, len(args) - 1)))
    elif arity > 0:
        args.append(draw(ANYTHING))
    return tuple(args)


def snapshot(value):
    """The structure of value with its containers copied and every other
    object kept by identity, arrays by their bytes."""
    if isinstance(value, np.ndarray):
        return (np.ndarray, type(value), value.dtype, value.shape, value.flags.writeable,
                np.array(value, copy=True).tobytes())
    if isinstance(value, (list, tuple)):
        return (list, type(value), [snapshot(v) for v in value])
    if isinstance(value, dict):
        return (dict, type(value), [(id(k), snapshot(v)) for k, v in value.items()])
    return (id(value),)


def prepare(sim):
    """The library opened, both streams of the first board set up but not
    running (so a blocking read, write or status wait returns at once) and an
    interrupt come on a digital input (other waits run to their short time-out)."""
    sim.reset()
    K.kaOpen(0)
    K.kaIOStreamConfig(*INPUT, [channel()], trigger(), 0, 0)
    K.kaIOStreamConfig(*OUTPUT, [channel(ref=K.KA_REF_AO_GROUND)], trigger(), 0, 0)
    K.kaIOIrqStart(0, 4, 2, K.KA_IRQ_SOURCE_DIO_LINE, K.KA_IRQ_EDGE_RISING, 0, 0)
    pulse_digital_input()


@pytest.mark.parametrize("call", CATALOGUE, ids=repr)
def test_arbitrary_arguments(sim, call):
    # The list, dictionary and array arguments have the most to explore.
    @settings(RUNS, max_examples=200 if set(call.kinds) & set("GSPCXTA") else 60)
    @given(argument_tuples(call))
    def check(args):
        prepare(sim)
        before = snapshot(args)
        try:
            result = call(args)
        except ALLOWED:
            assert snapshot(args) == before
        else:
            assert not isinstance(result, tuple) or None not in result

    check()
