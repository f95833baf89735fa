// The driver library operations the report uses, bound by name at run time so
// that the program starts (and shows its icon) without the library present.
#ifndef TARVEX_CONTROLCENTER_DRIVER_API_H
#define TARVEX_CONTROLCENTER_DRIVER_API_H

#include "Tarvexmain.h"

struct DriverApi {
    decltype(&::kaQueryVersionLibrary) kaQueryVersionLibrary;
    decltype(&::kaOpen) kaOpen;
    decltype(&::kaClose) kaClose;
    decltype(&::kaQueryVersionMainDriver) kaQueryVersionMainDriver;
    decltype(&::kaQueryNumberDevices) kaQueryNumberDevices;
    decltype(&::kaQueryInfoDevice) kaQueryInfoDevice;
    decltype(&::kaQueryNameDevice) kaQueryNameDevice;
    decltype(&::kaQueryDescriptionDevice) kaQueryDescriptionDevice;
    decltype(&::kaQueryNameDeviceDriver) kaQueryNameDeviceDriver;
    decltype(&::kaQueryVersionDeviceDriver) kaQueryVersionDeviceDriver;
    decltype(&::kaQueryNumberSubdevices) kaQueryNumberSubdevices;
    decltype(&::kaQuerySubdeviceType) kaQuerySubdeviceType;
    decltype(&::kaQueryNumberChannels) kaQueryNumberChannels;
};

// The operations of the driver library found under its usual name
// (Tarvexmain.dll, libTarvexmain.so), loaded at the first call. Null while the
// library or one of its operations cannot be found; a later call tries again.
const DriverApi *BindDriverLibrary();

#endif
