"""Device and subdevice queries and their remote twins."""

import json
import time

import pytest

import kaDriver
from catalogue import CATALOGUE

K = kaDriver
REMOTE = "daq-lab-2"


def test_default_system_walk(opened):
    assert K.kaQueryNumberDevices() == 3
    assert K.kaQueryNameDevice(0) == "TX-PCI-1616"
    assert K.kaQueryNameDeviceDriver(1) == "txkestra"
    assert K.kaQueryVersionDeviceDriver(0) == 0x02040008
    assert K.kaQuerySubdeviceType(0, 0) == (K.KA_TYPE_AI, K.KA_SUBTYPE_STREAMING)
    assert K.kaQueryNumberChannels(0, 0) == 16
    assert K.kaQueryNumberRanges(0, 0, K.KA_UNIT_AMPERE) == 0
    assert K.kaQueryRangeInfo(0, 0, 0) == (K.KA_UNIT_VOLT, -10.0, 9.999694824, 65535)
    info = K.kaQueryInfoDevice(0)
    assert len(info) == 8 and all(type(v) is int for v in info)
    assert info[7] == K.KA_PLUGGED_IN
    assert K.kaQueryInfoDevice(2)[7] == K.KA_PLUGGED_OUT


def test_no_devices(opened):
    opened.load_system(json.dumps(
        {"library_version": 1, "main_driver_version": 1, "devices": []}))
    assert K.kaQueryNumberDevices() == 0


@pytest.mark.parametrize("low, high, expected", [
    (-10, 10, None),                       # nothing covers 10.0 exactly: too wide
    (-1, 1, (-2.5, 2.499923706, 65535, 2)),
    (-4.0, 4.0, (-5.0, 4.999847412, 65535, 1)),
    (0.5, 3.0, (0.0, 4.999923706, 65535, 4)),
])
def test_range_by_min_max_writes_back_chosen_bounds(opened, low, high, expected):
    if expected is None:
        with pytest.raises(kaDriver.error) as raised:
            K.kaQueryRangeByMinMax(0, 0, K.KA_UNIT_VOLT, low, high)
        assert raised.value.args[0] == opened.code("NO_MATCHING_RANGE")
        return
    result = K.kaQueryRangeByMinMax(0, 0, K.KA_UNIT_VOLT, low, high)
    assert result == expected
    assert [type(v) for v in result] == [float, float, int, int]
    assert opened.args("kaQueryRangeByMinMax")[3:] == [low, high]


def test_subdevice_by_type_searches_from_given_index(opened):
    assert K.kaQuerySubdeviceByType(0, 0, K.KA_TYPE_CTR, K.KA_SUBTYPE_ANY) == 6
    assert K.kaQuerySubdeviceByType(0, 7, K.KA_TYPE_CTR, K.KA_SUBTYPE_CTR_8254) == 7
    with pytest.raises(kaDriver.error):
        K.kaQuerySubdeviceByType(0, 9, K.KA_TYPE_CTR, K.KA_SUBTYPE_ANY)


def test_caps_args_count_follows_capability_code(opened):
    assert K.kaQuerySubdeviceCapsArgs(0, 6, K.KA_CAP_CTR_WIDTH) == (16,)
    assert opened.args("kaQuerySubdeviceCapsArgs") == [0, 6, K.KA_CAP_CTR_WIDTH, 1]
    with pytest.raises(kaDriver.error) as raised:
        K.kaQuerySubdeviceCapsArgs(0, 6, 0)
    assert raised.value.args[0] == opened.code("INVALID_CAPABILITY")
    assert opened.args("kaQuerySubdeviceCapsArgs")[3] == 8
    system = {"library_version": 1, "main_driver_version": 1, "devices": [{
        "name": "n", "description": "d", "driver_name": "x", "driver_version": 1,
        "info": dict.fromkeys(["vendor_id", "device_id", "serial_no", "bus_type", "bus_no",
                               "dev_no", "func_no"], 0),
        "subdevices": [{"type": "KA_TYPE_DIO", "subtype": "KA_SUBTYPE_SINGLE", "channels": 8,
                        "cap_args": {"0": [3, 1, 4]}}]}]}
    opened.load_system(json.dumps(system))
    assert K.kaQuerySubdeviceCapsArgs(0, 0, 0) == (3, 1, 4, 0, 0, 0, 0, 0)


@pytest.mark.parametrize("name, args, capacity", [
    ("kaQueryNameDevice", (0,), 64),
    ("kaQueryNameDeviceDriver", (0,), 64),
    ("kaQueryDescriptionDevice", (0,), 256),
    ("kaRQueryNameDevice", ("localhost", 0), 64),
    ("kaRQueryDescriptionDevice", ("localhost", 0), 256),
])
def test_text_fills_capacity_less_one(opened, name, args, capacity):
    opened.override_text(name, b"x" * 1000)
    assert getattr(kaDriver, name)(*args) == "x" * (capacity - 1)
    assert opened.args(name)[-1] == capacity


def test_texts_are_latin1(opened):
    opened.override_text("kaQueryNameDevice", "Me\xdfkarte \xb5".encode("latin-1"))
    assert K.kaQueryNameDevice(0) == "Me\xdfkarte \xb5"


@pytest.mark.parametrize("name, args, slot", [
    ("kaQueryVersionLibrary", (), 0),
    ("kaQueryNumberDevices", (), 0),
    ("kaQuerySubdeviceCaps", (0, 0), 0),
    ("kaRQueryNumberChannels", ("localhost", 0, 0), 0),
])
def test_bit_31_reads_negative(opened, name, args, slot):
    opened.override(name, slot, 0x80000000)
    assert getattr(kaDriver, name)(*args) == -2**31


def test_info_items_keep_sign(opened):
    opened.override("kaQueryInfoDevice", 2, 0xFFFFFFFF)
    assert K.kaQueryInfoDevice(0)[2] == -1


@pytest.mark.parametrize("local, remote, args", [
    ("kaQueryNumberDevices", "kaRQueryNumberDevices", ()),
    ("kaQueryNumberSubdevices", "kaRQueryNumberSubdevices", (1,)),
    ("kaQueryNumberChannels", "kaRQueryNumberChannels", (0, 2)),
    ("kaQueryNumberRanges", "kaRQueryNumberRanges", (0, 0, K.KA_UNIT_ANY)),
    ("kaQueryNameDevice", "kaRQueryNameDevice", (2,)),
    ("kaQueryDescriptionDevice", "kaRQueryDescriptionDevice", (1,)),
    ("kaQueryInfoDevice", "kaRQueryInfoDevice", (2,)),
    ("kaQuerySubdeviceType", "kaRQuerySubdeviceType", (0, 9)),
    ("kaQueryRangeInfo", "kaRQueryRangeInfo", (1, 0, 1)),
])
@pytest.mark.parametrize("host", ["localhost", "127.0.0.1", "::1"])
def test_remote_twin_of_loopback_agrees_with_local(opened, local, remote, args, host):
    assert getattr(kaDriver, remote)(host, *args) == getattr(kaDriver, local)(*args)
    assert opened.text(remote) == host


def test_described_remote_host_answers_from_its_system(opened):
    assert K.kaRQueryNumberDevices(REMOTE) == 1
    assert K.kaRQueryNameDevice(REMOTE, 0) == "TX-PCI-0808"
    assert K.kaRQueryRangeInfo(REMOTE, 0, 1, 1) == (K.KA_UNIT_AMPERE, 0.0, 0.02, 65535)


def test_unknown_host_fails_after_a_wait(opened):
    start = time.monotonic()
    with pytest.raises(kaDriver.error) as raised:
        K.kaRQueryNumberDevices("no-such-host.example")
    assert raised.value.args == (opened.code("HOST_UNREACHABLE"), "Remote host not reachable")
    assert time.monotonic() - start >= 0.1


REMOTE_CALLS = [call for call in CATALOGUE if call.kinds.startswith("s")]


@pytest.mark.parametrize("call", REMOTE_CALLS, ids=repr)
@pytest.mark.parametrize("host, refusal", [
    (None, "must be str, not None"), (5, "must be str, not int"),
    ("bad\0host", "must be str without null characters"),
])
def test_host_must_be_a_plain_string(opened, call, host, refusal):
    """A TypeError naming the function, never the library called."""
    args = call.make()
    with pytest.raises(TypeError, match=rf"^{call.label}\(\) argument 1 {refusal}$"):
        call((host, *args[1:]))
    assert opened.calls(call.name) == 0
