// Stands in for a program the menu starts: writes its command line to its own
// path followed by ".args", then ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main()
{
    char path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    std::strcat(path, ".args");
    FILE *out = std::fopen(path, "wb");
    if (!out)
        return 1;
    std::fputs(GetCommandLineA(), out);
    std::fclose(out);
    return 0;
}
