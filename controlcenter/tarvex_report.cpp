// Prints the device report for the driver library found under its usual name.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <string>

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

// The library's texts are Latin-1, the ANSI texts of the driver library;
// the terminal gets them in its own encoding (characters it lacks as near
// as it can show them).
std::string InTerminalEncoding(std::string latin1)
{
    std::setlocale(LC_CTYPE, "");
    const std::string target = std::string(nl_langinfo(CODESET)) + "//TRANSLIT";
    iconv_t converter = iconv_open(target.c_str(), "ISO-8859-1");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return latin1;
    std::string shown(latin1.size() * 4 + 16, '\0'); // room for any encoding of each character
    char *in = latin1.data();
    std::size_t inLeft = latin1.size();
    char *out = shown.data();
    std::size_t outLeft = shown.size();
    const bool converted =
        iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    if (!converted)
        return latin1;
    shown.resize(shown.size() - outLeft);
    return shown;
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
    std::fputs(api ? InTerminalEncoding(BuildReportText(*api)).c_str() : kDriverLibraryMissing,
               stdout);
    return api ? 0 : 1;
}
