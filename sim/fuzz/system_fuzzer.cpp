// libFuzzer target: any bytes as a system file. The reader either takes them
// or refuses them with a SystemError; a system it takes is then loaded into
// the library and worked through its operations (queries, single values,
// counters, interrupts, streams, remote queries) on every subdevice, which
// must not fault either. Built with AddressSanitizer and UndefinedBehaviorSanitizer by the
// fuzz preset; scripts/fuzz.sh runs it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ka_sim.h"
#include "system.h"

namespace
{

// Bounds that keep one input's work small; the reader's own limits are far
// larger.
constexpr int kDevices = 4;
constexpr int kSubdevices = 12;
constexpr int kChannels = 8;
constexpr int kRanges = 4;

kaSingleRecord Single(int device, int subdevice, int channel, int dir, int value, int flags)
{
    return {device, subdevice, channel, dir, value, 0, flags, 0};
}

void Transfer(kaSingleRecord record)
{
    kaIOSingle(&record, 1, 0);
}

void WorkAnalog(int d, int s, int channels, int ranges)
{
    for (int r = 0; r < std::min(ranges, kRanges); ++r) {
        int unit = 0, maxData = 0;
        double min = 0, max = 0;
        kaQueryRangeInfo(d, s, r, &unit, &min, &max, &maxData);
        int found = 0;
        kaQueryRangeByMinMax(d, s, unit, &min, &max, &maxData, &found);
        int digital = 0;
        kaUtilityPhysicalToDigital(min, max, maxData, (min + max) / 2, &digital);
    }
    for (int c = 0; c < std::min(channels, kChannels); ++c) {
        kaIOSingleConfig(d, s, c, 0, 0, KA_TRIG_CHAN_DEFAULT, KA_TRIG_TYPE_SW, 0, 0);
        Transfer(Single(d, s, c, KA_DIR_OUTPUT, 1, 0));
        Transfer(Single(d, s, c, KA_DIR_INPUT, 0, 0));
    }
}

void WorkDigital(int d, int s, int channels)
{
    for (int flags : {0, int{KA_IO_SINGLE_TYPE_DIO_BIT}, int{KA_IO_SINGLE_TYPE_DIO_BYTE}}) {
        kaIOSingleConfig(d, s, 0, KA_SINGLE_CONFIG_DIO_OUTPUT, 0, 0, KA_TRIG_TYPE_NONE, 0, flags);
        Transfer(Single(d, s, 0, KA_DIR_OUTPUT, 1, flags));
        Transfer(Single(d, s, 0, KA_DIR_INPUT, 0, flags));
    }
    for (int c = 0; c < std::min(channels, kChannels); ++c) {
        kaIOIrqStart(d, s, c, KA_IRQ_SOURCE_DIO_LINE, KA_IRQ_EDGE_ANY, 0, 0);
        Transfer(Single(d, s, c, KA_DIR_INPUT, 0, KA_IO_SINGLE_TYPE_DIO_BIT));
        kaIOIrqStop(d, s, c, 0);
    }
}

void WorkCounter(int d, int s)
{
    kaIOSingleConfig(d, s, 0, KA_SINGLE_CONFIG_CTR_8254_MODE_2, KA_REF_CTR_INTERNAL_10MHZ, 0,
                     KA_TRIG_TYPE_SW, 0, 0);
    Transfer(Single(d, s, 0, KA_DIR_OUTPUT, 100, 0));
    Transfer(Single(d, s, 0, KA_DIR_INPUT, 0, 0));
    if (s > 0)
        Transfer(Single(d, s - 1, 0, KA_DIR_INPUT, 0, 0)); // a cascade reads its neighbour
}

void WorkInterrupt(int d, int s)
{
    int count = 0, value = 0;
    kaIOIrqStart(d, s, 0, 0, KA_IRQ_EDGE_RISING, 0, 0);
    kaIOIrqWait(d, s, 0, &count, &value, 1, 0);
    kaIOIrqStop(d, s, 0, 0);
}

// A short stream: a few scans, preloaded and read, as fast as the library
// goes; what the subdevice cannot do it refuses.
void WorkStream(int d, int s)
{
    kaStreamConfigRecord channel{0, 0, 0, 0};
    kaStreamTriggerRecord trigger{};
    trigger.acqStartTrigType = KA_TRIG_TYPE_SW;
    trigger.scanStartTrigType = KA_TRIG_TYPE_FOLLOW;
    trigger.convStartTrigType = KA_TRIG_TYPE_TIMER;
    trigger.convStartTicksLow = 66;
    trigger.scanStopTrigType = KA_TRIG_TYPE_COUNT;
    trigger.scanStopCount = 16;
    if (kaIOStreamConfig(d, s, &channel, 1, &trigger, 0, 0) != 0)
        return;
    int values[16] = {};
    int count = 16;
    kaIOStreamWrite(d, s, KA_WRITE_MODE_PRELOAD, values, &count, 0);
    kaStreamStartRecord start{d, s, KA_START_MODE_NONBLOCKING, 0, 0, 0};
    kaIOStreamStart(&start, 1, 0);
    count = 16;
    kaIOStreamRead(d, s, KA_READ_MODE_NONBLOCKING, values, &count, KA_IO_STREAM_READ_FRAMES);
    int status = 0;
    kaIOStreamStatus(d, s, KA_WAIT_IDLE, &status, &count, 0);
    kaStreamStopRecord stop{d, s, KA_STOP_MODE_IMMEDIATE, 0, 0};
    kaIOStreamStop(&stop, 1, 0);
}

void WorkDevice(int d)
{
    char text[256];
    int value = 0, info[8] = {};
    kaQueryNameDevice(d, text, 64);
    kaQueryDescriptionDevice(d, text, sizeof text);
    kaQueryNameDeviceDriver(d, text, 64);
    kaQueryVersionDeviceDriver(d, &value);
    kaQueryInfoDevice(d, &info[0], &info[1], &info[2], &info[3], &info[4], &info[5], &info[6],
                      &info[7]);
    int subdevices = 0;
    kaQueryNumberSubdevices(d, &subdevices);
    for (int s = 0; s < std::min(subdevices, kSubdevices); ++s) {
        int type = 0, subtype = 0, channels = 0, ranges = 0, caps = 0, args[8];
        kaQuerySubdeviceType(d, s, &type, &subtype);
        kaQuerySubdeviceCaps(d, s, &caps);
        for (int cap : {KA_CAP_AI_FIFO_SIZE, KA_CAP_AO_FIFO_SIZE, KA_CAP_CTR_WIDTH})
            kaQuerySubdeviceCapsArgs(d, s, cap, args, 8);
        kaQuerySubdeviceByType(d, 0, type, KA_SUBTYPE_ANY, &value);
        kaQueryNumberChannels(d, s, &channels);
        kaQueryNumberRanges(d, s, KA_UNIT_ANY, &ranges);
        // Every kind of work on every subdevice: what it cannot do it refuses.
        WorkAnalog(d, s, channels, ranges);
        WorkDigital(d, s, channels);
        WorkCounter(d, s);
        WorkInterrupt(d, s);
        WorkStream(d, s);
    }
    if (kaUtilityPWMStart(d, 0, 1, 2, KA_REF_CTR_INTERNAL_1MHZ, 100, 25, 0) == 0)
        kaUtilityPWMStop(d, 0);
    kaIOResetDevice(d, 0);
}

void WorkRemote(const sim::System &system)
{
    if (system.hosts.empty())
        return;
    const char *host = system.hosts.begin()->first.c_str();
    int number = 0, unit = 0, maxData = 0, type = 0, subtype = 0;
    double min = 0, max = 0;
    char text[256];
    kaRQueryNumberDevices(host, &number);
    kaRQueryNameDevice(host, 0, text, 64);
    kaRQueryNumberSubdevices(host, 0, &number);
    kaRQueryNumberChannels(host, 0, 0, &number);
    kaRQueryNumberRanges(host, 0, 0, KA_UNIT_ANY, &number);
    kaRQueryRangeInfo(host, 0, 0, 0, &unit, &min, &max, &maxData);
    kaRQuerySubdeviceType(host, 0, 0, &type, &subtype);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    sim::System system;
    try {
        system = sim::ParseSystem(text);
    } catch (const sim::SystemError &) {
        return 0; // refused, as most inputs are
    }
    // A text the reader took holds no NUL byte, so it passes as a C string.
    if (kaSimLoadSystem(text.c_str()) != 0)
        __builtin_trap(); // the library refused what the reader took
    kaSimClock(KA_SIM_CLOCK_FAST);
    kaOpen(0);
    int devices = 0;
    kaQueryNumberDevices(&devices);
    for (int d = 0; d < std::min(devices, kDevices); ++d)
        WorkDevice(d);
    WorkRemote(system);
    kaClose(0);
    return 0;
}
