// Queries of the local system. Those with a remote twin run their body from
// queries.cpp, which the twins in ops_remote_query.cpp share.
#include <algorithm>

#include "queries.h"

using sim::Call;
using sim::Device;
using sim::Export;
using sim::Out;
using sim::OutText;
using sim::Source;
using sim::Subdevice;

extern "C" {

KA_API int kaQueryVersionLibrary(int *version)
{
    // Works before kaOpen: a caller checks the library before using it.
    const auto body = [&](Call &call) -> int {
        *version = call.Lib().CurrentSystem().libraryVersion;
        return 0;
    };
    return Export("kaQueryVersionLibrary", {}, {Out(version)}, body);
}

KA_API int kaQueryVersionMainDriver(int *version)
{
    const auto body = [&](Call &call) -> int {
        const sim::System *s = nullptr;
        if (int code = sim::PickSystem(call, Source::Local(), s))
            return code;
        *version = s->mainDriverVersion;
        return 0;
    };
    return Export("kaQueryVersionMainDriver", {}, {Out(version)}, body);
}

KA_API int kaQueryVersionDeviceDriver(int device, int *version)
{
    const auto body = [&](Call &call) -> int {
        const Device *d = nullptr;
        if (int code = sim::PickDevice(call, Source::Local(), device, d))
            return code;
        *version = d->driverVersion;
        return 0;
    };
    return Export("kaQueryVersionDeviceDriver", {device}, {Out(version)}, body);
}

KA_API int kaQueryNumberDevices(int *number)
{
    const auto body = [&](Call &call) {
        return sim::NumberDevices(call, Source::Local(), number);
    };
    return Export("kaQueryNumberDevices", {}, {Out(number)}, body);
}

KA_API int kaQueryNumberSubdevices(int device, int *number)
{
    const auto body = [&](Call &call) {
        return sim::NumberSubdevices(call, Source::Local(), device, number);
    };
    return Export("kaQueryNumberSubdevices", {device}, {Out(number)}, body);
}

KA_API int kaQueryNumberChannels(int device, int subdevice, int *number)
{
    const auto body = [&](Call &call) {
        return sim::NumberChannels(call, Source::Local(), device, subdevice, number);
    };
    return Export("kaQueryNumberChannels", {device, subdevice}, {Out(number)}, body);
}

KA_API int kaQueryNumberRanges(int device, int subdevice, int unit, int *number)
{
    const auto body = [&](Call &call) {
        return sim::NumberRanges(call, Source::Local(), device, subdevice, unit, number);
    };
    return Export("kaQueryNumberRanges", {device, subdevice, unit}, {Out(number)}, body);
}

// The narrowest range of the unit that covers [*min, *max].
KA_API int kaQueryRangeByMinMax(int device, int subdevice, int unit, double *min, double *max,
                                int *maxData, int *range)
{
    const auto body = [&](Call &call) -> int {
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
    };
    return Export("kaQueryRangeByMinMax",
                  {device, subdevice, unit, min ? *min : 0.0, max ? *max : 0.0},
                  {Out(min), Out(max), Out(maxData), Out(range)}, body);
}

KA_API int kaQueryRangeInfo(int device, int subdevice, int range, int *unit, double *min,
                            double *max, int *maxData)
{
    const auto body = [&](Call &call) {
        return sim::RangeInfo(call, Source::Local(), device, subdevice, range, unit, min, max,
                              maxData);
    };
    return Export("kaQueryRangeInfo", {device, subdevice, range},
                  {Out(unit), Out(min), Out(max), Out(maxData)}, body);
}

// Searches from startSubdevice on; KA_SUBTYPE_ANY matches every subtype.
KA_API int kaQuerySubdeviceByType(int device, int startSubdevice, int type, int subtype,
                                  int *subdevice)
{
    const auto body = [&](Call &call) -> int {
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
    };
    return Export("kaQuerySubdeviceByType", {device, startSubdevice, type, subtype},
                  {Out(subdevice)}, body);
}

KA_API int kaQuerySubdeviceType(int device, int subdevice, int *type, int *subtype)
{
    const auto body = [&](Call &call) {
        return sim::SubdeviceType(call, Source::Local(), device, subdevice, type, subtype);
    };
    return Export("kaQuerySubdeviceType", {device, subdevice}, {Out(type), Out(subtype)}, body);
}

KA_API int kaQuerySubdeviceCaps(int device, int subdevice, int *caps)
{
    const auto body = [&](Call &call) -> int {
        const Subdevice *sub = nullptr;
        if (int code = sim::PickSubdevice(call, Source::Local(), device, subdevice, sub))
            return code;
        *caps = sub->caps;
        return 0;
    };
    return Export("kaQuerySubdeviceCaps", {device, subdevice}, {Out(caps)}, body);
}

// Writes the capability's values and zeros after them, count slots in all.
KA_API int kaQuerySubdeviceCapsArgs(int device, int subdevice, int cap, int *args, int count)
{
    const auto body = [&](Call &call) -> int {
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
    };
    return Export("kaQuerySubdeviceCapsArgs", {device, subdevice, cap, count}, {Out(args)}, body);
}

KA_API int kaQueryNameDevice(int device, char *name, int count)
{
    const auto body = [&](Call &call) {
        return sim::NameDevice(call, Source::Local(), device, name, count);
    };
    return Export("kaQueryNameDevice", {device, count}, {OutText(name, count)}, body);
}

KA_API int kaQueryNameDeviceDriver(int device, char *name, int count)
{
    const auto body = [&](Call &call) -> int {
        const Device *d = nullptr;
        if (int code = sim::PickDevice(call, Source::Local(), device, d))
            return code;
        sim::WriteText(name, count, d->driverName);
        return 0;
    };
    return Export("kaQueryNameDeviceDriver", {device, count}, {OutText(name, count)}, body);
}

KA_API int kaQueryDescriptionDevice(int device, char *description, int count)
{
    const auto body = [&](Call &call) {
        return sim::DescriptionDevice(call, Source::Local(), device, description, count);
    };
    return Export("kaQueryDescriptionDevice", {device, count}, {OutText(description, count)}, body);
}

KA_API int kaQueryInfoDevice(int device, int *vendorId, int *deviceId, int *serialNo, int *busType,
                             int *busNo, int *devNo, int *funcNo, int *plugged)
{
    const auto body = [&](Call &call) {
        return sim::InfoDevice(call, Source::Local(), device, vendorId, deviceId, serialNo, busType,
                               busNo, devNo, funcNo, plugged);
    };
    return Export("kaQueryInfoDevice", {device},
                  {Out(vendorId), Out(deviceId), Out(serialNo), Out(busType), Out(busNo),
                   Out(devNo), Out(funcNo), Out(plugged)},
                  body);
}

} // extern "C"
