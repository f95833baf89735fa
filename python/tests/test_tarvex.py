"""The tarvex package against the module and the library it wraps: its
families are the module's constants, its result names and texts are the
library's, its constructors fill exactly the keys the module reads, its
conversions give the library's values, and tarvex-list checks files."""

import json
import os
import re
import subprocess

import numpy as np
import pytest

import kaDriver
import tarvex
from conftest import ROOT
from tarvex import families
from tarvex.listing import REPORT_TOOL, main as tarvex_list

K = kaDriver
FAMILIES = [getattr(families, name) for name in families.__all__]


@pytest.mark.parametrize("family", FAMILIES, ids=lambda family: family.__name__)
def test_family_members_are_the_module_constants(family):
    for member in family:
        assert type(getattr(K, str(member))) is int
        assert getattr(K, str(member)) == member
        assert family(getattr(K, str(member))) is member


def test_every_public_name_is_listed_and_documented():
    """help(tarvex) and editors show a text for each; __all__ leaves none out."""
    public = {name for name, value in vars(tarvex).items() if not name.startswith("_")
              and getattr(value, "__module__", "").startswith("tarvex")}
    assert set(tarvex.__all__) == public
    assert not [name for name in public if not (getattr(tarvex, name).__doc__ or "").strip()]
    assert re.fullmatch(r"\d+\.\d+\.\d+", tarvex.__version__)


def test_flag_combinations_print_every_name():
    caps = K.KA_CAPS_AI_FIFO | K.KA_CAPS_AI_FIFO_THRESHOLD | 0x100
    assert str(tarvex.AiCaps(caps)) == "KA_CAPS_AI_FIFO|KA_CAPS_AI_FIFO_THRESHOLD|0x100"
    assert f"{tarvex.Unit.VOLT} {tarvex.Unit.VOLT:#x}" == "KA_UNIT_VOLT 0x170001"
    assert tarvex.SubdeviceType.name_of(0x180099) == "0x180099"


def test_result_codes_round_trip_with_the_library_texts(sim):
    for code in range(0, 82):
        found = tarvex.result(code)
        if found.name is not None:
            assert sim.code(found.name) == code
        sim.fail("kaQueryVersionLibrary", code)
        if code == 0:
            assert found == (0, None, None) and str(found) == "0: success"
            continue
        with pytest.raises(K.error) as raised:
            K.kaQueryVersionLibrary()
        # Without a text the module reports 80 instead of the code.
        assert raised.value.args[0] == (code if found.text is not None else 80)
        if found.text is not None:
            assert raised.value.args[1] == found.text
            assert str(found) == f"{code} {found.name}: {found.text}"
    assert tarvex.result(sim.code("TIMEOUT")).name == "TIMEOUT"
    with pytest.raises(OverflowError):
        tarvex.result(2**32 + sim.code("TIMEOUT"))  # would read as TIMEOUT in 32 bits


# Each constructor with numpy integers where ints and family members go, and
# the call that packs its result.
ENTRY_CALLS = [
    ("single_entry", lambda entry: K.kaIOSingle([entry], 0),
     lambda: tarvex.single_entry(device=np.int64(0), subdevice=np.int32(0), channel=np.uint8(3),
                                 direction=np.int64(K.KA_DIR_INPUT), value=np.int64(7))),
    ("channel_entry", lambda entry: K.kaIOStreamConfig(
        0, 0, [entry], tarvex.trigger_setup(conv_start_ticks=66), 0, 0),
     lambda: tarvex.channel_entry(channel=np.int16(1), ref=np.int64(K.KA_REF_AI_GROUND))),
    ("trigger_setup", lambda entry: K.kaIOStreamConfig(
        0, 0, [tarvex.channel_entry(channel=0, ref=0)], entry, 0, 0),
     lambda: tarvex.trigger_setup(conv_start_ticks=np.int64(66), scan_stop_count=np.int32(5),
                                  acq_start_type=np.int64(K.KA_TRIG_TYPE_SW),
                                  acq_start_edge=np.int64(K.KA_TRIG_EDGE_RISING),
                                  acq_start_chan=np.int64(K.KA_TRIG_CHAN_DEFAULT),
                                  scan_start_type=np.int64(K.KA_TRIG_TYPE_FOLLOW),
                                  conv_start_type=np.int64(K.KA_TRIG_TYPE_TIMER),
                                  scan_stop_type=np.int64(K.KA_TRIG_TYPE_COUNT),
                                  acq_stop_type=np.int64(K.KA_TRIG_TYPE_NONE))),
    ("start_entry", lambda entry: K.kaIOStreamStart([entry], 0),
     lambda: tarvex.start_entry(device=0, subdevice=np.int64(0),
                                mode=np.int64(K.KA_START_MODE_NONBLOCKING))),
    ("stop_entry", lambda entry: K.kaIOStreamStop([entry], 0),
     lambda: tarvex.stop_entry(device=np.int64(0), subdevice=0,
                               mode=np.int64(K.KA_STOP_MODE_IMMEDIATE))),
]


@pytest.mark.parametrize("call, make", [case[1:] for case in ENTRY_CALLS],
                         ids=[case[0] for case in ENTRY_CALLS])
def test_constructors_give_exactly_the_keys_the_module_reads(opened, call, make):
    try:
        call(make())
    except K.error:
        pass  # the library's verdict: the module packed every key
    for key in make():
        entry = make()
        del entry[key]
        with pytest.raises(TypeError, match=f"^Key '{key}' expected in "):
            call(entry)


def test_constructed_trigger_runs_a_counted_scan(opened):
    _, conv_ticks = K.kaIOStreamFrequencyToTicks(0, 0, tarvex.Timer.CONV_START, 10_000, 0)
    channels = [tarvex.channel_entry(channel=c, ref=tarvex.Reference.AI_GROUND) for c in (0, 1)]
    opened.fast_streams()
    K.kaIOStreamConfig(0, 0, channels, tarvex.trigger_setup(
        conv_start_ticks=conv_ticks, scan_stop_count=50), 0, 0)
    start = tarvex.start_entry(device=0, subdevice=0, mode=tarvex.StartMode.BLOCKING,
                               timeout=1000)
    K.kaIOStreamStart([start], 0)
    samples = K.kaIOStreamRead(0, 0, tarvex.ReadMode.BLOCKING, 200, 0)
    assert len(samples) == 100 and start["Errno"] == 0


def test_opened_closes_also_after_a_failure(sim):
    with pytest.raises(K.error):
        with tarvex.opened():
            K.kaQueryNameDevice(99)
    with pytest.raises(K.error) as raised:
        K.kaQueryNumberDevices()
    assert raised.value.args[0] == sim.code("NOT_OPEN")


# The last scales by 1, so its halves and their neighbours reach the rounding
# exactly as given (0.49999999999999994 must not round up).
RANGES = [(K.KA_UNIT_VOLT, -10.0, 9.999694824, 65535), (K.KA_UNIT_AMPERE, 0.0, 0.02, 4095),
          (K.KA_UNIT_VOLT, -1.0, 0.9995, 7), (K.KA_UNIT_VOLT, 0.0, 2.0, 2)]


@pytest.mark.parametrize("range_info", RANGES)
def test_conversions_match_the_library_element_by_element(range_info):
    _, low, high, max_data = range_info
    digital = np.arange(max_data + 1, dtype=np.int32)
    physical = tarvex.to_physical(digital, range_info)
    assert physical.tolist() == [
        K.kaUtilityDigitalToPhysical(low, high, max_data, int(value),
                                     K.KA_MODULE_TYPE_VESTRA_NONE, 0.0) for value in digital]
    # Every value, the halves between them and the doubles on either side of
    # those, and beyond both ends.
    step = (high - low) / max_data
    halves = np.concatenate([physical[:-1] + step / 2, physical - step / 2])
    probes = np.concatenate([physical, halves, np.nextafter(halves, -np.inf),
                             np.nextafter(halves, np.inf), [low - 1, high + 1, np.inf, -np.inf]])
    assert tarvex.to_digital(probes, range_info).tolist() == [
        K.kaUtilityPhysicalToDigital(low, high, max_data, float(value)) for value in probes]


@pytest.mark.parametrize("function, values", [
    (tarvex.to_physical, [0, 65536]), (tarvex.to_physical, [-1]),
    (tarvex.to_digital, [0.0, np.nan])])
def test_conversions_refuse_what_the_library_refuses(function, values):
    with pytest.raises(ValueError):
        function(values, RANGES[0])


def test_tarvex_list_checks_a_system_file(sim, tmp_path, capfd):
    broken = tmp_path / "broken.json"
    broken.write_text('{"devices": []}')
    assert tarvex_list(["--check", str(broken)]) == 1
    assert f"{broken}: error 17: Invalid system configuration" in capfd.readouterr().err
    valid = tmp_path / "valid.json"
    valid.write_text('{"library_version": "1.0.0.0", "main_driver_version": 1, "devices": []}')
    assert tarvex_list(["--check", str(valid)]) == 0
    assert capfd.readouterr().out == f"{valid}: a valid system of 0 device(s)\n"


def test_latin1_texts_read_alike_in_every_tool(sim, tmp_path, capfd):
    with open(os.path.join(ROOT, "sim", "default_system.json"), encoding="utf-8") as built_in:
        system = json.load(built_in)
    system["devices"][0]["name"] = "Gerät-ß"
    path = tmp_path / "system.json"
    path.write_text(json.dumps(system, ensure_ascii=False), encoding="utf-8")
    K.kaConfigLoad(str(path))
    K.kaOpen(0)
    assert K.kaQueryNameDevice(0) == "Gerät-ß"
    assert tarvex_list([]) == 0
    assert "Device 0: Gerät-ß, KA_PLUGGED_IN" in capfd.readouterr().out
    report = subprocess.run([REPORT_TOOL], capture_output=True, check=True,
                            env=dict(os.environ, TARVEX_SIM_CONFIG=str(path), LC_ALL="C.UTF-8"))
    assert "Device name: Gerät-ß" in report.stdout.decode("utf-8")


def test_tarvex_list_shows_the_wiring_from_both_sides(sim, capfd):
    assert tarvex_list(["--signals"]) == 0
    shown = capfd.readouterr().out.splitlines()
    for line in ["subdevice 0 KA_TYPE_AI channel 2: loopback: device 0, subdevice 1, channel 0",
                 "subdevice 1 KA_TYPE_AO channel 0: read back by device 0, subdevice 0, channel 2",
                 "subdevice 4 KA_TYPE_DI: lines: device 0, subdevice 5",
                 "subdevice 5 KA_TYPE_DO: read by device 0, subdevice 4"]:
        assert f"    {line}" in shown


@pytest.mark.parametrize("where, seen", [
    ((0, 0, 0), "sine: amplitude 5, frequency 50 Hz, offset 0"),
    ((0, 0, 1), "square: amplitude 2, frequency 10 Hz, offset 1"),
    ((0, 0, 2), "loopback: device 0, subdevice 1, channel 0"),
    ((0, 0, 3), "constant: 1.25"),
    ((0, 0, 4), None),
    ((0, 4, 0), "lines: device 0, subdevice 5"),
    ((0, 0, 16), ValueError), ((3, 0, 0), ValueError)])
def test_wiring_tells_what_each_input_sees(sim, where, seen):
    if seen is ValueError:
        with pytest.raises(ValueError):
            sim.wiring(*where)
    else:
        assert sim.wiring(*where) == seen
