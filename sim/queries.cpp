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

bool isLocalHost(const std::string &host)
{
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

} // namespace

int pickSystem(Call &call, Source source, const System *&system)
{
    Library &lib = call.lib();
    if (source.isRemote) {
        call.captureText(source.host);
        if (!source.host)
            return KA_SIM_INVALID_POINTER;
    }
    if (int code = lib.requireOpen())
        return code;
    if (!source.isRemote || isLocalHost(source.host)) {
        system = &lib.system;
        return 0;
    }
    auto it = lib.system.hosts.find(source.host);
    if (it != lib.system.hosts.end()) {
        system = &it->second;
        return 0;
    }
    call.waitFor(Clock::now() + kUnreachableDelay,
                 [](Clock::time_point, Clock::time_point &) { return std::optional<int>(); });
    return KA_SIM_HOST_UNREACHABLE;
}

int pickDevice(Call &call, Source source, int device, const Device *&found)
{
    const System *s = nullptr;
    if (int code = pickSystem(call, source, s))
        return code;
    return findDevice(*s, device, found);
}

int pickSubdevice(Call &call, Source source, int device, int subdevice, const Subdevice *&found)
{
    const System *s = nullptr;
    if (int code = pickSystem(call, source, s))
        return code;
    return findSubdevice(*s, device, subdevice, found);
}

bool isUnit(int unit)
{
    return unit == KA_UNIT_VOLT || unit == KA_UNIT_AMPERE || unit == KA_UNIT_ANY;
}

bool unitMatches(int wanted, int unit)
{
    return wanted == KA_UNIT_ANY || wanted == unit;
}

int numberDevices(Call &call, Source source, int *number)
{
    return call.run({out(number)}, [&]() -> int {
        const System *s = nullptr;
        if (int code = pickSystem(call, source, s))
            return code;
        *number = static_cast<int>(s->devices.size());
        return 0;
    });
}

int numberSubdevices(Call &call, Source source, int device, int *number)
{
    return call.run({out(number)}, [&]() -> int {
        const Device *d = nullptr;
        if (int code = pickDevice(call, source, device, d))
            return code;
        *number = static_cast<int>(d->subdevices.size());
        return 0;
    });
}

int numberChannels(Call &call, Source source, int device, int subdevice, int *number)
{
    return call.run({out(number)}, [&]() -> int {
        const Subdevice *sub = nullptr;
        if (int code = pickSubdevice(call, source, device, subdevice, sub))
            return code;
        *number = sub->channels;
        return 0;
    });
}

int numberRanges(Call &call, Source source, int device, int subdevice, int unit, int *number)
{
    return call.run({out(number)}, [&]() -> int {
        const Subdevice *sub = nullptr;
        if (int code = pickSubdevice(call, source, device, subdevice, sub))
            return code;
        if (!isUnit(unit))
            return KA_SIM_INVALID_UNIT;
        *number = static_cast<int>(
            std::count_if(sub->ranges.begin(), sub->ranges.end(),
                          [&](const Range &r) { return unitMatches(unit, r.unit); }));
        return 0;
    });
}

int rangeInfo(Call &call, Source source, int device, int subdevice, int range, int *unit,
              double *min, double *max, int *maxData)
{
    return call.run({out(unit), out(min), out(max), out(maxData)}, [&]() -> int {
        const Subdevice *sub = nullptr;
        if (int code = pickSubdevice(call, source, device, subdevice, sub))
            return code;
        if (range < 0 || range >= static_cast<int>(sub->ranges.size()))
            return KA_SIM_INVALID_RANGE;
        const Range &r = sub->ranges[range];
        *unit = r.unit;
        *min = r.min;
        *max = r.max;
        *maxData = r.maxData;
        return 0;
    });
}

int subdeviceType(Call &call, Source source, int device, int subdevice, int *type, int *subtype)
{
    return call.run({out(type), out(subtype)}, [&]() -> int {
        const Subdevice *sub = nullptr;
        if (int code = pickSubdevice(call, source, device, subdevice, sub))
            return code;
        *type = sub->type;
        *subtype = sub->subtype;
        return 0;
    });
}

int nameDevice(Call &call, Source source, int device, char *name, int capacity)
{
    return call.run({outText(name, capacity)}, [&]() -> int {
        const Device *d = nullptr;
        if (int code = pickDevice(call, source, device, d))
            return code;
        writeText(name, capacity, d->name);
        return 0;
    });
}

int descriptionDevice(Call &call, Source source, int device, char *description, int capacity)
{
    return call.run({outText(description, capacity)}, [&]() -> int {
        const Device *d = nullptr;
        if (int code = pickDevice(call, source, device, d))
            return code;
        writeText(description, capacity, d->description);
        return 0;
    });
}

int infoDevice(Call &call, Source source, int device, int *vendorId, int *deviceId, int *serialNo,
               int *busType, int *busNo, int *devNo, int *funcNo, int *plugged)
{
    return call.run({out(vendorId), out(deviceId), out(serialNo), out(busType), out(busNo),
                     out(devNo), out(funcNo), out(plugged)},
                    [&]() -> int {
                        const Device *d = nullptr;
                        if (int code = pickDevice(call, source, device, d))
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
                    });
}

} // namespace sim
