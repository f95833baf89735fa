// Queries of the local system. Those with a remote twin run their body from
// queries.cpp, which the twins in ops_remote_query.cpp share.
#include <algorithm>

#include "queries.h"

using sim::Call;
using sim::Device;
using sim::Source;
using sim::Subdevice;

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
        const sim::System *s = nullptr;
        if (int code = sim::pickSystem(call, Source::local(), s))
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
        const Device *d = nullptr;
        if (int code = sim::pickDevice(call, Source::local(), iDevice, d))
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
    return sim::numberDevices(call, Source::local(), piNumber);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberSubdevices(int iDevice, int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberSubdevices");
    Call call(operation_, iDevice);
    return sim::numberSubdevices(call, Source::local(), iDevice, piNumber);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberChannels(int iDevice, int iSubdevice, int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberChannels");
    Call call(operation_, iDevice, iSubdevice);
    return sim::numberChannels(call, Source::local(), iDevice, iSubdevice, piNumber);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberRanges(int iDevice, int iSubdevice, int iUnit, int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberRanges");
    Call call(operation_, iDevice, iSubdevice, iUnit);
    return sim::numberRanges(call, Source::local(), iDevice, iSubdevice, iUnit, piNumber);
} catch (...) {
    return sim::exceptionCode();
}

// The narrowest range of the unit that covers [*pdMin, *pdMax].
KA_API int kaQueryRangeByMinMax(int iDevice, int iSubdevice, int iUnit, double *pdMin,
                                double *pdMax, int *piMaxData, int *piRange)
try {
    SIM_OPERATION("kaQueryRangeByMinMax");
    Call call(operation_, iDevice, iSubdevice, iUnit, pdMin ? *pdMin : 0.0, pdMax ? *pdMax : 0.0);
    return call.run(
        {sim::out(pdMin), sim::out(pdMax), sim::out(piMaxData), sim::out(piRange)}, [&]() -> int {
            const Subdevice *sub = nullptr;
            if (int code = sim::pickSubdevice(call, Source::local(), iDevice, iSubdevice, sub))
                return code;
            if (!sim::isUnit(iUnit))
                return KA_SIM_INVALID_UNIT;
            if (!(*pdMin <= *pdMax))
                return KA_SIM_INVALID_ARGUMENT;
            int best = -1;
            for (int i = 0; i < static_cast<int>(sub->ranges.size()); ++i) {
                const sim::Range &r = sub->ranges[i];
                if (!sim::unitMatches(iUnit, r.unit) || r.min > *pdMin || r.max < *pdMax)
                    continue;
                if (best < 0 || r.max - r.min < sub->ranges[best].max - sub->ranges[best].min)
                    best = i;
            }
            if (best < 0)
                return KA_SIM_NO_MATCHING_RANGE;
            const sim::Range &r = sub->ranges[best];
            *pdMin = r.min;
            *pdMax = r.max;
            *piMaxData = r.maxData;
            *piRange = best;
            return 0;
        });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryRangeInfo(int iDevice, int iSubdevice, int iRange, int *piUnit, double *pdMin,
                            double *pdMax, int *piMaxData)
try {
    SIM_OPERATION("kaQueryRangeInfo");
    Call call(operation_, iDevice, iSubdevice, iRange);
    return sim::rangeInfo(call, Source::local(), iDevice, iSubdevice, iRange, piUnit, pdMin, pdMax,
                          piMaxData);
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
        const Device *d = nullptr;
        if (int code = sim::pickDevice(call, Source::local(), iDevice, d))
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
    return sim::subdeviceType(call, Source::local(), iDevice, iSubdevice, piType, piSubtype);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQuerySubdeviceCaps(int iDevice, int iSubdevice, int *piCaps)
try {
    SIM_OPERATION("kaQuerySubdeviceCaps");
    Call call(operation_, iDevice, iSubdevice);
    return call.run({sim::out(piCaps)}, [&]() -> int {
        const Subdevice *sub = nullptr;
        if (int code = sim::pickSubdevice(call, Source::local(), iDevice, iSubdevice, sub))
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
        const Subdevice *sub = nullptr;
        if (int code = sim::pickSubdevice(call, Source::local(), iDevice, iSubdevice, sub))
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
    return sim::nameDevice(call, Source::local(), iDevice, pcName, iCount);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNameDeviceDriver(int iDevice, char *pcName, int iCount)
try {
    SIM_OPERATION("kaQueryNameDeviceDriver");
    Call call(operation_, iDevice, iCount);
    return call.run({sim::outText(pcName, iCount)}, [&]() -> int {
        const Device *d = nullptr;
        if (int code = sim::pickDevice(call, Source::local(), iDevice, d))
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
    return sim::descriptionDevice(call, Source::local(), iDevice, pcDescription, iCount);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryInfoDevice(int iDevice, int *piVendorId, int *piDeviceId, int *piSerialNo,
                             int *piBusType, int *piBusNo, int *piDevNo, int *piFuncNo,
                             int *piPlugged)
try {
    SIM_OPERATION("kaQueryInfoDevice");
    Call call(operation_, iDevice);
    return sim::infoDevice(call, Source::local(), iDevice, piVendorId, piDeviceId, piSerialNo,
                           piBusType, piBusNo, piDevNo, piFuncNo, piPlugged);
} catch (...) {
    return sim::exceptionCode();
}

} // extern "C"
