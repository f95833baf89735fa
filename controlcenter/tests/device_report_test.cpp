#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "device_report.h"

namespace
{

struct FakeSubdevice {
    int type, subtype, channels;
};

struct FakeDevice {
    int plugged = KA_PLUGGED_IN;
    std::string name = "TX-1", description = "Board one", driverName = "tx1";
    int driverVersion = 0x02040008;
    std::vector<FakeSubdevice> subdevices = {{0x00010000, 0x00020001, 16}};
};

// The library the report talks to: a table of devices and the codes with which
// an operation fails, for all devices (index -1) or one.
struct FakeLibrary {
    int libraryVersion = 0x01020304;
    int mainDriverVersion = 0x02040103;
    std::vector<FakeDevice> devices;
    std::map<std::pair<std::string, int>, int> failures;
    bool unterminatedName = false;
    int opens = 0, closes = 0;

    int Failure(const char *operation, int index = -1) const
    {
        for (int key : {-1, index}) {
            auto found = failures.find({operation, key});
            if (found != failures.end())
                return found->second;
        }
        return 0;
    }
};

FakeLibrary *library;

int CopyText(const std::string &text, char *buffer, int capacity)
{
    std::snprintf(buffer, capacity, "%s", text.c_str());
    return 0;
}

#define TARVEX_FAIL_IF(operation, index)                                                           \
    if (int code = library->Failure(#operation, index))                                            \
    return code

int QueryVersionLibrary(int *version)
{
    TARVEX_FAIL_IF(kaQueryVersionLibrary, -1);
    *version = library->libraryVersion;
    return 0;
}
int Open(int)
{
    TARVEX_FAIL_IF(kaOpen, -1);
    ++library->opens;
    return 0;
}
int Close(int)
{
    ++library->closes;
    return 0;
}
int QueryVersionMainDriver(int *version)
{
    TARVEX_FAIL_IF(kaQueryVersionMainDriver, -1);
    *version = library->mainDriverVersion;
    return 0;
}
int QueryNumberDevices(int *number)
{
    TARVEX_FAIL_IF(kaQueryNumberDevices, -1);
    *number = static_cast<int>(library->devices.size());
    return 0;
}
int QueryInfoDevice(int device, int *, int *, int *, int *, int *, int *, int *, int *plugged)
{
    TARVEX_FAIL_IF(kaQueryInfoDevice, device);
    *plugged = library->devices[device].plugged;
    return 0;
}
int QueryNameDevice(int device, char *buffer, int capacity)
{
    TARVEX_FAIL_IF(kaQueryNameDevice, device);
    if (library->unterminatedName) {
        std::memset(buffer, 'n', capacity);
        return 0;
    }
    return CopyText(library->devices[device].name, buffer, capacity);
}
int QueryDescriptionDevice(int device, char *buffer, int capacity)
{
    TARVEX_FAIL_IF(kaQueryDescriptionDevice, device);
    return CopyText(library->devices[device].description, buffer, capacity);
}
int QueryNameDeviceDriver(int device, char *buffer, int capacity)
{
    TARVEX_FAIL_IF(kaQueryNameDeviceDriver, device);
    return CopyText(library->devices[device].driverName, buffer, capacity);
}
int QueryVersionDeviceDriver(int device, int *version)
{
    TARVEX_FAIL_IF(kaQueryVersionDeviceDriver, device);
    *version = library->devices[device].driverVersion;
    return 0;
}
int QueryNumberSubdevices(int device, int *number)
{
    TARVEX_FAIL_IF(kaQueryNumberSubdevices, device);
    *number = static_cast<int>(library->devices[device].subdevices.size());
    return 0;
}
int QuerySubdeviceType(int device, int subdevice, int *type, int *subtype)
{
    TARVEX_FAIL_IF(kaQuerySubdeviceType, subdevice);
    *type = library->devices[device].subdevices[subdevice].type;
    *subtype = library->devices[device].subdevices[subdevice].subtype;
    return 0;
}
int QueryNumberChannels(int device, int subdevice, int *number)
{
    TARVEX_FAIL_IF(kaQueryNumberChannels, subdevice);
    *number = library->devices[device].subdevices[subdevice].channels;
    return 0;
}

const DriverApi kFakeApi = {
    QueryVersionLibrary,
    Open,
    Close,
    QueryVersionMainDriver,
    QueryNumberDevices,
    QueryInfoDevice,
    QueryNameDevice,
    QueryDescriptionDevice,
    QueryNameDeviceDriver,
    QueryVersionDeviceDriver,
    QueryNumberSubdevices,
    QuerySubdeviceType,
    QueryNumberChannels,
};

const char kHeader[] = "Library version: 1.2.3.4\r\nMain driver version: 2.4.1.3\r\n";

const char kDeviceZero[] = "Device: 0  - Plugged in\r\n----------\r\n\r\n"
                           "    Device name: TX-1\r\n"
                           "    Device description: Board one\r\n"
                           "    Device driver name: tx1\r\n"
                           "    Device driver version: 2.4.0.8\r\n"
                           "    Number of Subdevices: 1\r\n\r\n"
                           "    Subdevice: 0 \r\n    ------------\r\n\r\n"
                           "        Subdevice type:     0x00010000\r\n"
                           "        Subdevice subtype:  0x00020001\r\n"
                           "        Number of channels: 16\r\n\r\n"
                           "\r\n\r\n";

class DeviceReport : public ::testing::Test
{
  protected:
    void SetUp() override { library = &fake; }
    std::string Report() { return BuildReportText(kFakeApi); }
    FakeLibrary fake;
};

TEST_F(DeviceReport, ListsEveryDeviceSubdeviceAndChannel)
{
    fake.devices.resize(2);
    fake.devices[1].plugged = KA_PLUGGED_OUT;
    fake.devices[1].subdevices = {{0x10, 0x20, 8}, {static_cast<int>(0xFFFFFFFF), 0, 0}};
    std::string expected = std::string(kHeader) + "Number of Devices: 2\r\n\r\n" + kDeviceZero +
                           "! Device: 1  - NOT plugged in\r\n----------\r\n\r\n"
                           "    Device name: TX-1\r\n"
                           "    Device description: Board one\r\n"
                           "    Device driver name: tx1\r\n"
                           "    Device driver version: 2.4.0.8\r\n"
                           "    Number of Subdevices: 2\r\n\r\n"
                           "    Subdevice: 0 \r\n    ------------\r\n\r\n"
                           "        Subdevice type:     0x00000010\r\n"
                           "        Subdevice subtype:  0x00000020\r\n"
                           "        Number of channels: 8\r\n\r\n"
                           "    Subdevice: 1 \r\n    ------------\r\n\r\n"
                           "        Subdevice type:     0xFFFFFFFF\r\n"
                           "        Subdevice subtype:  0x00000000\r\n"
                           "        Number of channels: 0\r\n\r\n"
                           "\r\n\r\n";
    EXPECT_EQ(Report(), expected);
    EXPECT_EQ(fake.opens, 1);
    EXPECT_EQ(fake.closes, 1);
}

TEST_F(DeviceReport, TwoDigitIndicesFillTheirField)
{
    fake.devices.resize(13);
    fake.devices[12].subdevices.resize(11);
    std::string text = Report();
    EXPECT_NE(text.find("\r\nDevice: 12 - Plugged in\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n    Subdevice: 10\r\n"), std::string::npos);
}

TEST_F(DeviceReport, VersionBytesPrintUnsigned)
{
    fake.libraryVersion = static_cast<int>(0xFF80017F);
    EXPECT_EQ(Report(), "Library version: 255.128.1.127\r\nMain driver version: 2.4.1.3\r\n"
                        "No Tarvex devices found in system\r\n");
    EXPECT_EQ(fake.closes, 1);
}

struct EarlyFailure {
    const char *operation;
    const char *text;
    int closes;
};

class DeviceReportEarlyFailure : public DeviceReport,
                                 public ::testing::WithParamInterface<EarlyFailure>
{
};

TEST_P(DeviceReportEarlyFailure, LeavesOnlyTheErrorLine)
{
    fake.devices.resize(1);
    fake.failures[{GetParam().operation, -1}] = -42;
    EXPECT_EQ(Report(), GetParam().text);
    EXPECT_EQ(fake.closes, GetParam().closes);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, DeviceReportEarlyFailure,
    ::testing::Values(
        EarlyFailure{"kaQueryVersionLibrary", "kaQueryVersionLibrary - Error: -42\r\n", 0},
        EarlyFailure{"kaOpen", "kaOpen - Error: -42\r\n", 0},
        EarlyFailure{"kaQueryVersionMainDriver", "kaQueryVersionMainDriver - Error: -42\r\n", 1},
        EarlyFailure{"kaQueryNumberDevices", "kaQueryNumberDevices - Error: -42\r\n", 1}));

struct DeviceFailure {
    const char *operation;
    const char *deviceZero; // what is left of device 0
};

class DeviceReportDeviceFailure : public DeviceReport,
                                  public ::testing::WithParamInterface<DeviceFailure>
{
};

TEST_P(DeviceReportDeviceFailure, ShortensOnlyThatDevice)
{
    fake.devices.resize(2);
    fake.failures[{GetParam().operation, 0}] = 5;
    std::string deviceOne = kDeviceZero;
    deviceOne.replace(deviceOne.find("0 "), 2, "1 ");
    EXPECT_EQ(Report(), std::string(kHeader) + "Number of Devices: 2\r\n\r\n" +
                            GetParam().deviceZero + deviceOne);
    EXPECT_EQ(fake.closes, 1);
}

#define TARVEX_DEVICE_ZERO_HEADING "Device: 0  - Plugged in\r\n----------\r\n\r\n"
INSTANTIATE_TEST_SUITE_P(
    Operations, DeviceReportDeviceFailure,
    ::testing::Values(DeviceFailure{"kaQueryInfoDevice", ""},
                      DeviceFailure{"kaQueryNameDevice", TARVEX_DEVICE_ZERO_HEADING},
                      DeviceFailure{"kaQueryDescriptionDevice",
                                    TARVEX_DEVICE_ZERO_HEADING "    Device name: TX-1\r\n"},
                      DeviceFailure{
                          "kaQueryNameDeviceDriver", TARVEX_DEVICE_ZERO_HEADING
                          "    Device name: TX-1\r\n    Device description: Board one\r\n"},
                      DeviceFailure{"kaQueryVersionDeviceDriver", TARVEX_DEVICE_ZERO_HEADING
                                    "    Device name: TX-1\r\n    Device description: Board one\r\n"
                                    "    Device driver name: tx1\r\n"},
                      DeviceFailure{"kaQueryNumberSubdevices", TARVEX_DEVICE_ZERO_HEADING
                                    "    Device name: TX-1\r\n    Device description: Board one\r\n"
                                    "    Device driver name: tx1\r\n"
                                    "    Device driver version: 2.4.0.8\r\n"}));

TEST_F(DeviceReport, SubdeviceFailuresShortenOnlyThatSubdevice)
{
    fake.devices.resize(1);
    fake.devices[0].subdevices.resize(3, {1, 2, 3});
    fake.failures[{"kaQuerySubdeviceType", 0}] = 1;
    fake.failures[{"kaQueryNumberChannels", 1}] = 1;
    std::string text = Report();
    std::string subdevices = text.substr(text.find("    Subdevice: 0"));
    EXPECT_EQ(subdevices, "    Subdevice: 0 \r\n    ------------\r\n\r\n"
                          "    Subdevice: 1 \r\n    ------------\r\n\r\n"
                          "        Subdevice type:     0x00000001\r\n"
                          "        Subdevice subtype:  0x00000002\r\n"
                          "    Subdevice: 2 \r\n    ------------\r\n\r\n"
                          "        Subdevice type:     0x00000001\r\n"
                          "        Subdevice subtype:  0x00000002\r\n"
                          "        Number of channels: 3\r\n\r\n"
                          "\r\n\r\n");
}

TEST_F(DeviceReport, HoldsLibraryTextsOfFullBufferLength)
{
    fake.devices.resize(1);
    fake.devices[0].description = std::string(1023, 'd');
    std::string text = Report();
    EXPECT_NE(text.find("    Device description: " + std::string(1023, 'd') + "\r\n"),
              std::string::npos);

    fake.unterminatedName = true;
    text = Report();
    EXPECT_NE(text.find("    Device name: " + std::string(1023, 'n') + "\r\n"), std::string::npos);
}

TEST_F(DeviceReport, RepeatsItselfOpeningAndClosingOncePerReport)
{
    fake.devices.resize(2);
    std::string first = Report();
    EXPECT_EQ(Report(), first);
    EXPECT_EQ(fake.opens, 2);
    EXPECT_EQ(fake.closes, 2);
}

TEST(DriverLibrary, BindsTheSimulatedLibraryByName)
{
    const DriverApi *api = BindDriverLibrary();
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(BuildReportText(*api).rfind("Library version: 2.4.1.12\r\n"
                                          "Main driver version: 2.4.1.3\r\n"
                                          "Number of Devices: 3\r\n\r\n"
                                          "Device: 0  - Plugged in\r\n",
                                          0),
              0u);
}

} // namespace
