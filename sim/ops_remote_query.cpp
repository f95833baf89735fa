// Remote queries: the host comes first, the rest is the local twin's, whose
// body in queries.cpp they run on the host's system.
#include "queries.h"

using sim::Call;
using sim::Export;
using sim::Out;
using sim::OutText;
using sim::Source;

extern "C" {

KA_API int kaRQueryNumberDevices(const char *host, int *number)
{
    const auto body = [&](Call &call) {
        return sim::NumberDevices(call, Source::Remote(host), number);
    };
    return Export("kaRQueryNumberDevices", {}, {Out(number)}, body);
}

KA_API int kaRQueryNumberSubdevices(const char *host, int device, int *number)
{
    const auto body = [&](Call &call) {
        return sim::NumberSubdevices(call, Source::Remote(host), device, number);
    };
    return Export("kaRQueryNumberSubdevices", {device}, {Out(number)}, body);
}

KA_API int kaRQueryNumberChannels(const char *host, int device, int subdevice, int *number)
{
    const auto body = [&](Call &call) {
        return sim::NumberChannels(call, Source::Remote(host), device, subdevice, number);
    };
    return Export("kaRQueryNumberChannels", {device, subdevice}, {Out(number)}, body);
}

KA_API int kaRQueryNumberRanges(const char *host, int device, int subdevice, int unit, int *number)
{
    const auto body = [&](Call &call) {
        return sim::NumberRanges(call, Source::Remote(host), device, subdevice, unit, number);
    };
    return Export("kaRQueryNumberRanges", {device, subdevice, unit}, {Out(number)}, body);
}

KA_API int kaRQueryRangeInfo(const char *host, int device, int subdevice, int range, int *unit,
                             double *min, double *max, int *maxData)
{
    const auto body = [&](Call &call) {
        return sim::RangeInfo(call, Source::Remote(host), device, subdevice, range, unit, min, max,
                              maxData);
    };
    return Export("kaRQueryRangeInfo", {device, subdevice, range},
                  {Out(unit), Out(min), Out(max), Out(maxData)}, body);
}

KA_API int kaRQuerySubdeviceType(const char *host, int device, int subdevice, int *type,
                                 int *subtype)
{
    const auto body = [&](Call &call) {
        return sim::SubdeviceType(call, Source::Remote(host), device, subdevice, type, subtype);
    };
    return Export("kaRQuerySubdeviceType", {device, subdevice}, {Out(type), Out(subtype)}, body);
}

KA_API int kaRQueryNameDevice(const char *host, int device, char *name, int count)
{
    const auto body = [&](Call &call) {
        return sim::NameDevice(call, Source::Remote(host), device, name, count);
    };
    return Export("kaRQueryNameDevice", {device, count}, {OutText(name, count)}, body);
}

KA_API int kaRQueryDescriptionDevice(const char *host, int device, char *description, int count)
{
    const auto body = [&](Call &call) {
        return sim::DescriptionDevice(call, Source::Remote(host), device, description, count);
    };
    return Export("kaRQueryDescriptionDevice", {device, count}, {OutText(description, count)},
                  body);
}

KA_API int kaRQueryInfoDevice(const char *host, int device, int *vendorId, int *deviceId,
                              int *serialNo, int *busType, int *busNo, int *devNo, int *funcNo,
                              int *plugged)
{
    const auto body = [&](Call &call) {
        return sim::InfoDevice(call, Source::Remote(host), device, vendorId, deviceId, serialNo,
                               busType, busNo, devNo, funcNo, plugged);
    };
    return Export("kaRQueryInfoDevice", {device},
                  {Out(vendorId), Out(deviceId), Out(serialNo), Out(busType), Out(busNo),
                   Out(devNo), Out(funcNo), Out(plugged)},
                  body);
}

} // extern "C"
