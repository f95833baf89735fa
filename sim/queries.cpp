#include "queries.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

namespace sim
{
namespace
{
// How long an unknown host keeps the caller waiting before it is given up.
constexpr auto kUnreachableDelay = std::chrono::milliseconds(150);

bool IsLocalHost(const std::string &host)
{
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

} // namespace

int PickSystem(Call &call, Source source, const System *&system)
{
    Library &lib = call.Lib();
    if (source.isRemote) {
        call.CaptureText(source.host);
        if (!source.host)
            return KA_SIM_INVALID_POINTER;
    }
    if (int code = lib.RequireOpen())
        return code;
    if (!source.isRemote || IsLocalHost(source.host)) {
        system = &lib.CurrentSystem();
        return 0;
    }
    auto it = lib.CurrentSystem().hosts.find(source.host);
    if (it != lib.CurrentSystem().hosts.end()) {
        system = &it->second;
        return 0;
    }
    call.WaitFor(Clock::now() + kUnreachableDelay,
                 [](Clock::time_point, Clock::time_point &) { return std::optional<int>(); });
    return KA_SIM_HOST_UNREACHABLE;
}

int PickDevice(Call &call, Source source, int device, const Device *&found)
{
    const System *s = nullptr;
    if (int code = PickSystem(call, source, s))
        return code;
    return FindDevice(*s, device, found);
}

int PickSubdevice(Call &call, Source source, int device, int subdevice, const Subdevice *&found)
{
    const System *s = nullptr;
    if (int code = PickSystem(call, source, s))
        return code;
    return FindSubdevice(*s, device, subdevice, found);
}

bool IsUnit(int unit)
{
    return unit == KA_UNIT_VOLT || unit == KA_UNIT_AMPERE || unit == KA_UNIT_ANY;
}

bool UnitMatches(int wanted, int unit)
{
    return wanted == KA_UNIT_ANY || wanted == unit;
}

int NumberDevices(Call &call, Source source, int *number)
{
    const System *s = nullptr;
    if (int code = PickSystem(call, source, s))
        return code;
    *number = static_cast<int>(s->devices.size());
    return 0;
}

int NumberSubdevices(Call &call, Source source, int device, int *number)
{
    const Device *d = nullptr;
    if (int code = PickDevice(call, source, device, d))
        return code;
    *number = static_cast<int>(d->subdevices.size());
    return 0;
}

int NumberChannels(Call &call, Source source, int device, int subdevice, int *number)
{
    const Subdevice *sub = nullptr;
    if (int code = PickSubdevice(call, source, device, subdevice, sub))
        return code;
    *number = sub->channels;
    return 0;
}

int NumberRanges(Call &call, Source source, int device, int subdevice, int unit, int *number)
{
    const Subdevice *sub = nullptr;
    if (int code = PickSubdevice(call, source, device, subdevice, sub))
        return code;
    if (!IsUnit(unit))
        return KA_SIM_INVALID_UNIT;
    *number =
        static_cast<int>(std::count_if(sub->ranges.begin(), sub->ranges.end(),
                                       [&](const Range &r) { return UnitMatches(unit, r.unit); }));
    return 0;
}

int RangeInfo(Call &call, Source source, int device, int subdevice, int range, int *unit,
              double *min, double *max, int *maxData)
{
    const Subdevice *sub = nullptr;
    if (int code = PickSubdevice(call, source, device, subdevice, sub))
        return code;
    if (range < 0 || range >= static_cast<int>(sub->ranges.size()))
        return KA_SIM_INVALID_RANGE;
    const Range &r = sub->ranges[range];
    *unit = r.unit;
    *min = r.min;
    *max = r.max;
    *maxData = r.maxData;
    return 0;
}

int SubdeviceType(Call &call, Source source, int device, int subdevice, int *type, int *subtype)
{
    const Subdevice *sub = nullptr;
    if (int code = PickSubdevice(call, source, device, subdevice, sub))
        return code;
    *type = sub->type;
    *subtype = sub->subtype;
    return 0;
}

int NameDevice(Call &call, Source source, int device, char *name, int capacity)
{
    const Device *d = nullptr;
    if (int code = PickDevice(call, source, device, d))
        return code;
    WriteText(name, capacity, d->name);
    return 0;
}

int DescriptionDevice(Call &call, Source source, int device, char *description, int capacity)
{
    const Device *d = nullptr;
    if (int code = PickDevice(call, source, device, d))
        return code;
    WriteText(description, capacity, d->description);
    return 0;
}

int InfoDevice(Call &call, Source source, int device, int *vendorId, int *deviceId, int *serialNo,
               int *busType, int *busNo, int *devNo, int *funcNo, int *plugged)
{
    const Device *d = nullptr;
    if (int code = PickDevice(call, source, device, d))
        return code;
    *vendorId = d->info.vendorId;
    *deviceId = d->info.deviceId;
    *serialNo = d->info.serialNo;
    *busType = d->info.busType;
    *busNo = d->info.busNo;
    *devNo = d->info.devNo;
    *funcNo = d->info.funcNo;
    *plugged = d->plugged ? KA_PLUGGED_IN : KA_PLUGGED_OUT;
    return 0;
}

} // namespace sim
