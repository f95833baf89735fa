// The device information report: versions, devices, subdevices and channels
// as the driver library sees them, as CR LF text.
#ifndef TARVEX_CONTROLCENTER_DEVICE_REPORT_H
#define TARVEX_CONTROLCENTER_DEVICE_REPORT_H

#include <string>

#include "driver_api.h"

// Opens the library, queries it and closes it again on every path after a
// successful open.
std::string BuildReportText(const DriverApi &api);

// The report of a library that cannot be loaded or lacks an operation.
extern const char kDriverLibraryMissing[];

#endif
