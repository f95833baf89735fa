// The module's functions, in the order of its method table. Each wraps the
// driver library operation of the same name.
#ifndef KADRIVER_WRAPPERS_H
#define KADRIVER_WRAPPERS_H

#include "pyref.h"

// One family of functions a line.
// clang-format off
#define KADRIVER_FUNCTIONS(X)                                                          \
    X(kaOpen) X(kaClose) X(kaLockDriver) X(kaLockDevice) X(kaLockSubdevice)            \
    X(kaIOIrqStart) X(kaIOIrqStop) X(kaIOIrqWait)                                      \
    X(kaIOResetDevice) X(kaIOResetSubdevice)                                           \
    X(kaIOSingleConfig) X(kaIOSingle)                                                  \
    X(kaIOStreamConfig)                                                                \
    X(kaIOStreamRead) X(kaIOStreamWrite) X(kaIOStreamStart) X(kaIOStreamStop)          \
    X(kaIOStreamStatus) X(kaIOStreamFrequencyToTicks) X(kaIOStreamTimeToTicks)         \
    X(kaQueryDescriptionDevice) X(kaQueryInfoDevice) X(kaQueryNameDevice)              \
    X(kaQueryNameDeviceDriver) X(kaQueryNumberDevices) X(kaQueryNumberSubdevices)      \
    X(kaQueryNumberChannels) X(kaQueryNumberRanges) X(kaQueryRangeByMinMax)            \
    X(kaQueryRangeInfo) X(kaQuerySubdeviceByType) X(kaQuerySubdeviceType)              \
    X(kaQuerySubdeviceCaps) X(kaQuerySubdeviceCapsArgs) X(kaQueryVersionLibrary)       \
    X(kaQueryVersionMainDriver) X(kaQueryVersionDeviceDriver)                          \
    X(kaUtilityExtractValues) X(kaUtilityPhysicalToDigital)                            \
    X(kaUtilityDigitalToPhysical) X(kaUtilityPWMStart) X(kaUtilityPWMStop)             \
    X(kaConfigLoad)                                                                    \
    X(kaRQueryDescriptionDevice) X(kaRQueryInfoDevice) X(kaRQueryNameDevice)           \
    X(kaRQueryNumberDevices) X(kaRQueryNumberSubdevices) X(kaRQueryNumberChannels)     \
    X(kaRQueryNumberRanges) X(kaRQueryRangeInfo) X(kaRQuerySubdeviceType)
// clang-format on

#define KADRIVER_DECLARE(name) PyObject *kadriver_##name(PyObject *self, PyObject *args);
KADRIVER_FUNCTIONS(KADRIVER_DECLARE)
#undef KADRIVER_DECLARE

#endif
