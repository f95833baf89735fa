// Remote queries: the host comes first, the rest is the local twin's, whose
// body in queries.cpp they run on the host's system.
#include "queries.h"

using sim::Call;
using sim::Source;

extern "C" {

KA_API int kaRQueryNumberDevices(const char *pcHost, int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberDevices");
    Call call(operation_);
    return sim::numberDevices(call, Source::remote(pcHost), piNumber);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNumberSubdevices(const char *pcHost, int iDevice, int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberSubdevices");
    Call call(operation_, iDevice);
    return sim::numberSubdevices(call, Source::remote(pcHost), iDevice, piNumber);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNumberChannels(const char *pcHost, int iDevice, int iSubdevice, int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberChannels");
    Call call(operation_, iDevice, iSubdevice);
    return sim::numberChannels(call, Source::remote(pcHost), iDevice, iSubdevice, piNumber);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNumberRanges(const char *pcHost, int iDevice, int iSubdevice, int iUnit,
                                int *piNumber)
try {
    SIM_OPERATION("kaRQueryNumberRanges");
    Call call(operation_, iDevice, iSubdevice, iUnit);
    return sim::numberRanges(call, Source::remote(pcHost), iDevice, iSubdevice, iUnit, piNumber);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryRangeInfo(const char *pcHost, int iDevice, int iSubdevice, int iRange,
                             int *piUnit, double *pdMin, double *pdMax, int *piMaxData)
try {
    SIM_OPERATION("kaRQueryRangeInfo");
    Call call(operation_, iDevice, iSubdevice, iRange);
    return sim::rangeInfo(call, Source::remote(pcHost), iDevice, iSubdevice, iRange, piUnit, pdMin,
                          pdMax, piMaxData);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQuerySubdeviceType(const char *pcHost, int iDevice, int iSubdevice, int *piType,
                                 int *piSubtype)
try {
    SIM_OPERATION("kaRQuerySubdeviceType");
    Call call(operation_, iDevice, iSubdevice);
    return sim::subdeviceType(call, Source::remote(pcHost), iDevice, iSubdevice, piType, piSubtype);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryNameDevice(const char *pcHost, int iDevice, char *pcName, int iCount)
try {
    SIM_OPERATION("kaRQueryNameDevice");
    Call call(operation_, iDevice, iCount);
    return sim::nameDevice(call, Source::remote(pcHost), iDevice, pcName, iCount);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryDescriptionDevice(const char *pcHost, int iDevice, char *pcDescription,
                                     int iCount)
try {
    SIM_OPERATION("kaRQueryDescriptionDevice");
    Call call(operation_, iDevice, iCount);
    return sim::descriptionDevice(call, Source::remote(pcHost), iDevice, pcDescription, iCount);
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaRQueryInfoDevice(const char *pcHost, int iDevice, int *piVendorId, int *piDeviceId,
                              int *piSerialNo, int *piBusType, int *piBusNo, int *piDevNo,
                              int *piFuncNo, int *piPlugged)
try {
    SIM_OPERATION("kaRQueryInfoDevice");
    Call call(operation_, iDevice);
    return sim::infoDevice(call, Source::remote(pcHost), iDevice, piVendorId, piDeviceId,
                           piSerialNo, piBusType, piBusNo, piDevNo, piFuncNo, piPlugged);
} catch (...) {
    return sim::exceptionCode();
}

} // extern "C"
