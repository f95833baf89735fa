#include "device_report.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

const char kDriverLibraryMissing[] = "Tarvexmain - Error: driver library not found\r\n";

namespace
{

// The library's texts come back in a buffer of this size.
constexpr int kTextCapacity = 1024;

void AppendFormat(std::string &text, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length > 0) {
        std::vector<char> piece(length + 1);
        std::vsnprintf(piece.data(), piece.size(), format, args);
        text.append(piece.data(), length);
    }
    va_end(args);
}

void AppendVersion(std::string &text, const char *label, int version)
{
    unsigned value = static_cast<unsigned>(version);
    AppendFormat(text, "%s: %d.%d.%d.%d\r\n", label, value >> 24, (value >> 16) & 0xFF,
                 (value >> 8) & 0xFF, value & 0xFF);
}

std::string ErrorLine(const char *operation, int code)
{
    std::string line;
    AppendFormat(line, "%s - Error: %d\r\n", operation, code);
    return line;
}

// One of the device's text queries; a library that fills the whole buffer
// without a terminating NUL must not make the report read past it.
using TextQuery = int (*)(int, char *, int);
bool AppendText(std::string &text, TextQuery query, int device, const char *format)
{
    char buffer[kTextCapacity] = "";
    if (query(device, buffer, kTextCapacity) != 0)
        return false;
    buffer[kTextCapacity - 1] = '\0';
    AppendFormat(text, format, buffer);
    return true;
}

void AppendSubdevice(std::string &text, const DriverApi &api, int device, int subdevice)
{
    AppendFormat(text, "    Subdevice: %-2d\r\n    ------------\r\n\r\n", subdevice);
    int type = 0, subtype = 0;
    if (api.kaQuerySubdeviceType(device, subdevice, &type, &subtype) != 0)
        return;
    AppendFormat(text, "        Subdevice type:     0x%08X\r\n", static_cast<unsigned>(type));
    AppendFormat(text, "        Subdevice subtype:  0x%08X\r\n", static_cast<unsigned>(subtype));
    int channels = 0;
    if (api.kaQueryNumberChannels(device, subdevice, &channels) == 0)
        AppendFormat(text, "        Number of channels: %d\r\n\r\n", channels);
}

void AppendDevice(std::string &text, const DriverApi &api, int device)
{
    int info[7], plugged = 0;
    if (api.kaQueryInfoDevice(device, &info[0], &info[1], &info[2], &info[3], &info[4], &info[5],
                              &info[6], &plugged) != 0)
        return;
    const bool present = plugged == KA_PLUGGED_IN;
    AppendFormat(text, "%sDevice: %-2d - %s\r\n----------\r\n\r\n", present ? "" : "! ", device,
                 present ? "Plugged in" : "NOT plugged in");

    if (!AppendText(text, api.kaQueryNameDevice, device, "    Device name: %s\r\n") ||
        !AppendText(text, api.kaQueryDescriptionDevice, device, "    Device description: %s\r\n") ||
        !AppendText(text, api.kaQueryNameDeviceDriver, device, "    Device driver name: %s\r\n"))
        return;
    int version = 0;
    if (api.kaQueryVersionDeviceDriver(device, &version) != 0)
        return;
    AppendVersion(text, "    Device driver version", version);
    int subdevices = 0;
    if (api.kaQueryNumberSubdevices(device, &subdevices) != 0)
        return;
    AppendFormat(text, "    Number of Subdevices: %d\r\n\r\n", subdevices);

    for (int subdevice = 0; subdevice < subdevices; ++subdevice)
        AppendSubdevice(text, api, device, subdevice);
    text += "\r\n\r\n";
}

// Everything after a successful open; the caller closes the library.
std::string QueryOpenLibrary(const DriverApi &api, std::string text)
{
    int version = 0;
    int code = api.kaQueryVersionMainDriver(&version);
    if (code != 0)
        return ErrorLine("kaQueryVersionMainDriver", code);
    AppendVersion(text, "Main driver version", version);

    int devices = 0;
    code = api.kaQueryNumberDevices(&devices);
    if (code != 0)
        return ErrorLine("kaQueryNumberDevices", code);
    if (devices == 0)
        return text + "No Tarvex devices found in system\r\n";
    AppendFormat(text, "Number of Devices: %d\r\n\r\n", devices);
    for (int device = 0; device < devices; ++device)
        AppendDevice(text, api, device);
    return text;
}

} // namespace

std::string BuildReportText(const DriverApi &api)
{
    int version = 0;
    int code = api.kaQueryVersionLibrary(&version);
    if (code != 0)
        return ErrorLine("kaQueryVersionLibrary", code);
    std::string text;
    AppendVersion(text, "Library version", version);

    code = api.kaOpen(KA_OPEN_NO_FLAGS);
    if (code != 0)
        return ErrorLine("kaOpen", code);
    text = QueryOpenLibrary(api, text);
    api.kaClose(KA_CLOSE_NO_FLAGS);
    return text;
}
