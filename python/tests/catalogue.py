"""The catalogue of the module's functions for the tests: one call of each
that succeeds on the default simulated system, in the module's table order,
with the kinds of its arguments; and the records and subdevices those calls
use. test_frame checks that it names exactly the module's functions in table
order, so a function added to the module without an entry here fails there
instead of being left out of the fault, sweep and property runs that go
through the catalogue."""

import numpy as np

import kaDriver

K = kaDriver

INPUT, OUTPUT, DIO_IN, EXT_IRQ = (0, 0), (0, 1), (0, 4), (0, 9, 0)
REMOTE_HOST = "daq-lab-2"


# --- the record dictionaries, with the keys in table order --------------------------

def single_entry(device=0, subdevice=0, channel=0, direction=K.KA_DIR_INPUT, value=0, flags=0,
                 **extra):
    return dict(Device=device, Subdevice=subdevice, Channel=channel, Dir=direction, Value=value,
                TimeOut=0, Flags=flags, Errno=0, **extra)


def single_write(device, subdevice, channel, value, flags=0):
    return single_entry(device, subdevice, channel, K.KA_DIR_OUTPUT, value, flags)


def single_entries():
    """A read of an analog input and a write of an analog output."""
    return [single_entry(0, 0, 3), single_write(0, 1, 0, 40000)]


def channel(number=0, range_index=0, ref=K.KA_REF_AI_GROUND, **extra):
    return dict(Channel=number, StreamConfig=range_index, Ref=ref, Flags=0, **extra)


def trigger(conv_ticks=3300, scan_ticks=6600, scans=0, values=0, **changes):
    setup = dict(AcqStartTrigType=K.KA_TRIG_TYPE_SW, AcqStartTrigEdge=0,
                 AcqStartTrigChan=K.KA_TRIG_CHAN_DEFAULT, AcqStartTicks=0,
                 ScanStartTrigType=K.KA_TRIG_TYPE_TIMER, ScanStartTicks=scan_ticks,
                 ConvStartTrigType=K.KA_TRIG_TYPE_TIMER, ConvStartTicks=conv_ticks,
                 ScanStopTrigType=K.KA_TRIG_TYPE_COUNT if scans else K.KA_TRIG_TYPE_NONE,
                 ScanStopCount=scans,
                 AcqStopTrigType=K.KA_TRIG_TYPE_COUNT if values else K.KA_TRIG_TYPE_NONE,
                 AcqStopCount=values, Flags=0)
    setup.update(changes)
    return setup


def start_entry(device=0, subdevice=0, **extra):
    return dict(Device=device, Subdevice=subdevice, StartMode=K.KA_START_MODE_NONBLOCKING,
                TimeOut=0, Flags=0, Errno=0, **extra)


def stop_entry(device=0, subdevice=0):
    return dict(Device=device, Subdevice=subdevice, StopMode=K.KA_STOP_MODE_IMMEDIATE, Flags=0,
                Errno=0)


def start_entries():
    return [start_entry()]


def stop_entries():
    return [stop_entry()]


# --- set-up steps -------------------------------------------------------------------

def quietly(function, *args):
    try:
        function(*args)
    except K.error:
        pass


def pulse_digital_input():
    for value in (0x04, 0x00):
        K.kaIOSingle([single_write(0, 5, 0, value)], 0)


def _configure_input(sim):
    sim.fast_streams()
    K.kaIOStreamConfig(*INPUT, [channel()], trigger(), 0, 0)
    K.kaIOStreamStart(start_entries(), 0)


def _configure_output(sim):
    K.kaIOStreamConfig(*OUTPUT, [channel(ref=K.KA_REF_AO_GROUND)], trigger(), 0, 0)


def _nothing(*_):
    pass


# --- the catalogue ------------------------------------------------------------------

class DriverCall:
    """One function of the module. `kinds` has a letter for each argument,
    read by test_properties: i a 32-bit int, L any int, d a float, s a host,
    z a file name or None, W an interrupt wait's time-out, N a read's count,
    A samples, G S P C X single, start, stop, channel and extraction lists,
    T a trigger set-up. `make` gives fresh arguments for a call that
    succeeds; `setup` runs once on the opened library, `before` before every
    call. `label` is the name the module's argument parser gives in its
    messages."""

    def __init__(self, name, kinds, make, setup=_nothing, before=_nothing, label=None):
        self.name, self.kinds, self.make = name, kinds, make
        self.setup, self.before, self.label = setup, before, label or name

    def __call__(self, args):
        return getattr(K, self.name)(*args)

    def __repr__(self):
        return self.name


def _fixed(*args):
    return lambda: args


CATALOGUE = [
    DriverCall("kaOpen", "i", _fixed(0)),
    DriverCall("kaClose", "i", _fixed(0), before=lambda: K.kaOpen(0)),
    DriverCall("kaLockDriver", "ii", _fixed(K.KA_LOCK_SET, 0)),
    DriverCall("kaLockDevice", "iii", _fixed(0, K.KA_LOCK_SET, 0)),
    DriverCall("kaLockSubdevice", "iiii", _fixed(0, 2, K.KA_LOCK_SET, 0)),
    DriverCall("kaIOIrqStart", "iiiiiLi", _fixed(*EXT_IRQ, 0, K.KA_IRQ_EDGE_RISING, 2**32 + 7, 0),
               before=lambda: quietly(K.kaIOIrqStop, *EXT_IRQ, 0)),
    DriverCall("kaIOIrqStop", "iiii", _fixed(*EXT_IRQ, 0),
               before=lambda: quietly(K.kaIOIrqStart, *EXT_IRQ, 0, K.KA_IRQ_EDGE_RISING, 0, 0)),
    # The time-out bounds the wait should no interrupt come.
    DriverCall("kaIOIrqWait", "iiiWi", _fixed(*DIO_IN, 2, 1000, 0),
               setup=lambda sim: K.kaIOIrqStart(*DIO_IN, 2, K.KA_IRQ_SOURCE_DIO_LINE,
                                                K.KA_IRQ_EDGE_RISING, 0, 0),
               before=pulse_digital_input),
    DriverCall("kaIOResetDevice", "ii", _fixed(0, 0)),
    DriverCall("kaIOResetSubdevice", "iii", _fixed(0, 0, 0)),
    DriverCall("kaIOSingleConfig", "iiiiiiiii",
               _fixed(0, 0, 1, 2, K.KA_REF_AI_DIFFERENTIAL, K.KA_TRIG_CHAN_DEFAULT,
                      K.KA_TRIG_TYPE_SW, 0, 0)),
    DriverCall("kaIOSingle", "Gi", lambda: (single_entries(), 0)),
    DriverCall("kaIOStreamConfig", "iiCTii", lambda: (*INPUT, [channel()], trigger(), 0, 0)),
    DriverCall("kaIOStreamRead", "iiiNi", _fixed(*INPUT, K.KA_READ_MODE_NONBLOCKING, 100, 0),
               setup=_configure_input),
    DriverCall("kaIOStreamWrite", "iiiAi",
               lambda: (*OUTPUT, K.KA_WRITE_MODE_PRELOAD, np.arange(64, dtype=np.int32), 0),
               setup=_configure_output),
    DriverCall("kaIOStreamStart", "Si", lambda: (start_entries(), 0),
               setup=lambda sim: K.kaIOStreamConfig(*INPUT, [channel()], trigger(), 0, 0)),
    DriverCall("kaIOStreamStop", "Pi", lambda: (stop_entries(), 0), setup=_configure_input),
    DriverCall("kaIOStreamStatus", "iiii", _fixed(*INPUT, K.KA_WAIT_NONE, 0)),
    DriverCall("kaIOStreamFrequencyToTicks", "iiidi",
               _fixed(*INPUT, K.KA_TIMER_CONV_START, 10000.0, 0)),
    DriverCall("kaIOStreamTimeToTicks", "iiidi", _fixed(*INPUT, K.KA_TIMER_ACQ_START, 2.0, 0)),
    DriverCall("kaQueryDescriptionDevice", "i", _fixed(0)),
    DriverCall("kaQueryInfoDevice", "i", _fixed(0)),
    DriverCall("kaQueryNameDevice", "i", _fixed(0)),
    DriverCall("kaQueryNameDeviceDriver", "i", _fixed(0)),
    DriverCall("kaQueryNumberDevices", "", _fixed()),
    DriverCall("kaQueryNumberSubdevices", "i", _fixed(0)),
    DriverCall("kaQueryNumberChannels", "ii", _fixed(0, 0)),
    DriverCall("kaQueryNumberRanges", "iii", _fixed(0, 0, K.KA_UNIT_VOLT)),
    DriverCall("kaQueryRangeByMinMax", "iiidd", _fixed(0, 0, K.KA_UNIT_VOLT, -1.0, 1.0),
               label="kaIOQueryRangeByMinMax"),
    DriverCall("kaQueryRangeInfo", "iii", _fixed(0, 0, 1), label="kaIOQueryRangeInfo"),
    DriverCall("kaQuerySubdeviceByType", "iiii", _fixed(0, 0, K.KA_TYPE_AO, K.KA_SUBTYPE_ANY)),
    DriverCall("kaQuerySubdeviceType", "ii", _fixed(0, 0)),
    DriverCall("kaQuerySubdeviceCaps", "ii", _fixed(0, 0)),
    DriverCall("kaQuerySubdeviceCapsArgs", "iii", _fixed(0, 0, K.KA_CAP_AI_FIFO_SIZE)),
    DriverCall("kaQueryVersionLibrary", "", _fixed()),
    DriverCall("kaQueryVersionMainDriver", "", _fixed()),
    DriverCall("kaQueryVersionDeviceDriver", "i", _fixed(0)),
    DriverCall("kaUtilityExtractValues", "iAX", lambda: (
        7, np.arange(10, dtype=np.int32), [dict(Channel=4), dict(Channel=7), dict(Channel=4)])),
    DriverCall("kaUtilityPhysicalToDigital", "ddid", _fixed(-10.0, 10.0, 65535, 1.0)),
    DriverCall("kaUtilityDigitalToPhysical", "ddiiid",
               _fixed(-10.0, 10.0, 65535, 100, K.KA_MODULE_TYPE_VESTRA_NONE, 0.0)),
    DriverCall("kaUtilityPWMStart", "iiiiiiii",
               _fixed(0, 6, 7, 8, K.KA_REF_CTR_INTERNAL_1MHZ, 100, 25, 0),
               before=lambda: quietly(K.kaUtilityPWMStop, 0, 6)),
    DriverCall("kaUtilityPWMStop", "ii", _fixed(0, 6),
               before=lambda: quietly(K.kaUtilityPWMStart, 0, 6, 7, 8,
                                      K.KA_REF_CTR_INTERNAL_1MHZ, 100, 25, 0)),
    DriverCall("kaConfigLoad", "z", _fixed(None)),
    DriverCall("kaRQueryDescriptionDevice", "si", _fixed(REMOTE_HOST, 0)),
    DriverCall("kaRQueryInfoDevice", "si", _fixed(REMOTE_HOST, 0)),
    DriverCall("kaRQueryNameDevice", "si", _fixed(REMOTE_HOST, 0)),
    DriverCall("kaRQueryNumberDevices", "s", _fixed(REMOTE_HOST)),
    DriverCall("kaRQueryNumberSubdevices", "si", _fixed(REMOTE_HOST, 0)),
    DriverCall("kaRQueryNumberChannels", "sii", _fixed(REMOTE_HOST, 0, 0)),
    DriverCall("kaRQueryNumberRanges", "siii", _fixed(REMOTE_HOST, 0, 1, K.KA_UNIT_ANY)),
    DriverCall("kaRQueryRangeInfo", "siii", _fixed(REMOTE_HOST, 0, 1, 1),
               label="kaIORQueryRangeInfo"),
    DriverCall("kaRQuerySubdeviceType", "sii", _fixed(REMOTE_HOST, 0, 1)),
]
BY_NAME = {call.name: call for call in CATALOGUE}
# The functions that return the values the driver says it delivered.
SAMPLE_CALLS = [BY_NAME[name] for name in
                ("kaIOStreamRead", "kaIOStreamWrite", "kaUtilityExtractValues")]
