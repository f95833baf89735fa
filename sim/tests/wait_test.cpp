// Interrupt waits against other threads: an interrupt, a stop or a reset
// arriving while a thread waits.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

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

} // namespace
