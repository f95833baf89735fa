"""Shared fixtures: the built module and a handle on the simulated library
it is linked against, through the library's test-control API (tarvex.sim).
The catalogue of the module's functions is in catalogue.py."""

import os
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MODULE_DIR = os.environ.get("KADRIVER_PATH", os.path.join(ROOT, "build", "linux", "python"))
sys.path.insert(0, MODULE_DIR)

import kaDriver  # noqa: E402
from tarvex.sim import Sim  # noqa: E402

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
