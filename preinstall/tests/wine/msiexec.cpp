// Stands in for the Windows Installer in the launcher's Wine tests: writes the
// command line it was started with to the file named by MSIEXEC_RECORD.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main()
{
    const char *record = std::getenv("MSIEXEC_RECORD");
    if (record == nullptr)
        return 2;
    std::FILE *out = std::fopen(record, "wb");
    if (out == nullptr)
        return 3;
    std::fputs(GetCommandLineA(), out);
    return std::fclose(out) == 0 ? 0 : 3;
}
