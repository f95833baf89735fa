// Functions whose wrappers are not written yet.
#include "wrappers.h"

#define KADRIVER_PENDING(name)                                                                     \
    PyObject *kadriver_##name(PyObject *, PyObject *)                                              \
    {                                                                                              \
        PyErr_SetString(PyExc_NotImplementedError, #name " is not available yet");                 \
        return nullptr;                                                                            \
    }

KADRIVER_PENDING(kaIOStreamConfig)
KADRIVER_PENDING(kaIOStreamRead)
KADRIVER_PENDING(kaIOStreamWrite)
KADRIVER_PENDING(kaIOStreamStart)
KADRIVER_PENDING(kaIOStreamStop)
KADRIVER_PENDING(kaIOStreamStatus)
KADRIVER_PENDING(kaIOStreamFrequencyToTicks)
KADRIVER_PENDING(kaIOStreamTimeToTicks)
KADRIVER_PENDING(kaUtilityExtractValues)
KADRIVER_PENDING(kaUtilityPhysicalToDigital)
KADRIVER_PENDING(kaUtilityDigitalToPhysical)
KADRIVER_PENDING(kaUtilityPWMStart)
KADRIVER_PENDING(kaUtilityPWMStop)
KADRIVER_PENDING(kaConfigLoad)
