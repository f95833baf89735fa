"""System files the simulated library refuses: each reason comes back as the
text of the configuration code, through TARVEX_SIM_CONFIG (kaOpen fails) and
through kaConfigLoad (the previous system stays), and nothing is printed."""

import copy
import json

import pytest

import kaDriver

K = kaDriver
PREFIX = "Invalid system configuration: "
SUB0 = "system.devices[0].subdevices[0]"

GOOD = {"library_version": "1.0.0.0", "main_driver_version": 1, "devices": [{
    "name": "n", "description": "d", "driver_name": "x", "driver_version": 1,
    "info": dict.fromkeys(["vendor_id", "device_id", "serial_no", "bus_type", "bus_no",
                           "dev_no", "func_no"], 0),
    "subdevices": [
        {"type": "KA_TYPE_AI", "subtype": "KA_SUBTYPE_SINGLE", "channels": 4,
         "ranges": [{"unit": "KA_UNIT_VOLT", "min": -10, "max": 10, "max_data": 4095}]},
        {"type": "KA_TYPE_DIO", "subtype": "KA_SUBTYPE_SINGLE", "channels": 8}]}]}
GOOD_TEXT = json.dumps(GOOD)
DELETE = object()


def edited(*path_and_value):
    """GOOD with the value at the path replaced (or deleted)."""
    *path, value = path_and_value
    system = copy.deepcopy(GOOD)
    target = system
    for step in path[:-1]:
        target = target[step]
    if value is DELETE:
        del target[path[-1]]
    else:
        target[path[-1]] = value
    return json.dumps(system).encode()


def subdevice(index, key, value):
    return edited("devices", 0, "subdevices", index, key, value)


def replaced(old, new):
    assert old in GOOD_TEXT
    return GOOD_TEXT.replace(old, new, 1).encode()


REMOTE = dict(GOOD, devices=[], hosts={})
BAD_FILES = [
    (subdevice(0, "channels", 2147483647),
     f"{SUB0}.channels: 2147483647 is out of range (0 to 256)"),
    (subdevice(0, "channels", "KA_TYPE_AI"),
     f"{SUB0}.channels: number expected, not the driver constant 'KA_TYPE_AI'"),
    (subdevice(0, "channels", 5.5), f"{SUB0}.channels: integer expected, not 5.5"),
    (subdevice(1, "channels", 64), "system.devices[0].subdevices[1].channels: 64 is out of "
                                   "range (0 to 32)"),
    (subdevice(1, "channels", DELETE), "system.devices[0].subdevices[1]: key 'channels' missing"),
    (edited("devices", 0, "name", "Ger\u00e4t \u20ac"), "system.devices[0].name: character 7, "
     "U+20AC, is not in Latin-1, the character set of the library's texts"),
    (subdevice(0, "type", "KA_UNIT_VOLT"), f"{SUB0}.type: 'KA_UNIT_VOLT' is not a KA_TYPE_ "
                                           "constant"),
    (subdevice(0, "type", "KA_TYPE_AII"), f"{SUB0}.type: 'KA_TYPE_AII' is neither a number nor "
                                          "a KA_TYPE_ constant (did you mean 'KA_TYPE_AI'?)"),
    (edited("devices", 0, "pluged", False),
     "system.devices[0]: unknown key 'pluged' (did you mean 'plugged'?)"),
    (subdevice(0, "signal", {}), f"{SUB0}: unknown key 'signal' (did you mean 'signals'?)"),
    (replaced('"name": "n"', '"name": "n", "name": "m"'),
     "system.devices[0]: duplicated key 'name'"),
    (replaced('"channels": 4', '"channels": 4, "signals": {"1": {"kind": "constant"}, '
                               '"0x1": {"kind": "sine", "amplitude": 1, "frequency": 1}}'),
     f"{SUB0}.signals: duplicated key '0x1'"),
    (edited("devices", 0, "plugged", "no"), "system.devices[0].plugged: true or false expected"),
    (subdevice(0, "ranges", DELETE), f"{SUB0}: an analog subdevice needs at least one range"),
    (subdevice(0, "ranges", [{"unit": "KA_UNIT_VOLT", "min": -1.7e308, "max": 1.7e308,
                              "max_data": 4095}]),
     f"{SUB0}.ranges[0].min: -1.7e+308 is out of range (-1000000 to 1000000)"),
    (subdevice(0, "ranges", [{"unit": "KA_UNIT_VOLT", "min": 1, "max": 1, "max_data": 4095}]),
     f"{SUB0}.ranges[0]: min must be below max"),
    (subdevice(0, "ranges", [{"unit": "KA_UNIT_VOLT", "min": 0, "max": 1, "max_data": 0}]),
     f"{SUB0}.ranges[0].max_data: 0 is out of range (1 to 2147483647)"),
    (subdevice(0, "ranges", GOOD["devices"][0]["subdevices"][0]["ranges"] * 33),
     f"{SUB0}.ranges: at most 32 ranges"),
    (edited("devices", 0, "subdevices", GOOD["devices"][0]["subdevices"][1:] * 65),
     "system.devices[0].subdevices: at most 64 subdevices"),
    (subdevice(0, "buffer_values", 2**22 + 1),
     f"{SUB0}.buffer_values: 4194305 is out of range (1 to 4194304)"),
    (subdevice(0, "irq_rate_hz", 1e9),
     f"{SUB0}.irq_rate_hz: 1000000000.0 is out of range (0 to 1000000)"),
    (subdevice(0, "signals", {"0": {"kind": "sine", "amplitude": 1, "frequency": -1}}),
     f"{SUB0}.signals.0.frequency: -1 is out of range (0 to 1000000)"),
    (subdevice(0, "signals", {"4": {"kind": "constant"}}),
     f"{SUB0}.signals.4: no such channel (the subdevice has 4)"),
    (subdevice(0, "signals", {"0": {"kind": "constant", "value": 1, "amplitude": 2}}),
     f"{SUB0}.signals.0: key 'amplitude' does not belong to a constant signal"),
    (subdevice(0, "signals", {"0": {"kind": "loopback", "device": 0, "subdevice": 1,
                                    "output_channel": 0}}),
     f"{SUB0}.signals.0: loopback must name an analog output channel"),
    (subdevice(1, "cap_args", {"KA_CAP_CTR_WIDTH": 64}),
     "system.devices[0].subdevices[1].cap_args.KA_CAP_CTR_WIDTH: 64 is out of range (1 to 32)"),
    (subdevice(1, "cap_args", {"KA_CAP_CTR_WIDTH": []}),
     "system.devices[0].subdevices[1].cap_args.KA_CAP_CTR_WIDTH: at least one value expected"),
    (edited("main_driver_version", "1.2.3"),
     "system.main_driver_version: version 'a.b.c.d' with parts from 0 to 255 expected"),
    (edited("hosts", {"lab": REMOTE}), "system.hosts.lab: unknown key 'hosts'"),
    (b"[]", "system: object expected"),
    (b"{", "line 1, column 2: unexpected end of file"),
    (GOOD_TEXT.encode() + b"\n}", "line 2, column 1: end of file expected after the system's "
                                  "closing brace"),
    (replaced('"d"', '"d\xff"').replace("\xff".encode(), b"\xff"),
     "line 1, column 101: ill-formed UTF-8 in text"),
    (replaced('"d"', '"d\\u0000"'), "line 1, column 101: text must not hold a NUL character"),
]


def expect_refused(opened, message):
    with pytest.raises(kaDriver.error) as raised:
        K.kaOpen(0)
    assert raised.value.args == (opened.code("CONFIG_INVALID"), PREFIX + message)


@pytest.mark.parametrize("content, message", BAD_FILES, ids=[m for _, m in BAD_FILES])
def test_refused_file_says_where_and_why(sim, tmp_path, monkeypatch, capfd, content, message):
    path = tmp_path / "system.json"
    path.write_bytes(content)
    K.kaOpen(0)
    with pytest.raises(kaDriver.error) as raised:
        K.kaConfigLoad(str(path))
    assert raised.value.args == (sim.code("CONFIG_INVALID"), PREFIX + message)
    assert K.kaQueryNumberDevices() == 3  # the system before stays
    monkeypatch.setenv("TARVEX_SIM_CONFIG", str(path))
    sim.reset()  # reads TARVEX_SIM_CONFIG again, as at load
    expect_refused(sim, message)
    assert capfd.readouterr().err == ""


@pytest.mark.parametrize("name, reason", [("missing.json", "No such file or directory"),
                                          ("", "Is a directory")])
def test_file_problems_carry_the_system_reason(sim, tmp_path, monkeypatch, name, reason):
    path = str(tmp_path / name)
    with pytest.raises(kaDriver.error) as raised:
        K.kaConfigLoad(path)
    assert raised.value.args[1] == f"{PREFIX}{path}: {reason}"
    monkeypatch.setenv("TARVEX_SIM_CONFIG", path)
    sim.reset()
    expect_refused(sim, f"{path}: {reason}")
    K.kaConfigLoad(None)  # a system the program chose lets kaOpen through again
    K.kaOpen(0)
    assert K.kaQueryNumberDevices() == 3
    with pytest.raises(kaDriver.error) as raised:
        K.kaClose(1)
    assert raised.value.args[1] == "Invalid flags"


def test_long_message_in_latin1_fills_the_buffer(sim, tmp_path):
    """The library's texts are Latin-1, one byte a character: the message
    fills the module's 256-byte buffer."""
    name = "\u00fc" * 50
    system = dict(GOOD, hosts={name: dict(REMOTE, devices=[dict(
        GOOD["devices"][0], subdevices=[{"type": 1, "subtype": 1, "channels": 1,
                                         "signals": {"0": {name: 1}}}])])})
    path = tmp_path / "system.json"
    path.write_text(json.dumps(system, ensure_ascii=False), encoding="utf-8")
    with pytest.raises(kaDriver.error) as raised:
        K.kaConfigLoad(str(path))
    shown = "\u00fc" * 40 + "..."
    full = (f"{PREFIX}system.hosts.{shown}.devices[0].subdevices[0].signals.0: "
            f"unknown key '{shown}'")
    assert raised.value.args[1] == full[:255]
