// Remote queries: the host comes first, the rest is the local twin's, whose
// body in queries.cpp they run on the host's system.
#include "queries.h"

using sim::Call;
using sim::Source;

extern "C" {

KA_API int kaRQueryNumberDevices(const char *host, int *number)
try {
    TARVEX_SIM_OPERATION("kaRQueryNumberDevices");
    Call call(operation);
    return sim::NumberDevices(call, Source::Remote(host), number);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaRQueryNumberSubdevices(const char *host, int device, int *number)
try {
    TARVEX_SIM_OPERATION("kaRQueryNumberSubdevices");
    Call call(operation, device);
    return sim::NumberSubdevices(call, Source::Remote(host), device, number);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaRQueryNumberChannels(const char *host, int device, int subdevice, int *number)
try {
    TARVEX_SIM_OPERATION("kaRQueryNumberChannels");
    Call call(operation, device, subdevice);
    return sim::NumberChannels(call, Source::Remote(host), device, subdevice, number);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaRQueryNumberRanges(const char *host, int device, int subdevice, int unit, int *number)
try {
    TARVEX_SIM_OPERATION("kaRQueryNumberRanges");
    Call call(operation, device, subdevice, unit);
    return sim::NumberRanges(call, Source::Remote(host), device, subdevice, unit, number);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaRQueryRangeInfo(const char *host, int device, int subdevice, int range, int *unit,
                             double *min, double *max, int *maxData)
try {
    TARVEX_SIM_OPERATION("kaRQueryRangeInfo");
    Call call(operation, device, subdevice, range);
    return sim::RangeInfo(call, Source::Remote(host), device, subdevice, range, unit, min, max,
                          maxData);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaRQuerySubdeviceType(const char *host, int device, int subdevice, int *type,
                                 int *subtype)
try {
    TARVEX_SIM_OPERATION("kaRQuerySubdeviceType");
    Call call(operation, device, subdevice);
    return sim::SubdeviceType(call, Source::Remote(host), device, subdevice, type, subtype);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaRQueryNameDevice(const char *host, int device, char *name, int count)
try {
    TARVEX_SIM_OPERATION("kaRQueryNameDevice");
    Call call(operation, device, count);
    return sim::NameDevice(call, Source::Remote(host), device, name, count);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaRQueryDescriptionDevice(const char *host, int device, char *description, int count)
try {
    TARVEX_SIM_OPERATION("kaRQueryDescriptionDevice");
    Call call(operation, device, count);
    return sim::DescriptionDevice(call, Source::Remote(host), device, description, count);
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaRQueryInfoDevice(const char *host, int device, int *vendorId, int *deviceId,
                              int *serialNo, int *busType, int *busNo, int *devNo, int *funcNo,
                              int *plugged)
try {
    TARVEX_SIM_OPERATION("kaRQueryInfoDevice");
    Call call(operation, device);
    return sim::InfoDevice(call, Source::Remote(host), device, vendorId, deviceId, serialNo,
                           busType, busNo, devNo, funcNo, plugged);
} catch (...) {
    return sim::ExceptionCode();
}

} // extern "C"
