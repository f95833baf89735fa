// The simulated library used from several threads at once, as a program with
// an acquisition thread, an output thread and a user interface would: queries,
// locks, single values, an interrupt fired by another thread's digital
// writes, and an input and an output stream, in fast and in real-time mode.
// Each thread checks what it sees; ThreadSanitizer (the tsan preset) checks
// the library's own state.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "ka_sim.h"

namespace
{

using namespace std::chrono_literals;

// Default system: device 0 is the streaming board, device 1 the USB board.
constexpr int kAnalogIn = 0;  // streaming; channel 3 a constant, channel 4 at 0 V
constexpr int kAnalogOut = 1; // streaming
constexpr int kDioOut = 2;    // its lines are read by kDioIn
constexpr int kDioIn = 3;
constexpr int kIrqIn = 4;  // reads the lines of kIrqOut
constexpr int kIrqOut = 5; // digital outputs
constexpr int kIrqEdges = 300;
constexpr auto kDeadlock = 120s; // far beyond any run, even under ThreadSanitizer

// A thread's verdict: empty, or the first thing it found wrong.
using Check = std::function<std::string()>;

std::string Failed(const char *what, int i, int code)
{
    return std::string(what) + " at " + std::to_string(i) + ": " + std::to_string(code);
}

kaStreamTriggerRecord LimitedTrigger(int values)
{
    kaStreamTriggerRecord t;
    std::memset(&t, 0, sizeof t);
    t.acqStartTrigType = KA_TRIG_TYPE_SW;
    t.acqStartTrigChan = KA_TRIG_CHAN_DEFAULT;
    t.scanStartTrigType = KA_TRIG_TYPE_FOLLOW;
    t.convStartTrigType = KA_TRIG_TYPE_TIMER;
    t.convStartTicksLow = 330; // 100 kHz
    t.acqStopTrigType = KA_TRIG_TYPE_COUNT;
    t.acqStopCount = values;
    return t;
}

int StartStream(int subdevice)
{
    kaStreamStartRecord r = {0, subdevice, KA_START_MODE_NONBLOCKING, 0, 0, 0};
    const int code = kaIOStreamStart(&r, 1, 0);
    return code ? code : r.resultCode;
}

int StopStream(int subdevice)
{
    kaStreamStopRecord r = {0, subdevice, KA_STOP_MODE_IMMEDIATE, 0, 0};
    const int code = kaIOStreamStop(&r, 1, 0);
    return code ? code : r.resultCode;
}

// Waits until the stream has ended; answers its status and pending count.
std::string WaitIdle(int subdevice, int run)
{
    int status = 0, count = -1;
    if (int code = kaIOStreamStatus(0, subdevice, KA_WAIT_IDLE, &status, &count, 0))
        return Failed("status", run, code);
    if (status != KA_STATUS_IDLE || count != 0)
        return "run " + std::to_string(run) + " ended with status " + std::to_string(status) +
               ", " + std::to_string(count) + " values pending";
    return {};
}

std::string Queries()
{
    for (int i = 0; i < 2000; ++i) {
        int devices = 0, subdevices = 0;
        char name[64];
        if (int code = kaQueryNumberDevices(&devices) | kaQueryNumberSubdevices(0, &subdevices) |
                       kaQueryNameDevice(1, name, sizeof name))
            return Failed("query", i, code);
        if (devices != 3 || subdevices != 10 || std::strcmp(name, "USB-Kestra-8") != 0)
            return "query " + std::to_string(i) + " saw " + std::to_string(devices) + ", " +
                   std::to_string(subdevices) + ", " + name;
    }
    return {};
}

std::string Locks()
{
    for (int i = 0; i < 2000; ++i) {
        if (int code = kaLockSubdevice(1, 3, KA_LOCK_SET, 0))
            return Failed("lock", i, code);
        if (kaSimLockState(1, 3) != 1)
            return "lock " + std::to_string(i) + " not held";
        if (int code = kaLockSubdevice(1, 3, KA_LOCK_RELEASE, 0))
            return Failed("release", i, code);
    }
    return {};
}

// Writes a port and reads it back through its loopback in the same batch.
std::string SingleValues()
{
    for (int i = 0; i < 2000; ++i) {
        const int value = (i * 37) & 0xFF;
        kaSingleRecord r[2] = {{0, kDioOut, 0, KA_DIR_OUTPUT, value, 0, 0, 0},
                               {0, kDioIn, 0, KA_DIR_INPUT, -1, 0, 0, 0}};
        if (int code = kaIOSingle(r, 2, 0) | r[0].resultCode | r[1].resultCode)
            return Failed("single", i, code);
        if (r[1].value != value)
            return "read back " + std::to_string(r[1].value) + " for " + std::to_string(value);
    }
    return {};
}

std::string FireInterrupts()
{
    for (int i = 0; i < kIrqEdges; ++i) {
        for (int level : {1, 0}) {
            kaSingleRecord r = {0, kIrqOut, 0, KA_DIR_OUTPUT, level, 0, 0, 0};
            if (int code = kaIOSingle(&r, 1, 0) | r.resultCode)
                return Failed("fire", i, code);
        }
        if (i % 16 == 0)
            std::this_thread::sleep_for(100us); // let waits see some edges one by one
    }
    return {};
}

// Waits until every rising edge was counted: counts only grow, none is lost.
std::string AwaitInterrupts()
{
    int last = 0;
    while (last < kIrqEdges) {
        int count = 0, value = 0;
        if (int code = kaIOIrqWait(0, kIrqIn, 0, &count, &value, 5000, 0))
            return Failed("wait after count", last, code);
        if (count <= last || count > kIrqEdges || value != 1)
            return "wait after count " + std::to_string(last) + " gave count " +
                   std::to_string(count) + ", value " + std::to_string(value);
        last = count;
    }
    return {};
}

// Limited acquisitions of two alternating channels: every value comes exactly
// once, in order, and the stream then ends by itself.
std::string Acquire(int runs, int values)
{
    kaStreamConfigRecord channels[2] = {{3, 0, 0, 0}, {4, 0, 0, 0}};
    std::vector<int> data(static_cast<size_t>(values) + 2);
    for (int run = 0; run < runs; ++run) {
        kaStreamTriggerRecord trigger = LimitedTrigger(values);
        if (int code = kaIOStreamConfig(0, kAnalogIn, channels, 2, &trigger, 0, 0))
            return Failed("input config", run, code);
        if (int code = StartStream(kAnalogIn))
            return Failed("input start", run, code);
        int total = 0;
        while (total < values) {
            int count = std::min(250, values - total + 2); // asks past the end once
            if (int code = kaIOStreamRead(0, kAnalogIn, KA_READ_MODE_BLOCKING, &data[total], &count,
                                          KA_IO_STREAM_READ_FRAMES))
                return Failed("read", total, code);
            if (count == 0)
                return "acquisition ended after " + std::to_string(total) + " values";
            total += count;
        }
        if (total != values)
            return "read " + std::to_string(total) + " of " + std::to_string(values) + " values";
        for (int k = 2; k < values; ++k)
            if (data[k] != data[k % 2])
                return "value " + std::to_string(k) + " out of order";
        if (data[0] == data[1])
            return "channels not told apart";
        int more = 2;
        if (int code =
                kaIOStreamRead(0, kAnalogIn, KA_READ_MODE_NONBLOCKING, data.data(), &more, 0))
            return Failed("read after the end", run, code);
        if (more != 0)
            return std::to_string(more) + " values after the end";
        if (std::string fault = WaitIdle(kAnalogIn, run); !fault.empty())
            return fault;
        if (int code = StopStream(kAnalogIn))
            return Failed("input stop", run, code);
    }
    return {};
}

// Limited outputs from a preloaded buffer: all values go out, then the stream ends.
std::string PutOut(int runs, int values)
{
    kaStreamConfigRecord channel = {0, 0, 0, 0};
    std::vector<int> data(static_cast<size_t>(values));
    for (int k = 0; k < values; ++k)
        data[k] = (k * 7) & 0xFFFF;
    for (int run = 0; run < runs; ++run) {
        kaStreamTriggerRecord trigger = LimitedTrigger(values);
        if (int code = kaIOStreamConfig(0, kAnalogOut, &channel, 1, &trigger, 0, 0))
            return Failed("output config", run, code);
        int count = values;
        if (int code =
                kaIOStreamWrite(0, kAnalogOut, KA_WRITE_MODE_PRELOAD, data.data(), &count, 0))
            return Failed("preload", run, code);
        if (count != values)
            return "preload took " + std::to_string(count) + " values";
        if (int code = StartStream(kAnalogOut))
            return Failed("output start", run, code);
        if (std::string fault = WaitIdle(kAnalogOut, run); !fault.empty())
            return fault;
        if (int code = StopStream(kAnalogOut))
            return Failed("output stop", run, code);
    }
    return {};
}

// Runs every check on a thread of its own; a deadlock ends the program, as
// no thread could be joined.
std::vector<std::string> RunTogether(const std::vector<Check> &checks)
{
    std::vector<std::future<std::string>> running;
    running.reserve(checks.size());
    for (const Check &check : checks)
        running.push_back(std::async(std::launch::async, check));
    std::vector<std::string> faults;
    const auto deadline = std::chrono::steady_clock::now() + kDeadlock;
    for (auto &f : running) {
        if (f.wait_until(deadline) != std::future_status::ready) {
            std::fprintf(stderr, "threads still running after %lld s: deadlock\n",
                         static_cast<long long>(kDeadlock.count()));
            std::_Exit(EXIT_FAILURE);
        }
        if (std::string fault = f.get(); !fault.empty())
            faults.push_back(fault);
    }
    return faults;
}

class ConcurrentUse : public ::testing::TestWithParam<bool>
{
  protected:
    void SetUp() override
    {
        kaSimReset();
        kaSimClock(Fast() ? KA_SIM_CLOCK_FAST : KA_SIM_CLOCK_REAL);
        ASSERT_EQ(kaOpen(0), 0);
        ASSERT_EQ(kaIOSingleConfig(0, kDioOut, 0, KA_SINGLE_CONFIG_DIO_OUTPUT, 0,
                                   KA_TRIG_CHAN_DEFAULT, KA_TRIG_TYPE_SW, 0, 0),
                  0);
        ASSERT_EQ(kaIOIrqStart(0, kIrqIn, 0, KA_IRQ_SOURCE_DIO_LINE, KA_IRQ_EDGE_RISING, 0, 0), 0);
    }
    void TearDown() override { kaSimReset(); }

    static bool Fast() { return GetParam(); }
};

TEST_P(ConcurrentUse, EveryThreadSeesConsistentResults)
{
    const int runs = Fast() ? 20 : 3;
    const int values = Fast() ? 20000 : 4000; // real time: 40 ms a run at 100 kHz
    EXPECT_EQ(RunTogether({Queries, Locks, SingleValues, FireInterrupts, AwaitInterrupts,
                           [&] { return Acquire(runs, values); },
                           [&] {
                               return PutOut(runs, values / 4);
                           }}),
              std::vector<std::string>());
    EXPECT_EQ(kaSimCallCount("kaQueryNumberDevices"), 2000);
    EXPECT_EQ(kaSimCallCount("kaIOStreamConfig"), 2 * runs);

    // A wait in progress when another thread stops the interrupt ends.
    std::vector<std::string> faults =
        RunTogether({[] {
                         int count = 0, value = 0;
                         const int code = kaIOIrqWait(0, kIrqIn, 0, &count, &value, 0, 0);
                         return code == KA_SIM_WAIT_STOPPED ? "" : Failed("last wait", count, code);
                     },
                     [waits = kaSimCallCount("kaIOIrqWait")] {
                         // The wait holds the library lock from its start until it waits.
                         while (kaSimCallCount("kaIOIrqWait") == waits)
                             std::this_thread::sleep_for(1ms);
                         const int code = kaIOIrqStop(0, kIrqIn, 0, 0);
                         return code == 0 ? "" : Failed("stop", 0, code);
                     }});
    EXPECT_EQ(faults, std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Streams, ConcurrentUse, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return info.param ? "Fast" : "RealTime";
                         });

} // namespace
