"""The type stubs beside the built module describe exactly that module: its
functions with their argument counts and result types, its exception class
and its constants; and mypy checks programs against them."""

import ast
import os
import subprocess
import sys
import textwrap

import numpy
import pytest

from catalogue import BY_NAME
from conftest import MODULE_DIR

import kaDriver
import tarvex

K = kaDriver
STUB_PATH = os.path.join(MODULE_DIR, "kaDriver.pyi")
MYPY = "/usr/bin/mypy"


def _parse_stub():
    with open(STUB_PATH, encoding="utf-8") as file:
        tree = ast.parse(file.read(), STUB_PATH)
    functions, constants, classes = {}, {}, {}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            functions[node.name] = node
        elif isinstance(node, ast.AnnAssign):
            constants[node.target.id] = ast.unparse(node.annotation)
        elif isinstance(node, ast.ClassDef):
            classes[node.name] = node
    return functions, constants, classes


FUNCTIONS, CONSTANTS, CLASSES = _parse_stub()
MODULE_FUNCTIONS = sorted(name for name in dir(K) if callable(getattr(K, name))
                          and not name.startswith("_") and name != "error")


def test_stub_declares_exactly_the_module_functions_each_with_its_text():
    assert sorted(FUNCTIONS) == MODULE_FUNCTIONS == sorted(BY_NAME)
    assert all(ast.get_docstring(function) for function in FUNCTIONS.values())


def test_stubtest_finds_nothing_beyond_the_family_typed_constants():
    """mypy's own check of the stub against the module; its allowlist names
    the constants typed by family, and an entry it no longer needs fails too."""
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "kaDriver", "--allowlist",
         os.path.join(MODULE_DIR, "stubtest-allowlist.txt")],
        capture_output=True, text=True, timeout=600,
        env=dict(os.environ, MYPYPATH=MODULE_DIR, PYTHONPATH=MODULE_DIR))
    assert result.returncode == 0, result.stdout


def test_stub_declares_exactly_the_module_constants_by_family():
    module_constants = {name for name in dir(K) if name.startswith("KA_")}
    assert set(CONSTANTS) == module_constants
    assert len(module_constants) == 202
    assert all(type(getattr(K, name)) is int for name in module_constants)
    # A constant typed by a family is that family's member of its name.
    for name, annotation in CONSTANTS.items():
        if annotation != "int":
            module, family = annotation.split(".")
            assert module == "_families", name
            assert str(getattr(tarvex, family)(getattr(K, name))) == name


def test_stub_declares_the_exception_class():
    assert set(CLASSES) == {"error"}
    assert [ast.unparse(base) for base in CLASSES["error"].bases] == ["Exception"]
    assert issubclass(K.error, Exception)


def test_module_has_nothing_the_stub_leaves_out():
    public = {name for name in dir(K) if not name.startswith("__")}
    assert public == set(FUNCTIONS) | set(CONSTANTS) | set(CLASSES)


@pytest.mark.parametrize("name", sorted(FUNCTIONS))
def test_parameters_positional_only_as_many_as_the_module_takes(name):
    arguments = FUNCTIONS[name].args
    assert not (arguments.args or arguments.kwonlyargs or arguments.vararg or arguments.kwarg
                or arguments.defaults)
    assert all(parameter.annotation is not None for parameter in arguments.posonlyargs)
    assert FUNCTIONS[name].returns is not None
    # The catalogue's count, which test_frame checks against the module's parser.
    assert len(arguments.posonlyargs) == len(BY_NAME[name].kinds)


def _conforms(value, annotation):
    """Whether a value has the type a stub annotation (as written) gives."""
    if isinstance(annotation, ast.Constant) and annotation.value is None:
        return value is None
    if isinstance(annotation, ast.Name):
        kinds = {"int": int, "float": float, "str": str}
        return type(value) is kinds[annotation.id]
    assert isinstance(annotation, ast.Subscript), ast.unparse(annotation)
    generic = ast.unparse(annotation.value)
    if generic == "NDArray":
        assert ast.unparse(annotation.slice) == "int32"
        return (isinstance(value, numpy.ndarray) and value.dtype == numpy.int32
                and value.ndim == 1 and value.flags.c_contiguous)
    assert generic == "tuple"
    items = annotation.slice.elts
    if not isinstance(value, tuple):
        return False
    if isinstance(items[-1], ast.Constant) and items[-1].value is Ellipsis:
        return all(_conforms(item, items[0]) for item in value)
    return len(value) == len(items) and all(map(_conforms, value, items))


# Calls that succeed on the default simulated system, one or more per result
# shape the stub declares.
CALLS = [
    ("kaQueryVersionLibrary", ()),
    ("kaQueryNumberDevices", ()),
    ("kaQueryNameDevice", (0,)),
    ("kaQueryInfoDevice", (2,)),
    ("kaQuerySubdeviceType", (0, 0)),
    ("kaQueryRangeInfo", (0, 0, 1)),
    ("kaQueryRangeByMinMax", (0, 0, K.KA_UNIT_VOLT, -1, 1)),
    ("kaQuerySubdeviceCapsArgs", (0, 6, K.KA_CAP_CTR_WIDTH)),
    ("kaRQueryInfoDevice", ("daq-lab-2", 0)),
    ("kaRQueryRangeInfo", ("daq-lab-2", 0, 1, 0)),
    ("kaLockDevice", (0, K.KA_LOCK_SET, 0)),
    ("kaIOSingle", ([], 0)),
    ("kaIOStreamStatus", (0, 0, K.KA_WAIT_NONE, 0)),
    ("kaIOStreamFrequencyToTicks", (0, 0, K.KA_TIMER_CONV_START, 1000.0, 0)),
    ("kaIOStreamTimeToTicks", (0, 0, K.KA_TIMER_CONV_START, 0.001, 0)),
    ("kaUtilityExtractValues", (1, [10, 11, 20, 21], [{"Channel": 0}, {"Channel": 1}])),
    ("kaUtilityPhysicalToDigital", (-10.0, 10.0, 65535, 2.5)),
    ("kaUtilityDigitalToPhysical", (-10.0, 10.0, 65535, 40000, K.KA_MODULE_TYPE_VESTRA_NONE, 0.0)),
]


@pytest.mark.parametrize("name, args", CALLS, ids=[name for name, _ in CALLS])
def test_results_have_the_declared_types(opened, name, args):
    try:
        result = getattr(K, name)(*args)
    except NotImplementedError:
        pytest.skip(f"{name} is not available yet")
    assert _conforms(result, FUNCTIONS[name].returns), (name, result)


# A program that uses the module as its users do: mypy must accept it.
ACCEPTED = """
    from typing import List, Dict
    import numpy
    import numpy.typing
    import kaDriver
    import tarvex

    def walk() -> List[str]:
        kaDriver.kaOpen(kaDriver.KA_OPEN_NO_FLAGS)
        names = [kaDriver.kaQueryNameDevice(d) for d in range(kaDriver.kaQueryNumberDevices())]
        unit, low, high, max_data = kaDriver.kaQueryRangeInfo(0, 0, 0)
        span: float = high - low + unit * 0 + max_data
        kind, subtype = kaDriver.kaRQuerySubdeviceType("daq-lab-2", 0, 0)
        fifo = kaDriver.kaQuerySubdeviceCapsArgs(0, 0, kaDriver.KA_CAP_AI_FIFO_SIZE)[0] + kind
        entries: List[Dict[str, int]] = [dict(Device=0, Subdevice=2, Channel=0,
            Dir=kaDriver.KA_DIR_INPUT, Value=0, TimeOut=0, Flags=0, Errno=0)]
        kaDriver.kaIOSingle(entries, kaDriver.KA_IO_SINGLE_NO_FLAGS)
        count, value = kaDriver.kaIOIrqWait(0, 4, 0, 100, kaDriver.KA_IO_IRQ_WAIT_NO_FLAGS)
        frequency, ticks = kaDriver.kaIOStreamFrequencyToTicks(
            0, 0, kaDriver.KA_TIMER_CONV_START, 1e3, 0)
        samples: numpy.typing.NDArray[numpy.int32] = kaDriver.kaIOStreamRead(
            0, 0, kaDriver.KA_READ_MODE_NONBLOCKING, 100, 0)
        mode = kaDriver.KA_WAIT_IDLE if count else tarvex.WaitMode.NONE
        kaDriver.kaIOStreamStatus(0, 0, mode, kaDriver.KA_IO_STREAM_STATUS_NO_FLAGS)
        kaDriver.kaIOStreamStart([tarvex.start_entry(device=0, subdevice=0)], 0)
        kaDriver.kaIOStreamConfig(0, 0, [tarvex.channel_entry(channel=0, ref=0)],
                                  tarvex.trigger_setup(conv_start_ticks=66), 0, 0)
        rest = kaDriver.kaIOStreamWrite(0, 1, kaDriver.KA_WRITE_MODE_PRELOAD, samples * 2, 0)
        rest = kaDriver.kaIOStreamWrite(0, 1, kaDriver.KA_WRITE_MODE_PRELOAD, [1, 2, 3], 0)
        kaDriver.kaUtilityExtractValues(0, samples, [{"Channel": 0}]).sum()
        kaDriver.kaConfigLoad(None)
        try:
            kaDriver.kaClose(kaDriver.KA_CLOSE_NO_FLAGS)
        except kaDriver.error as fault:
            code, text = fault.args
            names.append(text.upper() + str(code + fifo + ticks + count + value + len(rest)))
        return names + [str(span + frequency + subtype)]
"""

# Faults the stubs must let mypy find, one per line marked "# fault".
REFUSED = """
    import kaDriver
    import tarvex

    kaDriver.kaOpen()  # fault
    kaDriver.kaOpen(flags=0)  # fault
    kaDriver.kaQueryNameDevice("0")  # fault
    name: int = kaDriver.kaQueryNameDevice(0)  # fault
    unit, low, high = kaDriver.kaQueryRangeInfo(0, 0, 0)  # fault
    kaDriver.kaIOSingle({"Device": 0}, 0)  # fault
    kaDriver.kaRQueryNumberDevices(None)  # fault
    kaDriver.KA_NO_SUCH_CONSTANT  # fault
    kaDriver.kaIOStreamRead(0, 0, kaDriver.KA_READ_MODE_BLOCKING, 10, 0).append(1)  # fault
    kaDriver.kaIOStreamStatus(0, 0, 0, 0)  # fault
    kaDriver.kaIOStreamStatus(0, 0, kaDriver.KA_READ_MODE_BLOCKING, 0)  # fault
    kaDriver.kaQueryNumberRanges(0, 0, tarvex.SubdeviceType.AI)  # fault
    try:
        pass
    except kaDriver.error as fault:
        text: bytes = fault.args[1]  # fault
"""


def test_mypy_accepts_uses_and_finds_faults(tmp_path):
    accepted = tmp_path / "accepted.py"
    refused = tmp_path / "refused.py"
    accepted.write_text(textwrap.dedent(ACCEPTED))
    refused.write_text(textwrap.dedent(REFUSED))
    result = subprocess.run(
        [MYPY, "--strict", "--no-incremental", "--cache-dir", os.devnull,
         "--no-error-summary", accepted.name, refused.name],
        capture_output=True, text=True, timeout=600, cwd=tmp_path,
        env=dict(os.environ, MYPYPATH=MODULE_DIR))
    errors = [line for line in result.stdout.splitlines() if ": error:" in line]
    assert not [line for line in errors if line.startswith("accepted.py")], result.stdout
    flagged = {int(line.split(":")[1]) for line in errors if line.startswith("refused.py")}
    marked = {number for number, line in enumerate(refused.read_text().splitlines(), 1)
              if line.endswith("# fault")}
    assert flagged == marked, result.stdout
