// Remote queries: the host comes first, the rest is the local twin's, and
// the answer is written once, in queries.cpp, for both.
#include "queries.h"

using sim::Call;
using sim::System;

extern "C" {

KA_API int kaRQueryNumberDevices(const char *pcHost, int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberDevices");
    Call call(operation_);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::remoteSystem(call, pcHost, s))
            return code;
        return sim::numberDevices(*s, piNumber);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNumberSubdevices(const char *pcHost, int iDevice, int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberSubdevices");
    Call call(operation_, iDevice);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::remoteSystem(call, pcHost, s))
            return code;
        return sim::numberSubdevices(*s, iDevice, piNumber);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNumberChannels(const char *pcHost, int iDevice, int iSubdevice, int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberChannels");
    Call call(operation_, iDevice, iSubdevice);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::remoteSystem(call, pcHost, s))
            return code;
        return sim::numberChannels(*s, iDevice, iSubdevice, piNumber);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNumberRanges(const char *pcHost, int iDevice, int iSubdevice, int iUnit,
                                int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberRanges");
    Call call(operation_, iDevice, iSubdevice, iUnit);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::remoteSystem(call, pcHost, s))
            return code;
        return sim::numberRanges(*s, iDevice, iSubdevice, iUnit, piNumber);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryRangeInfo(const char *pcHost, int iDevice, int iSubdevice, int iRange,
                             int *piUnit, double *pdMin, double *pdMax, int *piMaxData)
try {
    SIM_OPERATION("kaRQueryRangeInfo");
    Call call(operation_, iDevice, iSubdevice, iRange);
    return call.run(
        {sim::out(piUnit), sim::out(pdMin), sim::out(pdMax), sim::out(piMaxData)}, [&]() -> int {
            const System *s = nullptr;
            if (int code = sim::remoteSystem(call, pcHost, s))
                return code;
            return sim::rangeInfo(*s, iDevice, iSubdevice, iRange, piUnit, pdMin, pdMax, piMaxData);
        });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQuerySubdeviceType(const char *pcHost, int iDevice, int iSubdevice, int *piType,
                                 int *piSubtype)
try {
    SIM_OPERATION("kaRQuerySubdeviceType");
    Call call(operation_, iDevice, iSubdevice);
    return call.run({sim::out(piType), sim::out(piSubtype)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::remoteSystem(call, pcHost, s))
            return code;
        return sim::subdeviceType(*s, iDevice, iSubdevice, piType, piSubtype);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNameDevice(const char *pcHost, int iDevice, char *pcName, int iCount)
try {
    SIM_OPERATION("kaRQueryNameDevice");
    Call call(operation_, iDevice, iCount);
    return call.run({sim::outText(pcName, iCount)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::remoteSystem(call, pcHost, s))
            return code;
        return sim::nameDevice(*s, iDevice, pcName, iCount);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryDescriptionDevice(const char *pcHost, int iDevice, char *pcDescription,
                                     int iCount)
try {
    SIM_OPERATION("kaRQueryDescriptionDevice");
    Call call(operation_, iDevice, iCount);
    return call.run({sim::outText(pcDescription, iCount)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = sim::remoteSystem(call, pcHost, s))
            return code;
        return sim::descriptionDevice(*s, iDevice, pcDescription, iCount);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryInfoDevice(const char *pcHost, int iDevice, int *piVendorId, int *piDeviceId,
                              int *piSerialNo, int *piBusType, int *piBusNo, int *piDevNo,
                              int *piFuncNo, int *piPlugged)
try {
    SIM_OPERATION("kaRQueryInfoDevice");
    Call call(operation_, iDevice);
    return call.run({sim::out(piVendorId), sim::out(piDeviceId), sim::out(piSerialNo),
                     sim::out(piBusType), sim::out(piBusNo), sim::out(piDevNo), sim::out(piFuncNo),
                     sim::out(piPlugged)},
                    [&]() -> int {
                        const System *s = nullptr;
                        if (int code = sim::remoteSystem(call, pcHost, s))
                            return code;
                        return sim::infoDevice(*s, iDevice, piVendorId, piDeviceId, piSerialNo,
                                               piBusType, piBusNo, piDevNo, piFuncNo, piPlugged);
                    });
} catch (...) {
    return sim::exceptionCode();
}

} // extern "C"
