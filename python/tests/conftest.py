"""Shared fixtures: the built module and a handle on the simulated library
it is linked against, through the library's test-control API (tarvex.sim)."""

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


# --- one call of every function that reaches the library ---------------------------
# Shared by the fault-injection and resource tests. `make` gives fresh
# arguments; `setup` runs once on the opened library, `before` before every
# call, so that the call succeeds on the default system.

import numpy as np  # noqa: E402

K = kaDriver
INPUT, OUTPUT, DIO_IN, EXT_IRQ = (0, 0), (0, 1), (0, 4), (0, 9, 0)
REMOTE_HOST = "daq-lab-2"


def stream_trigger(scans=0):
    return dict(AcqStartTrigType=K.KA_TRIG_TYPE_SW, AcqStartTrigEdge=0,
                AcqStartTrigChan=K.KA_TRIG_CHAN_DEFAULT, AcqStartTicks=0,
                ScanStartTrigType=K.KA_TRIG_TYPE_TIMER, ScanStartTicks=6600,
                ConvStartTrigType=K.KA_TRIG_TYPE_TIMER, ConvStartTicks=3300,
                ScanStopTrigType=K.KA_TRIG_TYPE_COUNT if scans else K.KA_TRIG_TYPE_NONE,
                ScanStopCount=scans, AcqStopTrigType=K.KA_TRIG_TYPE_NONE, AcqStopCount=0,
                Flags=0)


def stream_channels(ref=K.KA_REF_AI_GROUND):
    return [dict(Channel=0, StreamConfig=0, Ref=ref, Flags=0)]


def start_entries(device=0, subdevice=0):
    return [dict(Device=device, Subdevice=subdevice, StartMode=K.KA_START_MODE_NONBLOCKING,
                 TimeOut=0, Flags=0, Errno=0)]


def stop_entries(device=0, subdevice=0):
    return [dict(Device=device, Subdevice=subdevice, StopMode=K.KA_STOP_MODE_IMMEDIATE, Flags=0,
                 Errno=0)]


def single_entries():
    return [dict(Device=0, Subdevice=0, Channel=3, Dir=K.KA_DIR_INPUT, Value=0, TimeOut=0,
                 Flags=0, Errno=0),
            dict(Device=0, Subdevice=1, Channel=0, Dir=K.KA_DIR_OUTPUT, Value=40000, TimeOut=0,
                 Flags=0, Errno=0)]


def quietly(function, *args):
    try:
        function(*args)
    except kaDriver.error:
        pass


def _configure_input(sim):
    sim.fast_streams()
    K.kaIOStreamConfig(*INPUT, stream_channels(), stream_trigger(), 0, 0)
    K.kaIOStreamStart(start_entries(), 0)


def _configure_output(sim):
    K.kaIOStreamConfig(*OUTPUT, stream_channels(K.KA_REF_AO_GROUND), stream_trigger(), 0, 0)


def pulse_digital_input():
    for value in (0x04, 0x00):
        K.kaIOSingle([dict(Device=0, Subdevice=5, Channel=0, Dir=K.KA_DIR_OUTPUT, Value=value,
                           TimeOut=0, Flags=0, Errno=0)], 0)


def _nothing(*_):
    pass


class DriverCall:
    def __init__(self, name, make, setup=_nothing, before=_nothing):
        self.name, self.make, self.setup, self.before = name, make, setup, before

    def __call__(self, args):
        return getattr(kaDriver, self.name)(*args)

    def __repr__(self):
        return self.name


def _fixed(*args):
    return lambda: args


DRIVER_CALLS = [
    DriverCall("kaOpen", _fixed(0)),
    DriverCall("kaClose", _fixed(0), before=lambda: K.kaOpen(0)),
    DriverCall("kaLockDriver", _fixed(K.KA_LOCK_SET, 0)),
    DriverCall("kaLockDevice", _fixed(0, K.KA_LOCK_SET, 0)),
    DriverCall("kaLockSubdevice", _fixed(0, 2, K.KA_LOCK_SET, 0)),
    DriverCall("kaIOIrqStart", _fixed(*EXT_IRQ, 0, K.KA_IRQ_EDGE_RISING, 2**32 + 7, 0),
               before=lambda: quietly(K.kaIOIrqStop, *EXT_IRQ, 0)),
    DriverCall("kaIOIrqStop", _fixed(*EXT_IRQ, 0),
               before=lambda: quietly(K.kaIOIrqStart, *EXT_IRQ, 0, K.KA_IRQ_EDGE_RISING, 0, 0)),
    # The time-out bounds the wait should no interrupt come.
    DriverCall("kaIOIrqWait", _fixed(*DIO_IN, 2, 1000, 0),
               setup=lambda sim: K.kaIOIrqStart(*DIO_IN, 2, K.KA_IRQ_SOURCE_DIO_LINE,
                                                K.KA_IRQ_EDGE_RISING, 0, 0),
               before=pulse_digital_input),
    DriverCall("kaIOResetDevice", _fixed(0, 0)),
    DriverCall("kaIOResetSubdevice", _fixed(0, 0, 0)),
    DriverCall("kaIOSingleConfig", _fixed(0, 0, 1, 2, K.KA_REF_AI_DIFFERENTIAL,
                                          K.KA_TRIG_CHAN_DEFAULT, K.KA_TRIG_TYPE_SW, 0, 0)),
    DriverCall("kaIOSingle", lambda: (single_entries(), 0)),
    DriverCall("kaIOStreamConfig",
               lambda: (*INPUT, stream_channels(), stream_trigger(), 0, 0)),
    DriverCall("kaIOStreamRead", _fixed(*INPUT, K.KA_READ_MODE_NONBLOCKING, 100, 0),
               setup=_configure_input),
    DriverCall("kaIOStreamWrite",
               lambda: (*OUTPUT, K.KA_WRITE_MODE_PRELOAD, np.arange(64, dtype=np.int32), 0),
               setup=_configure_output),
    DriverCall("kaIOStreamStart", lambda: (start_entries(), 0),
               setup=lambda sim: K.kaIOStreamConfig(*INPUT, stream_channels(),
                                                    stream_trigger(), 0, 0)),
    DriverCall("kaIOStreamStop", lambda: (stop_entries(), 0), setup=_configure_input),
    DriverCall("kaIOStreamStatus", _fixed(*INPUT, K.KA_WAIT_NONE, 0)),
    DriverCall("kaIOStreamFrequencyToTicks",
               _fixed(*INPUT, K.KA_TIMER_CONV_START, 10000.0, 0)),
    DriverCall("kaIOStreamTimeToTicks", _fixed(*INPUT, K.KA_TIMER_ACQ_START, 2.0, 0)),
    DriverCall("kaQueryDescriptionDevice", _fixed(0)),
    DriverCall("kaQueryInfoDevice", _fixed(0)),
    DriverCall("kaQueryNameDevice", _fixed(0)),
    DriverCall("kaQueryNameDeviceDriver", _fixed(0)),
    DriverCall("kaQueryNumberDevices", _fixed()),
    DriverCall("kaQueryNumberSubdevices", _fixed(0)),
    DriverCall("kaQueryNumberChannels", _fixed(0, 0)),
    DriverCall("kaQueryNumberRanges", _fixed(0, 0, K.KA_UNIT_VOLT)),
    DriverCall("kaQueryRangeByMinMax", _fixed(0, 0, K.KA_UNIT_VOLT, -1.0, 1.0)),
    DriverCall("kaQueryRangeInfo", _fixed(0, 0, 1)),
    DriverCall("kaQuerySubdeviceByType", _fixed(0, 0, K.KA_TYPE_AO, K.KA_SUBTYPE_ANY)),
    DriverCall("kaQuerySubdeviceType", _fixed(0, 0)),
    DriverCall("kaQuerySubdeviceCaps", _fixed(0, 0)),
    DriverCall("kaQuerySubdeviceCapsArgs", _fixed(0, 0, K.KA_CAP_AI_FIFO_SIZE)),
    DriverCall("kaQueryVersionLibrary", _fixed()),
    DriverCall("kaQueryVersionMainDriver", _fixed()),
    DriverCall("kaQueryVersionDeviceDriver", _fixed(0)),
    DriverCall("kaUtilityExtractValues", lambda: (
        7, np.arange(10, dtype=np.int32), [dict(Channel=4), dict(Channel=7), dict(Channel=4)])),
    DriverCall("kaUtilityPhysicalToDigital", _fixed(-10.0, 10.0, 65535, 1.0)),
    DriverCall("kaUtilityDigitalToPhysical",
               _fixed(-10.0, 10.0, 65535, 100, K.KA_MODULE_TYPE_VESTRA_NONE, 0.0)),
    DriverCall("kaUtilityPWMStart", _fixed(0, 6, 7, 8, K.KA_REF_CTR_INTERNAL_1MHZ, 100, 25, 0),
               before=lambda: quietly(K.kaUtilityPWMStop, 0, 6)),
    DriverCall("kaUtilityPWMStop", _fixed(0, 6),
               before=lambda: quietly(K.kaUtilityPWMStart, 0, 6, 7, 8,
                                      K.KA_REF_CTR_INTERNAL_1MHZ, 100, 25, 0)),
    DriverCall("kaConfigLoad", _fixed(None)),
    DriverCall("kaRQueryDescriptionDevice", _fixed(REMOTE_HOST, 0)),
    DriverCall("kaRQueryInfoDevice", _fixed(REMOTE_HOST, 0)),
    DriverCall("kaRQueryNameDevice", _fixed(REMOTE_HOST, 0)),
    DriverCall("kaRQueryNumberDevices", _fixed(REMOTE_HOST)),
    DriverCall("kaRQueryNumberSubdevices", _fixed(REMOTE_HOST, 0)),
    DriverCall("kaRQueryNumberChannels", _fixed(REMOTE_HOST, 0, 0)),
    DriverCall("kaRQueryNumberRanges", _fixed(REMOTE_HOST, 0, 1, K.KA_UNIT_ANY)),
    DriverCall("kaRQueryRangeInfo", _fixed(REMOTE_HOST, 0, 1, 1)),
    DriverCall("kaRQuerySubdeviceType", _fixed(REMOTE_HOST, 0, 1)),
]
