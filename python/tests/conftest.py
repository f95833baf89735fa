"""Shared fixtures: the built module and a handle on the simulated library
it is linked against, through the library's test-control API."""

import ctypes
import os
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MODULE_DIR = os.environ.get("KADRIVER_PATH", os.path.join(ROOT, "build", "linux", "python"))
sys.path.insert(0, MODULE_DIR)

import kaDriver  # noqa: E402


def _loaded_library_path():
    """The driver library the module was linked with, as the loader found it."""
    with open("/proc/self/maps") as maps:
        for line in maps:
            path = line.split()[-1]
            if os.path.basename(path).startswith("libTarvexmain"):
                return path
    raise RuntimeError("kaDriver is not linked against libTarvexmain")


class Sim:
    """The simulated library's control API, the same instance kaDriver uses."""

    def __init__(self):
        self.path = _loaded_library_path()
        self.lib = ctypes.CDLL(self.path)
        self.lib.kaSimOverride.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_double]
        self.lib.kaSimCapturedAddress.restype = ctypes.c_ulonglong

    def reset(self):
        self.lib.kaSimReset()

    def code(self, name):
        code = self.lib.kaSimResultCode(name.encode())
        assert code > 0, name
        return code

    def load_system(self, json_text):
        assert self.lib.kaSimLoadSystem(json_text.encode()) == 0

    def fail(self, operation, code, times=1):
        self.lib.kaSimFail(operation.encode(), code, times)

    def override(self, operation, slot, value):
        self.lib.kaSimOverride(operation.encode(), slot, float(value))

    def override_text(self, operation, text):
        self.lib.kaSimOverrideText(operation.encode(), text)

    def calls(self, operation):
        return self.lib.kaSimCallCount(operation.encode())

    def args(self, operation):
        values = (ctypes.c_double * 16)()
        count = self.lib.kaSimCapturedArgs(operation.encode(), values, 16)
        return [int(v) if float(v).is_integer() else v for v in values[:count]]

    def text(self, operation):
        buffer = ctypes.create_string_buffer(1024)
        self.lib.kaSimCapturedText(operation.encode(), buffer, 1024)
        return buffer.value.decode()

    def captured_bytes(self, operation, index=0):
        size = self.lib.kaSimCapturedBytes(operation.encode(), index, None, 0)
        if size < 0:
            return None
        buffer = ctypes.create_string_buffer(max(size, 1))
        self.lib.kaSimCapturedBytes(operation.encode(), index, buffer, size)
        return buffer.raw[:size]

    def captured_address(self, operation, index=0):
        return self.lib.kaSimCapturedAddress(operation.encode(), index)

    def fast_streams(self, fast=True):
        self.lib.kaSimFastStreams(int(fast))

    def foreign_lock(self, device, subdevice, locked=True):
        self.lib.kaSimForeignLock(device, subdevice, int(locked))

    def lock_state(self, device, subdevice):
        return self.lib.kaSimLockState(device, subdevice)


_sim = Sim()


@pytest.fixture
def sim():
    """A simulated library in its start state, closed."""
    _sim.reset()
    yield _sim
    _sim.reset()


@pytest.fixture
def opened(sim):
    """The simulated library, opened."""
    kaDriver.kaOpen(kaDriver.KA_OPEN_NO_FLAGS)
    return sim
