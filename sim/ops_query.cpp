// Queries of the local system and their remote twins. Each query is written
// once over a System; the local operation asks the library's own system, the
// remote one the system of the named host.
#include <algorithm>
#include <chrono>
#include <string>

#include "library.h"

using sim::Call;
using sim::Device;
using sim::Library;
using sim::Subdevice;
using sim::System;

namespace
{

// How long an unknown host keeps the caller waiting before it is given up.
constexpr auto kUnreachableDelay = std::chrono::milliseconds(150);

bool isLocalHost(const std::string &host)
{
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

// The system a query reads: the local one, or that of a remote host.
template <class Query> int local(Call &call, Query query)
{
    if (int code = call.lib().requireOpen())
        return code;
    return query(call.lib().system);
}

template <class Query> int remote(Call &call, const char *host, Query query)
{
    call.captureText(host);
    if (!host)
        return KA_SIM_INVALID_POINTER;
    Library &lib = call.lib();
    if (int code = lib.requireOpen())
        return code;
    if (isLocalHost(host))
        return query(lib.system);
    auto it = lib.system.hosts.find(host);
    if (it != lib.system.hosts.end())
        return query(it->second);
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
    if (int code = Library::instance().findDevice(s, device, d))
        return code;
    *number = static_cast<int>(d->subdevices.size());
    return 0;
}

int numberChannels(const System &s, int device, int subdevice, int *number)
{
    const Subdevice *sub = nullptr;
    if (int code = Library::instance().findSubdevice(s, device, subdevice, sub))
        return code;
    *number = sub->channels;
    return 0;
}

bool isUnit(int unit)
{
    return unit == KA_UNIT_VOLT || unit == KA_UNIT_AMPERE || unit == KA_UNIT_ANY;
}

bool unitMatches(int wanted, int unit)
{
    return wanted == KA_UNIT_ANY || wanted == unit;
}

int numberRanges(const System &s, int device, int subdevice, int unit, int *number)
{
    const Subdevice *sub = nullptr;
    if (int code = Library::instance().findSubdevice(s, device, subdevice, sub))
        return code;
    if (!isUnit(unit))
        return KA_SIM_INVALID_UNIT;
    *number = static_cast<int>(
        std::count_if(sub->ranges.begin(), sub->ranges.end(),
                      [&](const sim::Range &r) { return unitMatches(unit, r.unit); }));
    return 0;
}

int rangeInfo(const System &s, int device, int subdevice, int range, int *unit, double *min,
              double *max, int *maxData)
{
    const Subdevice *sub = nullptr;
    if (int code = Library::instance().findSubdevice(s, device, subdevice, sub))
        return code;
    if (range < 0 || range >= static_cast<int>(sub->ranges.size()))
        return KA_SIM_INVALID_RANGE;
    const sim::Range &r = sub->ranges[range];
    *unit = r.unit;
    *min = r.min;
    *max = r.max;
    *maxData = r.maxData;
    return 0;
}

int subdeviceType(const System &s, int device, int subdevice, int *type, int *subtype)
{
    const Subdevice *sub = nullptr;
    if (int code = Library::instance().findSubdevice(s, device, subdevice, sub))
        return code;
    *type = sub->type;
    *subtype = sub->subtype;
    return 0;
}

int nameDevice(const System &s, int device, char *name, int capacity)
{
    const Device *d = nullptr;
    if (int code = Library::instance().findDevice(s, device, d))
        return code;
    sim::writeText(name, capacity, d->name);
    return 0;
}

int descriptionDevice(const System &s, int device, char *description, int capacity)
{
    const Device *d = nullptr;
    if (int code = Library::instance().findDevice(s, device, d))
        return code;
    sim::writeText(description, capacity, d->description);
    return 0;
}

int infoDevice(const System &s, int device, int *vendorId, int *deviceId, int *serialNo,
               int *busType, int *busNo, int *devNo, int *funcNo, int *plugged)
{
    const Device *d = nullptr;
    if (int code = Library::instance().findDevice(s, device, d))
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

// The narrowest range of the unit that covers [*min, *max].
int rangeByMinMax(const System &s, int device, int subdevice, int unit, double *min, double *max,
                  int *maxData, int *range)
{
    const Subdevice *sub = nullptr;
    if (int code = Library::instance().findSubdevice(s, device, subdevice, sub))
        return code;
    if (!isUnit(unit))
        return KA_SIM_INVALID_UNIT;
    if (!(*min <= *max))
        return KA_SIM_INVALID_ARGUMENT;
    int best = -1;
    for (int i = 0; i < static_cast<int>(sub->ranges.size()); ++i) {
        const sim::Range &r = sub->ranges[i];
        if (!unitMatches(unit, r.unit) || r.min > *min || r.max < *max)
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
}

} // namespace

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
        return local(call, [&](const System &s) -> int {
            *piVersion = s.mainDriverVersion;
            return 0;
        });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryVersionDeviceDriver(int iDevice, int *piVersion)
try {
    SIM_OPERATION("kaQueryVersionDeviceDriver");
    Call call(operation_, iDevice);
    return call.run({sim::out(piVersion)}, [&]() -> int {
        return local(call, [&](const System &s) -> int {
            const Device *d = nullptr;
            if (int code = call.lib().findDevice(s, iDevice, d))
                return code;
            *piVersion = d->driverVersion;
            return 0;
        });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberDevices(int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberDevices");
    Call call(operation_);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        return local(call, [&](const System &s) -> int { return numberDevices(s, piNumber); });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNumberDevices(const char *pcHost, int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberDevices");
    Call call(operation_);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        return remote(call, pcHost,
                      [&](const System &s) -> int { return numberDevices(s, piNumber); });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberSubdevices(int iDevice, int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberSubdevices");
    Call call(operation_, iDevice);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        return local(
            call, [&](const System &s) -> int { return numberSubdevices(s, iDevice, piNumber); });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNumberSubdevices(const char *pcHost, int iDevice, int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberSubdevices");
    Call call(operation_, iDevice);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        return remote(call, pcHost, [&](const System &s) -> int {
            return numberSubdevices(s, iDevice, piNumber);
        });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberChannels(int iDevice, int iSubdevice, int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberChannels");
    Call call(operation_, iDevice, iSubdevice);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        return local(call, [&](const System &s) -> int {
            return numberChannels(s, iDevice, iSubdevice, piNumber);
        });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNumberChannels(const char *pcHost, int iDevice, int iSubdevice, int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberChannels");
    Call call(operation_, iDevice, iSubdevice);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        return remote(call, pcHost, [&](const System &s) -> int {
            return numberChannels(s, iDevice, iSubdevice, piNumber);
        });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNumberRanges(int iDevice, int iSubdevice, int iUnit, int *piNumber)
try {
    SIM_OPERATION("kaQueryNumberRanges");
    Call call(operation_, iDevice, iSubdevice, iUnit);
    return call.run({sim::out(piNumber)}, [&]() -> int {
        return local(call, [&](const System &s) -> int {
            return numberRanges(s, iDevice, iSubdevice, iUnit, piNumber);
        });
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
        return remote(call, pcHost, [&](const System &s) -> int {
            return numberRanges(s, iDevice, iSubdevice, iUnit, piNumber);
        });
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
                        return local(call, [&](const System &s) -> int {
                            return rangeByMinMax(s, iDevice, iSubdevice, iUnit, pdMin, pdMax,
                                                 piMaxData, piRange);
                        });
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
            return local(call, [&](const System &s) -> int {
                return rangeInfo(s, iDevice, iSubdevice, iRange, piUnit, pdMin, pdMax, piMaxData);
            });
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
            return remote(call, pcHost, [&](const System &s) -> int {
                return rangeInfo(s, iDevice, iSubdevice, iRange, piUnit, pdMin, pdMax, piMaxData);
            });
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
        return local(call, [&](const System &s) -> int {
            const Device *d = nullptr;
            if (int code = call.lib().findDevice(s, iDevice, d))
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
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQuerySubdeviceType(int iDevice, int iSubdevice, int *piType, int *piSubtype)
try {
    SIM_OPERATION("kaQuerySubdeviceType");
    Call call(operation_, iDevice, iSubdevice);
    return call.run({sim::out(piType), sim::out(piSubtype)}, [&]() -> int {
        return local(call, [&](const System &s) -> int {
            return subdeviceType(s, iDevice, iSubdevice, piType, piSubtype);
        });
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
        return remote(call, pcHost, [&](const System &s) -> int {
            return subdeviceType(s, iDevice, iSubdevice, piType, piSubtype);
        });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQuerySubdeviceCaps(int iDevice, int iSubdevice, int *piCaps)
try {
    SIM_OPERATION("kaQuerySubdeviceCaps");
    Call call(operation_, iDevice, iSubdevice);
    return call.run({sim::out(piCaps)}, [&]() -> int {
        return local(call, [&](const System &s) -> int {
            const Subdevice *sub = nullptr;
            if (int code = call.lib().findSubdevice(s, iDevice, iSubdevice, sub))
                return code;
            *piCaps = sub->caps;
            return 0;
        });
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
        return local(call, [&](const System &s) -> int {
            const Subdevice *sub = nullptr;
            if (int code = call.lib().findSubdevice(s, iDevice, iSubdevice, sub))
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
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNameDevice(int iDevice, char *pcName, int iCount)
try {
    SIM_OPERATION("kaQueryNameDevice");
    Call call(operation_, iDevice, iCount);
    return call.run({sim::outText(pcName, iCount)}, [&]() -> int {
        return local(
            call, [&](const System &s) -> int { return nameDevice(s, iDevice, pcName, iCount); });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNameDevice(const char *pcHost, int iDevice, char *pcName, int iCount)
try {
    SIM_OPERATION("kaRQueryNameDevice");
    Call call(operation_, iDevice, iCount);
    return call.run({sim::outText(pcName, iCount)}, [&]() -> int {
        return remote(call, pcHost, [&](const System &s) -> int {
            return nameDevice(s, iDevice, pcName, iCount);
        });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryNameDeviceDriver(int iDevice, char *pcName, int iCount)
try {
    SIM_OPERATION("kaQueryNameDeviceDriver");
    Call call(operation_, iDevice, iCount);
    return call.run({sim::outText(pcName, iCount)}, [&]() -> int {
        return local(call, [&](const System &s) -> int {
            const Device *d = nullptr;
            if (int code = call.lib().findDevice(s, iDevice, d))
                return code;
            sim::writeText(pcName, iCount, d->driverName);
            return 0;
        });
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaQueryDescriptionDevice(int iDevice, char *pcDescription, int iCount)
try {
    SIM_OPERATION("kaQueryDescriptionDevice");
    Call call(operation_, iDevice, iCount);
    return call.run({sim::outText(pcDescription, iCount)}, [&]() -> int {
        return local(call, [&](const System &s) -> int {
            return descriptionDevice(s, iDevice, pcDescription, iCount);
        });
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
        return remote(call, pcHost, [&](const System &s) -> int {
            return descriptionDevice(s, iDevice, pcDescription, iCount);
        });
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
                        return local(call, [&](const System &s) -> int {
                            return infoDevice(s, iDevice, piVendorId, piDeviceId, piSerialNo,
                                              piBusType, piBusNo, piDevNo, piFuncNo, piPlugged);
                        });
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
                        return remote(call, pcHost, [&](const System &s) -> int {
                            return infoDevice(s, iDevice, piVendorId, piDeviceId, piSerialNo,
                                              piBusType, piBusNo, piDevNo, piFuncNo, piPlugged);
                        });
                    });
} catch (...) {
    return sim::exceptionCode();
}

} // extern "C"
