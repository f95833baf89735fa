// Waits against other threads: an interrupt, a stop or a reset arriving
// while a thread waits for an interrupt or a stream.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ka_sim.h"

namespace
{

using namespace std::chrono_literals;

constexpr int kInputPort = 4; // reads the lines of kOutputPort
constexpr int kOutputPort = 5;

class WaitTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        kaSimReset();
        ASSERT_EQ(kaOpen(0), 0);
        ASSERT_EQ(kaIOIrqStart(0, kInputPort, 0, KA_IRQ_SOURCE_DIO_LINE, KA_IRQ_EDGE_RISING, 0, 0),
                  0);
    }
    void TearDown() override { kaSimReset(); }

    // Waits on another thread without a time-out.
    std::future<int> WaitAsync()
    {
        return std::async(std::launch::async,
                          [this] { return kaIOIrqWait(0, kInputPort, 0, &count_, &value_, 0, 0); });
    }

    static void SetOutputs(int value)
    {
        kaSingleRecord r = {0, kOutputPort, 0, KA_DIR_OUTPUT, value, 0, 0, 0};
        ASSERT_EQ(kaIOSingle(&r, 1, 0), 0);
        ASSERT_EQ(r.resultCode, 0);
    }

    int count_ = 0;
    int value_ = 0;
};

TEST_F(WaitTest, InterruptDuringWaitWakesIt)
{
    std::future<int> result = WaitAsync();
    ASSERT_EQ(result.wait_for(50ms), std::future_status::timeout);
    SetOutputs(1);
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    EXPECT_EQ(count_, 1);
    EXPECT_EQ(value_, 1);
}

TEST_F(WaitTest, StopEndsTheWait)
{
    std::future<int> result = WaitAsync();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(kaIOIrqStop(0, kInputPort, 0, 0), 0);
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(result.get(), KA_SIM_WAIT_STOPPED);
}

TEST_F(WaitTest, ResetAndCloseEndTheWait)
{
    std::future<int> result = WaitAsync();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(kaIOResetSubdevice(0, kInputPort, 0), 0);
    EXPECT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(result.get(), KA_SIM_WAIT_STOPPED);

    ASSERT_EQ(kaIOIrqStart(0, kInputPort, 0, KA_IRQ_SOURCE_DIO_LINE, KA_IRQ_EDGE_RISING, 0, 0), 0);
    result = WaitAsync();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(kaClose(0), 0);
    EXPECT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(result.get(), KA_SIM_WAIT_STOPPED);
}

// A stop and a new start between two wake-ups must still end the old wait.
TEST_F(WaitTest, RestartedInterruptEndsTheOldWait)
{
    std::future<int> result = WaitAsync();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(kaIOIrqStop(0, kInputPort, 0, 0), 0);
    EXPECT_EQ(kaIOIrqStart(0, kInputPort, 0, KA_IRQ_SOURCE_DIO_LINE, KA_IRQ_EDGE_RISING, 0, 0), 0);
    EXPECT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(result.get(), KA_SIM_WAIT_STOPPED);
}

// Other callers are not held up while one thread waits.
TEST_F(WaitTest, WaitGivesUpTheLibraryLock)
{
    std::future<int> result = WaitAsync();
    std::this_thread::sleep_for(20ms);
    int devices = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kaQueryNumberDevices(&devices), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
    kaIOIrqStop(0, kInputPort, 0, 0);
    result.get();
}

// Blocking stream transfers against other threads: a reset, another system
// or a close ends them with KA_SIM_WAIT_STOPPED; a stop ends them with what
// was moved before it.
enum class Ending { ResetSubdevice, ResetDevice, LoadSystem, Close, Stop };

class StreamWait : public ::testing::TestWithParam<std::tuple<Ending, bool>>
{
  protected:
    void SetUp() override
    {
        kaSimReset();
        ASSERT_EQ(kaOpen(0), 0);
    }
    void TearDown() override { kaSimReset(); }

    static void End(Ending ending, int subdevice)
    {
        switch (ending) {
        case Ending::ResetSubdevice:
            EXPECT_EQ(kaIOResetSubdevice(0, subdevice, 0), 0);
            break;
        case Ending::ResetDevice:
            EXPECT_EQ(kaIOResetDevice(0, 0), 0);
            break;
        case Ending::LoadSystem:
            EXPECT_EQ(kaConfigLoad(nullptr), 0);
            break;
        case Ending::Close:
            EXPECT_EQ(kaClose(0), 0);
            break;
        case Ending::Stop: {
            kaStreamStopRecord stop{0, subdevice, KA_STOP_MODE_IMMEDIATE, 0, 0};
            EXPECT_EQ(kaIOStreamStop(&stop, 1, 0), 0);
            EXPECT_EQ(stop.resultCode, 0);
        }
        }
    }
};

TEST_P(StreamWait, EndsWithWhatEndedIt)
{
    const auto [ending, output] = GetParam();
    const int subdevice = output ? 1 : 0; // the built-in board's streaming input and output
    kaStreamConfigRecord channel{0, 0, 0, 0};
    kaStreamTriggerRecord trigger{};
    trigger.acqStartTrigType = KA_TRIG_TYPE_SW;
    trigger.scanStartTrigType = KA_TRIG_TYPE_FOLLOW;
    trigger.convStartTrigType = KA_TRIG_TYPE_TIMER;
    trigger.convStartTicksLow = 33000; // 1 kHz: the transfer waits for seconds
    ASSERT_EQ(kaIOStreamConfig(0, subdevice, &channel, 1, &trigger, 0, 0), 0);
    std::vector<int> values(70000);
    int count = static_cast<int>(values.size());
    if (output) { // a full buffer, and more values than it will take for a while
        ASSERT_EQ(kaIOStreamWrite(0, 1, KA_WRITE_MODE_PRELOAD, values.data(), &count, 0), 0);
    }
    kaStreamStartRecord start{0, subdevice, KA_START_MODE_NONBLOCKING, 0, 0, 0};
    ASSERT_EQ(kaIOStreamStart(&start, 1, 0), 0);
    ASSERT_EQ(start.resultCode, 0);

    std::future<int> transfer = std::async(std::launch::async, [&, output = output] {
        count = 5000;
        return output ? kaIOStreamWrite(0, 1, KA_WRITE_MODE_BLOCKING, values.data(), &count, 0)
                      : kaIOStreamRead(0, 0, KA_READ_MODE_BLOCKING, values.data(), &count, 0);
    });
    ASSERT_EQ(transfer.wait_for(50ms), std::future_status::timeout);
    End(ending, subdevice);
    ASSERT_EQ(transfer.wait_for(2s), std::future_status::ready);
    if (ending == Ending::Stop) {
        EXPECT_EQ(transfer.get(), 0);
        EXPECT_LT(count, 5000);
        EXPECT_TRUE(output || count > 0); // what came before the stop is read
    } else {
        EXPECT_EQ(transfer.get(), KA_SIM_WAIT_STOPPED);
    }
}

std::string StreamWaitName(const ::testing::TestParamInfo<std::tuple<Ending, bool>> &info)
{
    static const char *const kEndings[] = {"ResetSubdevice", "ResetDevice", "LoadSystem", "Close",
                                           "Stop"};
    return std::string(kEndings[static_cast<int>(std::get<0>(info.param))]) +
           (std::get<1>(info.param) ? "Write" : "Read");
}

INSTANTIATE_TEST_SUITE_P(
    Streams, StreamWait,
    ::testing::Combine(::testing::Values(Ending::ResetSubdevice, Ending::ResetDevice,
                                         Ending::LoadSystem, Ending::Close, Ending::Stop),
                       ::testing::Bool()),
    StreamWaitName);

} // namespace
