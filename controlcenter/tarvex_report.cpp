// Prints the device report for the driver library found under its usual name.
#include <cstdio>
#include <cstring>

#include "device_report.h"

namespace
{

const char kUsage[] = "usage: tarvex-report [-h]\n";
const char kHelp[] = "\n"
                     "Prints the Control Center's device report: every device, subdevice and\n"
                     "channel the driver library libTarvexmain.so sees.\n"
                     "\n"
                     "options:\n"
                     "  -h, --help  show this help message and exit\n";

bool IsHelp(const char *argument)
{
    return std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && IsHelp(argv[1])) {
        std::printf("%s%s", kUsage, kHelp);
        return 0;
    }
    if (argc > 1) {
        std::fprintf(stderr, "%starvex-report: error: unrecognized arguments:", kUsage);
        for (int i = 1; i < argc; ++i)
            std::fprintf(stderr, " %s", argv[i]);
        std::fputs("\n", stderr);
        return 2;
    }
    const DriverApi *api = BindDriverLibrary();
    std::fputs(api ? BuildReportText(*api).c_str() : kDriverLibraryMissing, stdout);
    return api ? 0 : 1;
}
