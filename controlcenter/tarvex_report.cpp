// Prints the device report for the driver library found under its usual name.
#include <cstdio>

#include "device_report.h"

int main()
{
    const DriverApi *api = BindDriverLibrary();
    std::fputs(api ? BuildReportText(*api).c_str() : kDriverLibraryMissing, stdout);
    return api ? 0 : 1;
}
