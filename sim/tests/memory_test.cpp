// Memory running out inside the library: each allocation of an operation in
// turn fails, and the operation answers KA_SIM_OUT_OF_MEMORY and leaves the
// library as it was. The test replaces the global allocation functions, which
// the library's allocations reach too (an executable of its own for that).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "ka_sim.h"

namespace
{

std::atomic<long> allocationsBeforeFailure{-1}; // -1: none fails

void *Allocate(std::size_t size)
{
    if (allocationsBeforeFailure.load() >= 0 && allocationsBeforeFailure.fetch_sub(1) == 0)
        throw std::bad_alloc();
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

} // namespace

void *operator new(std::size_t size)
{
    return Allocate(size);
}
void *operator new[](std::size_t size)
{
    return Allocate(size);
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return Allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete[](void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace
{

const char kOneDevice[] = R"({"library_version": 1, "main_driver_version": 1, "devices": [{
    "name": "n", "description": "a description longer than a short string", "driver_name": "x",
    "driver_version": 1, "info": {"vendor_id": 0, "device_id": 0, "serial_no": 0,
    "bus_type": "KA_BUS_TYPE_PCI", "bus_no": 0, "dev_no": 0, "func_no": 0},
    "subdevices": [{"type": "KA_TYPE_AO", "subtype": "KA_SUBTYPE_STREAMING", "channels": 2,
                    "buffer_values": 1000,
                    "ranges": [{"unit": "KA_UNIT_VOLT", "min": 0, "max": 5, "max_data": 4095}]}]}]})";

// Made before the allocations fail in turn.
const char *SystemFile()
{
    static const std::string kPath = ::testing::TempDir() + "sim_memory_test_system.json";
    return kPath.c_str();
}

kaStreamTriggerRecord TimerTrigger()
{
    kaStreamTriggerRecord t{};
    t.acqStartTrigType = KA_TRIG_TYPE_SW;
    t.scanStartTrigType = KA_TRIG_TYPE_TIMER;
    t.scanStartTicksLow = 6600;
    t.convStartTrigType = KA_TRIG_TYPE_TIMER;
    t.convStartTicksLow = 3300;
    return t;
}

int ConfigureStream(int device, int subdevice)
{
    kaStreamConfigRecord channel{};
    kaStreamTriggerRecord trigger = TimerTrigger();
    return kaIOStreamConfig(device, subdevice, &channel, 1, &trigger, 0, 0);
}

int Devices()
{
    int count = -1;
    return kaQueryNumberDevices(&count) == 0 ? count : -1;
}

struct Case {
    const char *name;
    std::function<void()> prepare;  // on the opened library, before each attempt
    std::function<int()> operation; // the call whose allocations fail in turn
    std::function<void()> check;    // the library after a failed attempt
};

void PrintTo(const Case &c, std::ostream *out)
{
    *out << c.name;
}

std::string CaseName(const ::testing::TestParamInfo<Case> &info)
{
    return info.param.name;
}

class OutOfMemory : public ::testing::TestWithParam<Case>
{
  protected:
    void SetUp() override { kaSimReset(); }
    void TearDown() override { kaSimReset(); }
};

TEST_P(OutOfMemory, FailsCleanlyAtEveryAllocation)
{
    const Case &c = GetParam();
    int code = -1;
    long failing = 0;
    for (; code != 0 && failing < 100000; ++failing) {
        kaSimReset();
        ASSERT_EQ(kaOpen(0), 0);
        c.prepare();
        allocationsBeforeFailure = failing;
        code = c.operation();
        allocationsBeforeFailure = -1;
        if (code != 0) {
            ASSERT_EQ(code, KA_SIM_OUT_OF_MEMORY) << "allocation " << failing;
            c.check();
        }
    }
    EXPECT_GT(failing, 1) << "the operation allocates nothing";
    EXPECT_EQ(code, 0);
}

void Nothing() {}

INSTANTIATE_TEST_SUITE_P(
    Operations, OutOfMemory,
    ::testing::Values(
        // Loading keeps the system before; the built-in one has three devices.
        Case{"ConfigLoad", [] { ASSERT_EQ(kaSimLoadSystem(kOneDevice), 0); },
             [] { return kaConfigLoad(nullptr); },
             [] {
                 EXPECT_EQ(Devices(), 1);
             }},
        Case{"ConfigLoadFile",
             [] {
                 std::FILE *f = std::fopen(SystemFile(), "wb");
                 ASSERT_TRUE(f);
                 std::fputs(kOneDevice, f);
                 std::fclose(f);
             },
             [] { return kaConfigLoad(SystemFile()); },
             [] {
                 EXPECT_EQ(Devices(), 3);
             }},
        Case{"SimLoadSystem", Nothing, [] { return kaSimLoadSystem(kOneDevice); },
             [] {
                 EXPECT_EQ(Devices(), 3);
             }},
        // A stream keeps its set-up: the output values still fit its buffer.
        Case{"StreamConfig",
             [] {
                 ASSERT_EQ(kaSimLoadSystem(kOneDevice), 0);
                 ASSERT_EQ(kaOpen(0), 0);
                 ASSERT_EQ(ConfigureStream(0, 0), 0);
             },
             [] { return ConfigureStream(0, 0); },
             [] {
                 int values[1000] = {};
                 int count = 1000;
                 EXPECT_EQ(kaIOStreamWrite(0, 0, KA_WRITE_MODE_PRELOAD, values, &count, 0), 0);
                 EXPECT_EQ(count, 1000);
             }},
        // An input stream that could not start stays idle.
        Case{"StreamStartFast",
             [] {
                 kaSimClock(KA_SIM_CLOCK_FAST);
                 ASSERT_EQ(ConfigureStream(0, 0), 0);
             },
             [] {
                 kaStreamStartRecord start{};
                 start.startMode = KA_START_MODE_NONBLOCKING;
                 const int code = kaIOStreamStart(&start, 1, 0);
                 return code ? code : start.resultCode;
             },
             [] {
                 int status = -1, count = -1;
                 EXPECT_EQ(kaIOStreamStatus(0, 0, KA_WAIT_NONE, &status, &count, 0), 0);
                 EXPECT_EQ(status, KA_STATUS_IDLE);
             }},
        // The reason of a refused file is joined to the code's text.
        Case{"ErrorMessage", [] { EXPECT_EQ(kaSimLoadSystem("{"), KA_SIM_CONFIG_INVALID); },
             [] {
                 char text[256];
                 return kaErrorGetMessage(KA_SIM_CONFIG_INVALID, text, sizeof text);
             },
             Nothing}),
    CaseName);

} // namespace
