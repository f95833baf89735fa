#include "queries.h"

#include <algorithm>
#include <chrono>
#include <string>

namespace sim
{
namespace
{

// How long an unknown host keeps the caller waiting before it is given up.
constexpr auto kUnreachableDelay = std::chrono::milliseconds(150);

bool isLocalHost(const std::string &host)
{
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

bool isUnit(int unit)
{
    return unit == KA_UNIT_VOLT || unit == KA_UNIT_AMPERE || unit == KA_UNIT_ANY;
}

bool unitMatches(int wanted, int unit)
{
    return wanted == KA_UNIT_ANY || wanted == unit;
}

} // namespace

int localSystem(Call &call, const System *&system)
{
    if (int code = call.lib().requireOpen())
        return code;
    system = &call.lib().system;
    return 0;
}

int remoteSystem(Call &call, const char *host, const System *&system)
{
    call.captureText(host);
    if (!host)
        return KA_SIM_INVALID_POINTER;
    Library &lib = call.lib();
    if (int code = lib.requireOpen())
        return code;
    if (isLocalHost(host)) {
        system = &lib.system;
        return 0;
    }
    auto it = lib.system.hosts.find(host);
    if (it != lib.system.hosts.end()) {
        system = &it->second;
        return 0;
    }
    call.waitUntil(std::chrono::steady_clock::now() + kUnreachableDelay, [] { return false; });
    return KA_SIM_HOST_UNREACHABLE;
}

int numberDevices(const System &s, int *number)
{
    *number = static_cast<int>(s.devices.size());
    return 0;
}

int numberSubdevices(const System &s, int device, int *number)
{
    const Device *d = nullptr;
    if (int code = findDevice(s, device, d))
        return code;
    *number = static_cast<int>(d->subdevices.size());
    return 0;
}

int numberChannels(const System &s, int device, int subdevice, int *number)
{
    const Subdevice *sub = nullptr;
    if (int code = findSubdevice(s, device, subdevice, sub))
        return code;
    *number = sub->channels;
    return 0;
}

int numberRanges(const System &s, int device, int subdevice, int unit, int *number)
{
    const Subdevice *sub = nullptr;
    if (int code = findSubdevice(s, device, subdevice, sub))
        return code;
    if (!isUnit(unit))
        return KA_SIM_INVALID_UNIT;
    *number =
        static_cast<int>(std::count_if(sub->ranges.begin(), sub->ranges.end(),
                                       [&](const Range &r) { return unitMatches(unit, r.unit); }));
    return 0;
}

int rangeInfo(const System &s, int device, int subdevice, int range, int *unit, double *min,
              double *max, int *maxData)
{
    const Subdevice *sub = nullptr;
    if (int code = findSubdevice(s, device, subdevice, sub))
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

int subdeviceType(const System &s, int device, int subdevice, int *type, int *subtype)
{
    const Subdevice *sub = nullptr;
    if (int code = findSubdevice(s, device, subdevice, sub))
        return code;
    *type = sub->type;
    *subtype = sub->subtype;
    return 0;
}

int nameDevice(const System &s, int device, char *name, int capacity)
{
    const Device *d = nullptr;
    if (int code = findDevice(s, device, d))
        return code;
    writeText(name, capacity, d->name);
    return 0;
}

int descriptionDevice(const System &s, int device, char *description, int capacity)
{
    const Device *d = nullptr;
    if (int code = findDevice(s, device, d))
        return code;
    writeText(description, capacity, d->description);
    return 0;
}

int infoDevice(const System &s, int device, int *vendorId, int *deviceId, int *serialNo,
               int *busType, int *busNo, int *devNo, int *funcNo, int *plugged)
{
    const Device *d = nullptr;
    if (int code = findDevice(s, device, d))
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

int rangeByMinMax(const System &s, int device, int subdevice, int unit, double *min, double *max,
                  int *maxData, int *range)
{
    const Subdevice *sub = nullptr;
    if (int code = findSubdevice(s, device, subdevice, sub))
        return code;
    if (!isUnit(unit))
        return KA_SIM_INVALID_UNIT;
    if (!(*min <= *max))
        return KA_SIM_INVALID_ARGUMENT;
    int best = -1;
    for (int i = 0; i < static_cast<int>(sub->ranges.size()); ++i) {
        const Range &r = sub->ranges[i];
        if (!unitMatches(unit, r.unit) || r.min > *min || r.max < *max)
            continue;
        if (best < 0 || r.max - r.min < sub->ranges[best].max - sub->ranges[best].min)
            best = i;
    }
    if (best < 0)
        return KA_SIM_NO_MATCHING_RANGE;
    const Range &r = sub->ranges[best];
    *min = r.min;
    *max = r.max;
    *maxData = r.maxData;
    *range = best;
    return 0;
}

} // namespace sim
