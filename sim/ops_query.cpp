// Queries of the local system. Those with a remote twin answer through
// queries.h, which the twins in ops_remote_query.cpp share.
#include <algorithm>

#include "queries.h"

using sim::Call;
using sim::Device;
using sim::Subdevice;
using sim::System;

extern "C" {

KA_API int kaQueryVersionLibrary(int *piVersion)
try {
    SIM_OPERATION("kaQueryVersionLibrary");
    Call call(operation_);
    // Works before kaOpen: a caller checks the library before using it.
    return call.run({sim::out(piVersion)}, [&]() -> int {
        *piVersion = call.lib().system.libraryVersion;
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryVersionMainDriver(int *piVersion)
try {
    SIM_OPERATION("kaQueryVersionMainDriver");
    Call call(operation_);
    return call.run({sim::out(piVersion)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        *piVersion = s->mainDriverVersion;
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryVersionDeviceDriver(int iDevice, int *piVersion)
try {
    SIM_OPERATION("kaQueryVersionDeviceDriver");
    Call call(operation_, iDevice);
    return call.run({sim::out(piVersion)}, [&]() -> int {
        const System *s = nullptr;
        const Device *d = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        if (int code = sim::findDevice(*s, iDevice, d))
            return code;
        *piVersion = d->driverVersion;
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberDevices(int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberDevices");
    Call call(operation_);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        return sim::numberDevices(*s, piNumber);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberSubdevices(int iDevice, int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberSubdevices");
    Call call(operation_, iDevice);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        return sim::numberSubdevices(*s, iDevice, piNumber);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberChannels(int iDevice, int iSubdevice, int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberChannels");
    Call call(operation_, iDevice, iSubdevice);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        return sim::numberChannels(*s, iDevice, iSubdevice, piNumber);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberRanges(int iDevice, int iSubdevice, int iUnit, int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberRanges");
    Call call(operation_, iDevice, iSubdevice, iUnit);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        return sim::numberRanges(*s, iDevice, iSubdevice, iUnit, piNumber);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryRangeByMinMax(int iDevice, int iSubdevice, int iUnit, double *pdMin,
                                double *pdMax, int *piMaxData, int *piRange)
try {
    SIM_OPERATION("kaQueryRangeByMinMax");
    Call call(operation_, iDevice, iSubdevice, iUnit, pdMin ? *pdMin : 0.0, pdMax ? *pdMax : 0.0);
    return call.run({sim::out(pdMin), sim::out(pdMax), sim::out(piMaxData), sim::out(piRange)},
                    [&]() -> int {
                        const System *s = nullptr;
                        if (int code = sim::localSystem(call, s))
                            return code;
                        return sim::rangeByMinMax(*s, iDevice, iSubdevice, iUnit, pdMin, pdMax,
                                                  piMaxData, piRange);
                    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryRangeInfo(int iDevice, int iSubdevice, int iRange, int *piUnit, double *pdMin,
                            double *pdMax, int *piMaxData)
try {
    SIM_OPERATION("kaQueryRangeInfo");
    Call call(operation_, iDevice, iSubdevice, iRange);
    return call.run(
        {sim::out(piUnit), sim::out(pdMin), sim::out(pdMax), sim::out(piMaxData)}, [&]() -> int {
            const System *s = nullptr;
            if (int code = sim::localSystem(call, s))
                return code;
            return sim::rangeInfo(*s, iDevice, iSubdevice, iRange, piUnit, pdMin, pdMax, piMaxData);
        });
} catch (...) {
    return sim::exceptionCode();
}

// Searches from iStartSubdevice on; KA_SUBTYPE_ANY matches every subtype.
KA_API int kaQuerySubdeviceByType(int iDevice, int iStartSubdevice, int iType, int iSubtype,
                                  int *piSubdevice)
try {
    SIM_OPERATION("kaQuerySubdeviceByType");
    Call call(operation_, iDevice, iStartSubdevice, iType, iSubtype);
    return call.run({sim::out(piSubdevice)}, [&]() -> int {
        const System *s = nullptr;
        const Device *d = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        if (int code = sim::findDevice(*s, iDevice, d))
            return code;
        const int count = static_cast<int>(d->subdevices.size());
        if (iStartSubdevice < 0 || iStartSubdevice > count)
            return KA_SIM_INVALID_SUBDEVICE;
        for (int i = iStartSubdevice; i < count; ++i) {
            const Subdevice &sub = d->subdevices[i];
            if (sub.type == iType && (iSubtype == KA_SUBTYPE_ANY || sub.subtype == iSubtype)) {
                *piSubdevice = i;
                return 0;
            }
        }
        return KA_SIM_NO_MATCHING_SUBDEVICE;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQuerySubdeviceType(int iDevice, int iSubdevice, int *piType, int *piSubtype)
try {
    SIM_OPERATION("kaQuerySubdeviceType");
    Call call(operation_, iDevice, iSubdevice);
    return call.run({sim::out(piType), sim::out(piSubtype)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        return sim::subdeviceType(*s, iDevice, iSubdevice, piType, piSubtype);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQuerySubdeviceCaps(int iDevice, int iSubdevice, int *piCaps)
try {
    SIM_OPERATION("kaQuerySubdeviceCaps");
    Call call(operation_, iDevice, iSubdevice);
    return call.run({sim::out(piCaps)}, [&]() -> int {
        const System *s = nullptr;
        const Subdevice *sub = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        if (int code = sim::findSubdevice(*s, iDevice, iSubdevice, sub))
            return code;
        *piCaps = sub->caps;
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

// Writes the capability's values and zeros after them, iCount slots in all.
KA_API int kaQuerySubdeviceCapsArgs(int iDevice, int iSubdevice, int iCap, int *piArgs, int iCount)
try {
    SIM_OPERATION("kaQuerySubdeviceCapsArgs");
    Call call(operation_, iDevice, iSubdevice, iCap, iCount);
    return call.run({sim::out(piArgs)}, [&]() -> int {
        const System *s = nullptr;
        const Subdevice *sub = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        if (int code = sim::findSubdevice(*s, iDevice, iSubdevice, sub))
            return code;
        auto it = sub->capArgs.find(iCap);
        if (it == sub->capArgs.end())
            return KA_SIM_INVALID_CAPABILITY;
        if (iCount < static_cast<int>(it->second.size()))
            return KA_SIM_INVALID_COUNT;
        std::fill(piArgs, piArgs + iCount, 0);
        std::copy(it->second.begin(), it->second.end(), piArgs);
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNameDevice(int iDevice, char *pcName, int iCount)
try {
    SIM_OPERATION("kaQueryNameDevice");
    Call call(operation_, iDevice, iCount);
    return call.run({sim::outText(pcName, iCount)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        return sim::nameDevice(*s, iDevice, pcName, iCount);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNameDeviceDriver(int iDevice, char *pcName, int iCount)
try {
    SIM_OPERATION("kaQueryNameDeviceDriver");
    Call call(operation_, iDevice, iCount);
    return call.run({sim::outText(pcName, iCount)}, [&]() -> int {
        const System *s = nullptr;
        const Device *d = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        if (int code = sim::findDevice(*s, iDevice, d))
            return code;
        sim::writeText(pcName, iCount, d->driverName);
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryDescriptionDevice(int iDevice, char *pcDescription, int iCount)
try {
    SIM_OPERATION("kaQueryDescriptionDevice");
    Call call(operation_, iDevice, iCount);
    return call.run({sim::outText(pcDescription, iCount)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::localSystem(call, s))
            return code;
        return sim::descriptionDevice(*s, iDevice, pcDescription, iCount);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryInfoDevice(int iDevice, int *piVendorId, int *piDeviceId, int *piSerialNo,
                             int *piBusType, int *piBusNo, int *piDevNo, int *piFuncNo,
                             int *piPlugged)
try {
    SIM_OPERATION("kaQueryInfoDevice");
    Call call(operation_, iDevice);
    return call.run({sim::out(piVendorId), sim::out(piDeviceId), sim::out(piSerialNo),
                     sim::out(piBusType), sim::out(piBusNo), sim::out(piDevNo), sim::out(piFuncNo),
                     sim::out(piPlugged)},
                    [&]() -> int {
                        const System *s = nullptr;
                        if (int code = sim::localSystem(call, s))
                            return code;
                        return sim::infoDevice(*s, iDevice, piVendorId, piDeviceId, piSerialNo,
                                               piBusType, piBusNo, piDevNo, piFuncNo, piPlugged);
                    });
} catch (...) {
    return sim::exceptionCode();
}

} // extern "C"
