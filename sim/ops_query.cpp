// Queries of the local system. Those with a remote twin run their body from
// queries.cpp, which the twins in ops_remote_query.cpp share.
#include <algorithm>

#include "queries.h"

using sim::Call;
using sim::Device;
using sim::Source;
using sim::Subdevice;

extern "C" {

KA_API int kaQueryVersionLibrary(int *version)
try {
    TARVEX_SIM_OPERATION("kaQueryVersionLibrary");
    Call call(operation);
    // Works before kaOpen: a caller checks the library before using it.
    return call.Run({sim::Out(version)}, [&]() -> int {
        *version = call.Lib().system_.libraryVersion;
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryVersionMainDriver(int *version)
try {
    TARVEX_SIM_OPERATION("kaQueryVersionMainDriver");
    Call call(operation);
    return call.Run({sim::Out(version)}, [&]() -> int {
        const sim::System *s = nullptr;
        if (int code = sim::PickSystem(call, Source::Local(), s))
            return code;
        *version = s->mainDriverVersion;
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryVersionDeviceDriver(int device, int *version)
try {
    TARVEX_SIM_OPERATION("kaQueryVersionDeviceDriver");
    Call call(operation, device);
    return call.Run({sim::Out(version)}, [&]() -> int {
        const Device *d = nullptr;
        if (int code = sim::PickDevice(call, Source::Local(), device, d))
            return code;
        *version = d->driverVersion;
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryNumberDevices(int *number)
try {
    TARVEX_SIM_OPERATION("kaQueryNumberDevices");
    Call call(operation);
    return sim::NumberDevices(call, Source::Local(), number);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryNumberSubdevices(int device, int *number)
try {
    TARVEX_SIM_OPERATION("kaQueryNumberSubdevices");
    Call call(operation, device);
    return sim::NumberSubdevices(call, Source::Local(), device, number);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryNumberChannels(int device, int subdevice, int *number)
try {
    TARVEX_SIM_OPERATION("kaQueryNumberChannels");
    Call call(operation, device, subdevice);
    return sim::NumberChannels(call, Source::Local(), device, subdevice, number);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryNumberRanges(int device, int subdevice, int unit, int *number)
try {
    TARVEX_SIM_OPERATION("kaQueryNumberRanges");
    Call call(operation, device, subdevice, unit);
    return sim::NumberRanges(call, Source::Local(), device, subdevice, unit, number);
} catch (...) {
    return sim::ExceptionCode();
}

// The narrowest range of the unit that covers [*min, *max].
KA_API int kaQueryRangeByMinMax(int device, int subdevice, int unit, double *min, double *max,
                                int *maxData, int *range)
try {
    TARVEX_SIM_OPERATION("kaQueryRangeByMinMax");
    Call call(operation, device, subdevice, unit, min ? *min : 0.0, max ? *max : 0.0);
    return call.Run(
        {sim::Out(min), sim::Out(max), sim::Out(maxData), sim::Out(range)}, [&]() -> int {
            const Subdevice *sub = nullptr;
            if (int code = sim::PickSubdevice(call, Source::Local(), device, subdevice, sub))
                return code;
            if (!sim::IsUnit(unit))
                return KA_SIM_INVALID_UNIT;
            if (!(*min <= *max))
                return KA_SIM_INVALID_ARGUMENT;
            int best = -1;
            for (int i = 0; i < static_cast<int>(sub->ranges.size()); ++i) {
                const sim::Range &r = sub->ranges[i];
                if (!sim::UnitMatches(unit, r.unit) || r.min > *min || r.max < *max)
                    continue;
                if (best < 0 || r.max - r.min < sub->ranges[best].max - sub->ranges[best].min)
                    best = i;
            }
            if (best < 0)
                return KA_SIM_NO_MATCHING_RANGE;
            const sim::Range &r = sub->ranges[best];
            *min = r.min;
            *max = r.max;
            *maxData = r.maxData;
            *range = best;
            return 0;
        });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryRangeInfo(int device, int subdevice, int range, int *unit, double *min,
                            double *max, int *maxData)
try {
    TARVEX_SIM_OPERATION("kaQueryRangeInfo");
    Call call(operation, device, subdevice, range);
    return sim::RangeInfo(call, Source::Local(), device, subdevice, range, unit, min, max, maxData);
} catch (...) {
    return sim::ExceptionCode();
}

// Searches from startSubdevice on; KA_SUBTYPE_ANY matches every subtype.
KA_API int kaQuerySubdeviceByType(int device, int startSubdevice, int type, int subtype,
                                  int *subdevice)
try {
    TARVEX_SIM_OPERATION("kaQuerySubdeviceByType");
    Call call(operation, device, startSubdevice, type, subtype);
    return call.Run({sim::Out(subdevice)}, [&]() -> int {
        const Device *d = nullptr;
        if (int code = sim::PickDevice(call, Source::Local(), device, d))
            return code;
        const int count = static_cast<int>(d->subdevices.size());
        if (startSubdevice < 0 || startSubdevice > count)
            return KA_SIM_INVALID_SUBDEVICE;
        for (int i = startSubdevice; i < count; ++i) {
            const Subdevice &sub = d->subdevices[i];
            if (sub.type == type && (subtype == KA_SUBTYPE_ANY || sub.subtype == subtype)) {
                *subdevice = i;
                return 0;
            }
        }
        return KA_SIM_NO_MATCHING_SUBDEVICE;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQuerySubdeviceType(int device, int subdevice, int *type, int *subtype)
try {
    TARVEX_SIM_OPERATION("kaQuerySubdeviceType");
    Call call(operation, device, subdevice);
    return sim::SubdeviceType(call, Source::Local(), device, subdevice, type, subtype);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQuerySubdeviceCaps(int device, int subdevice, int *caps)
try {
    TARVEX_SIM_OPERATION("kaQuerySubdeviceCaps");
    Call call(operation, device, subdevice);
    return call.Run({sim::Out(caps)}, [&]() -> int {
        const Subdevice *sub = nullptr;
        if (int code = sim::PickSubdevice(call, Source::Local(), device, subdevice, sub))
            return code;
        *caps = sub->caps;
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

// Writes the capability's values and zeros after them, count slots in all.
KA_API int kaQuerySubdeviceCapsArgs(int device, int subdevice, int cap, int *args, int count)
try {
    TARVEX_SIM_OPERATION("kaQuerySubdeviceCapsArgs");
    Call call(operation, device, subdevice, cap, count);
    return call.Run({sim::Out(args)}, [&]() -> int {
        const Subdevice *sub = nullptr;
        if (int code = sim::PickSubdevice(call, Source::Local(), device, subdevice, sub))
            return code;
        auto it = sub->capArgs.find(cap);
        if (it == sub->capArgs.end())
            return KA_SIM_INVALID_CAPABILITY;
        if (count < static_cast<int>(it->second.size()))
            return KA_SIM_INVALID_COUNT;
        std::fill(args, args + count, 0);
        std::copy(it->second.begin(), it->second.end(), args);
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryNameDevice(int device, char *name, int count)
try {
    TARVEX_SIM_OPERATION("kaQueryNameDevice");
    Call call(operation, device, count);
    return sim::NameDevice(call, Source::Local(), device, name, count);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryNameDeviceDriver(int device, char *name, int count)
try {
    TARVEX_SIM_OPERATION("kaQueryNameDeviceDriver");
    Call call(operation, device, count);
    return call.Run({sim::OutText(name, count)}, [&]() -> int {
        const Device *d = nullptr;
        if (int code = sim::PickDevice(call, Source::Local(), device, d))
            return code;
        sim::WriteText(name, count, d->driverName);
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryDescriptionDevice(int device, char *description, int count)
try {
    TARVEX_SIM_OPERATION("kaQueryDescriptionDevice");
    Call call(operation, device, count);
    return sim::DescriptionDevice(call, Source::Local(), device, description, count);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaQueryInfoDevice(int device, int *vendorId, int *deviceId, int *serialNo, int *busType,
                             int *busNo, int *devNo, int *funcNo, int *plugged)
try {
    TARVEX_SIM_OPERATION("kaQueryInfoDevice");
    Call call(operation, device);
    return sim::InfoDevice(call, Source::Local(), device, vendorId, deviceId, serialNo, busType,
                           busNo, devNo, funcNo, plugged);
} catch (...) {
    return sim::ExceptionCode();
}

} // extern "C"
