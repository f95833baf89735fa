"""Utilities: channel extraction, conversions, pulse-width outputs and
configuration load."""

import json
import struct

import numpy as np
import pytest

import kaDriver

K = kaDriver
LIST = [dict(Channel=4), dict(Channel=7, Ref=1), dict(Channel=4)]


def test_extract_picks_each_listed_position(opened):
    samples = np.arange(10, dtype=np.int32)
    assert K.kaUtilityExtractValues(7, samples, LIST).tolist() == [1, 4, 7]
    assert K.kaUtilityExtractValues(4, samples, LIST).tolist() == [0, 2, 3, 5, 6, 8, 9]
    assert opened.captured_address("kaUtilityExtractValues", 0) == samples.ctypes.data
    entries = struct.unpack("<12i", opened.captured_bytes("kaUtilityExtractValues", 1))
    assert entries == (4, 0, 0, 0, 7, 0, 0, 0, 4, 0, 0, 0)  # only the channel is filled
    assert opened.args("kaUtilityExtractValues") == [4, 10, 3, 10]


def test_extract_matches_numpy_slicing(opened):
    samples = np.random.default_rng(1).integers(-2**31, 2**31, 3000, dtype=np.int32)
    result = K.kaUtilityExtractValues(2, list(samples), [dict(Channel=c) for c in range(3)])
    assert np.array_equal(result, samples[2::3])
    assert result.dtype == np.int32


@pytest.mark.parametrize("samples, entries, count", [([], [dict(Channel=1)], 0),
                                                     ([5, 6], [dict(Channel=1)], 2)])
def test_extract_edge_counts(opened, samples, entries, count):
    assert len(K.kaUtilityExtractValues(1, samples, entries)) == count


def test_extract_with_empty_list_still_calls_library(opened):
    with pytest.raises(kaDriver.error) as raised:
        K.kaUtilityExtractValues(0, [1, 2], [])
    assert raised.value.args[0] == opened.code("INVALID_COUNT")
    assert opened.args("kaUtilityExtractValues")[2] == 0


@pytest.mark.parametrize("samples, entries, error, message", [
    (5, (), ValueError, None),                       # numpy's error comes first
    ([[1, 2], [3, 4]], (), ValueError, None),
    ([1], (), TypeError, "'Python list' type expected (not 'tuple') as argument 3"),
    ([1], [dict(Channel=1), 3], TypeError,
     "'Python dictionary' type expected (not 'int') as list item in argument 3"),
    ([1], [dict(Channel=1), dict(Chan=1)], TypeError,
     "Key 'Channel' expected in config list entry 1"),
    ([1], [dict(Channel="1")], TypeError,
     "'Python integer' type expected (not 'str') as argument for 'Channel'"),
    ([1], [dict(Channel=2**40)], OverflowError,
     "'Python integer' value out of 32-bit range as argument for 'Channel'"),
])
def test_extract_argument_faults(opened, samples, entries, error, message):
    with pytest.raises(error) as raised:
        K.kaUtilityExtractValues(1, samples, entries)
    if message:
        assert str(raised.value) == message
    assert opened.calls("kaUtilityExtractValues") == 0


@pytest.mark.parametrize("count", [4, -1])
def test_extract_refuses_counts_outside_the_buffer(opened, count):
    opened.override("kaUtilityExtractValues", 0, count)
    with pytest.raises(ValueError, match="kaUtilityExtractValues"):
        K.kaUtilityExtractValues(1, [1, 2, 3], [dict(Channel=1)])


@pytest.mark.parametrize("physical, digital", [(0.0, 32768), (-10.0, 0), (9.999694824, 65535),
                                               (15.0, 65535), (-11, 0), (5, 49152)])
def test_physical_to_digital_clamps_at_the_range(opened, physical, digital):
    result = K.kaUtilityPhysicalToDigital(-10, 9.999694824, 65535, physical)
    assert result == digital and type(result) is int


@pytest.mark.parametrize("module, reference, expected", [
    (K.KA_MODULE_TYPE_VESTRA_NONE, 0.0, 5.0),
    (K.KA_MODULE_TYPE_VESTRA_DIFF16_50V, 0.0, 25.0),
    (K.KA_MODULE_TYPE_VESTRA_CURRENT16_0_20MA, 250.0, 0.02),
])
def test_digital_to_physical(opened, module, reference, expected):
    result = K.kaUtilityDigitalToPhysical(-10, 10, 65535, 49151, module, reference)
    assert result == pytest.approx(expected, rel=1e-4) and type(result) is float
    assert opened.args("kaUtilityDigitalToPhysical")[3:] == [49151, module, reference]


@pytest.mark.parametrize("args, code", [
    ((5, -5, 65535, 0, 0, 0.0), "INVALID_VALUE"),
    ((-10, 10, 65535, 70000, 0, 0.0), "INVALID_VALUE"),
    ((-10, 10, 65535, 0, K.KA_MODULE_TYPE_VESTRA_RTD8_PT100, 0.0), "NOT_SUPPORTED"),
])
def test_digital_to_physical_refusals(opened, args, code):
    with pytest.raises(kaDriver.error) as raised:
        K.kaUtilityDigitalToPhysical(*args)
    assert raised.value.args[0] == opened.code(code)


def test_pwm_state_is_held_and_checked(opened):
    K.kaUtilityPWMStart(0, 6, 7, 8, K.KA_REF_CTR_INTERNAL_1MHZ, 100, 25, 0)
    assert opened.args("kaUtilityPWMStart") == [0, 6, 7, 8, K.KA_REF_CTR_INTERNAL_1MHZ, 100, 25, 0]
    with pytest.raises(kaDriver.error) as raised:
        K.kaUtilityPWMStart(0, 8, 7, 6, K.KA_REF_CTR_INTERNAL_1MHZ, 100, 25, 0)
    assert raised.value.args[0] == opened.code("BUSY")
    with pytest.raises(kaDriver.error):
        K.kaUtilityPWMStop(0, 7)  # not the leading counter
    K.kaUtilityPWMStop(0, 6)
    with pytest.raises(kaDriver.error) as raised:
        K.kaUtilityPWMStop(0, 6)
    assert raised.value.args[0] == opened.code("NOT_CONFIGURED")
    with pytest.raises(kaDriver.error) as raised:
        K.kaUtilityPWMStart(0, 0, 7, 8, K.KA_REF_CTR_INTERNAL_1MHZ, 100, 25, 0)
    assert raised.value.args[0] == opened.code("NOT_SUPPORTED")


def test_config_load_replaces_and_restores_the_system(opened, tmp_path):
    path = tmp_path / "lab.json"
    path.write_text(json.dumps({"library_version": "1.0.0.0", "main_driver_version": 1,
                                "devices": []}))
    K.kaConfigLoad(str(path))
    assert opened.text("kaConfigLoad") == str(path)
    assert K.kaQueryNumberDevices() == 0
    K.kaConfigLoad(None)
    assert opened.text("kaConfigLoad") == "" and K.kaQueryNumberDevices() == 3
    path.write_text("{")
    with pytest.raises(kaDriver.error) as raised:
        K.kaConfigLoad(str(path))
    assert raised.value.args[0] == opened.code("CONFIG_INVALID")
    assert K.kaQueryNumberDevices() == 3


@pytest.mark.parametrize("argument, error", [(5, TypeError), ("a\0b", ValueError)])
def test_config_load_argument_faults(opened, argument, error):
    with pytest.raises(error):
        K.kaConfigLoad(argument)
    assert opened.calls("kaConfigLoad") == 0
