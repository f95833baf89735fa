// The simulated library: reading system descriptions, and behaviour that the
// Python suite does not reach (capacities, null pointers, concurrency).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ka_sim.h"
#include "system.h"

namespace
{

class SimTest : public ::testing::Test
{
  protected:
    void SetUp() override { kaSimReset(); }
    void TearDown() override { kaSimReset(); }
};

const char kDevice[] = R"({"name": "n", "description": "d", "driver_name": "x",
    "driver_version": "1.2.3.4", "info": {"vendor_id": "0x7c2e", "device_id": 1,
    "serial_no": 2, "bus_type": "KA_BUS_TYPE_PCI", "bus_no": 0, "dev_no": 0, "func_no": 0},
    "subdevices": [SUBDEVICE]})";

std::string SystemWith(const std::string &subdevice)
{
    std::string device = kDevice;
    device.replace(device.find("SUBDEVICE"), 9, subdevice);
    return R"({"library_version": 1, "main_driver_version": 2, "devices": [)" + device + "]}";
}

TEST(SystemJson, ReadsNamesNumbersAndVersions)
{
    sim::System s = sim::ParseSystem(SystemWith(
        R"({"type": "KA_TYPE_DIO", "subtype": "KA_SUBTYPE_SINGLE", "channels": 8,
            "caps": ["KA_CAPS_DIO_DIR_BIT", "KA_CAPS_DIO_DIR_WORD"],
            "cap_args": {"KA_CAP_CTR_WIDTH": [16], "0x10": 5}})"));
    ASSERT_EQ(s.devices.size(), 1u);
    const sim::Device &d = s.devices[0];
    EXPECT_EQ(d.driverVersion, 0x01020304);
    EXPECT_EQ(d.info.vendorId, 0x7c2e);
    EXPECT_EQ(d.info.busType, KA_BUS_TYPE_PCI);
    EXPECT_TRUE(d.plugged);
    EXPECT_EQ(d.subdevices[0].type, KA_TYPE_DIO);
    EXPECT_EQ(d.subdevices[0].caps, KA_CAPS_DIO_DIR_BIT | KA_CAPS_DIO_DIR_WORD);
    EXPECT_EQ(d.subdevices[0].capArgs.at(KA_CAP_CTR_WIDTH), std::vector<int>{16});
    EXPECT_EQ(d.subdevices[0].capArgs.at(0x10), std::vector<int>{5});
}

// Texts with escapes and a byte order mark, held as Latin-1; a character
// beyond it (here beyond the BMP) refused with its place; a file read in
// chunks, with characters, escapes and lines across their seams.
TEST(SystemJson, ReadsTextsWholeAcrossChunks)
{
    const std::string escaped = R"(a\u00fc\u00DF\t\"\/)";
    const std::string decoded = "a\xFC\xDF\t\"/";
    std::string system = SystemWith(R"({"type": 1, "subtype": 0, "channels": 0})");
    system.replace(system.find(R"("d")"), 3, "\"" + escaped + "\"");
    EXPECT_EQ(sim::ParseSystem("\xEF\xBB\xBF" + system).devices[0].description, decoded);
    try {
        std::string beyond = system;
        beyond.replace(beyond.find(escaped), 1, "\xC3\xBC\\ud83d\\ude00");
        sim::ParseSystem(beyond);
        FAIL() << "accepted";
    } catch (const sim::SystemError &e) {
        EXPECT_STREQ(e.what(), "system.devices[0].description: character 2, U+1F600, is not in "
                               "Latin-1, the character set of the library's texts");
    }

    const std::string path = ::testing::TempDir() + "chunks.json";
    std::string longText, expected;
    for (int i = 0; i < 70000; ++i) { // 2 and 22 bytes: every offset to a seam
        longText += i % 3 ? "\xC3\xBC" : escaped;
        expected += i % 3 ? "\xFC" : decoded;
    }
    system.replace(system.find(escaped), escaped.size(), longText);
    std::ofstream(path, std::ios::binary) << system;
    EXPECT_EQ(sim::LoadSystemFile(path).devices[0].description, expected);

    std::ofstream(path, std::ios::binary) << std::string(100000, '\n') << "{" << longText;
    try {
        sim::LoadSystemFile(path);
        FAIL() << "accepted";
    } catch (const sim::SystemError &e) {
        EXPECT_STREQ(e.what(), "line 100001, column 2: key in double quotes expected");
    }
    std::remove(path.c_str());
}

TEST(SystemJson, BuiltInSystemIsValid)
{
    sim::System s = sim::ParseSystem(sim::DefaultSystemJson());
    EXPECT_EQ(s.devices.size(), 3u);
    EXPECT_FALSE(s.devices[2].plugged);
    EXPECT_EQ(s.hosts.count("daq-lab-2"), 1u);
}

TEST_F(SimTest, ErrorMessageStaysWithinCapacity)
{
    char text[8];
    std::memset(text, 'z', sizeof text);
    ASSERT_EQ(kaErrorGetMessage(KA_SIM_NOT_OPEN, text, 5), 0);
    EXPECT_STREQ(text, "Driv");
    EXPECT_EQ(text[5], 'z');
    EXPECT_NE(kaErrorGetMessage(12345, text, sizeof text), 0);
    EXPECT_NE(kaErrorGetMessage(0, text, sizeof text), 0);
    EXPECT_EQ(kaErrorGetMessage(KA_SIM_NOT_OPEN, text, 0), KA_SIM_INVALID_COUNT);
    EXPECT_EQ(kaErrorGetMessage(KA_SIM_NOT_OPEN, nullptr, 8), KA_SIM_INVALID_POINTER);
}

TEST_F(SimTest, NullOutPointersAreRefused)
{
    ASSERT_EQ(kaOpen(0), 0);
    int value = 0;
    double bound = 0.0;
    EXPECT_EQ(kaQueryNumberDevices(nullptr), KA_SIM_INVALID_POINTER);
    EXPECT_EQ(kaQueryRangeInfo(0, 0, 0, &value, nullptr, &bound, &value), KA_SIM_INVALID_POINTER);
    EXPECT_EQ(kaRQueryNumberDevices(nullptr, &value), KA_SIM_INVALID_POINTER);
}

TEST_F(SimTest, LocksFollowOwnersAndCloseReleasesOwnOnly)
{
    ASSERT_EQ(kaOpen(0), 0);
    EXPECT_EQ(kaLockDevice(1, KA_LOCK_SET, 0), 0);
    EXPECT_EQ(kaSimLockState(1, -1), 1);
    kaSimForeignLock(0, 4, 1);
    EXPECT_EQ(kaLockDriver(KA_LOCK_SET, 0), KA_SIM_LOCKED);
    EXPECT_EQ(kaLockSubdevice(0, 4, KA_LOCK_CHECK, 0), KA_SIM_LOCKED);
    EXPECT_EQ(kaLockSubdevice(0, 4, KA_LOCK_RELEASE, 0), KA_SIM_LOCKED);
    EXPECT_EQ(kaLockSubdevice(0, 5, KA_LOCK_CHECK, 0), 0);
    EXPECT_EQ(kaLockSubdevice(0, 5, 7, 0), KA_SIM_INVALID_LOCK);
    EXPECT_EQ(kaLockSubdevice(0, 5, KA_LOCK_SET, 1), KA_SIM_INVALID_FLAGS);
    EXPECT_EQ(kaLockSubdevice(0, 99, KA_LOCK_SET, 0), KA_SIM_INVALID_SUBDEVICE);
    EXPECT_EQ(kaClose(0), 0);
    EXPECT_EQ(kaSimLockState(1, -1), 0);
    EXPECT_EQ(kaSimLockState(0, 4), 2);
}

TEST_F(SimTest, UnpluggedDeviceAnswersQueriesButRefusesIo)
{
    ASSERT_EQ(kaOpen(0), 0);
    char name[64];
    EXPECT_EQ(kaQueryNameDevice(2, name, sizeof name), 0);
    EXPECT_EQ(kaIOResetDevice(2, 0), KA_SIM_DEVICE_UNPLUGGED);
}

TEST_F(SimTest, InjectedFailuresCountDown)
{
    kaSimFail("kaOpen", 42, 2);
    EXPECT_EQ(kaOpen(0), 42);
    EXPECT_EQ(kaOpen(0), 42);
    EXPECT_EQ(kaOpen(0), 0);
    EXPECT_EQ(kaSimCallCount("kaOpen"), 3);
}

// Many threads querying and locking at once must see consistent answers.
TEST_F(SimTest, ConcurrentCallsStayConsistent)
{
    ASSERT_EQ(kaOpen(0), 0);
    std::vector<std::thread> threads;
    threads.reserve(4);
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                int count = 0;
                char name[64];
                if (kaQueryNumberDevices(&count) != 0 || count != 3 ||
                    kaQueryNameDevice(1, name, sizeof name) != 0 ||
                    std::strcmp(name, "USB-Kestra-8") != 0 ||
                    kaLockSubdevice(0, t, KA_LOCK_SET, 0) != 0 ||
                    kaLockSubdevice(0, t, KA_LOCK_RELEASE, 0) != 0)
                    ++failures[t];
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_EQ(kaSimCallCount("kaQueryNumberDevices"), 8000);
}

} // namespace
