// The run-time state of the simulated boards: analog channel settings and
// output values, digital line latches, counters and interrupts, and the
// single-value transfers and interrupts that act on them. What a subdevice
// does is its kind's (kinds/kind.h); the boards hold each subdevice's kind and
// what the kinds share: the signals and loopbacks the inputs see, the
// bookkeeping of armed interrupts, and resets.
#ifndef TARVEX_SIM_BOARDS_H
#define TARVEX_SIM_BOARDS_H

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "Tarvexmain.h"
#include "streams.h"
#include "system.h"

namespace sim
{

using Clock = std::chrono::steady_clock;
class SubdeviceKind;
struct SingleConfig;
struct IrqRequest;
struct SubdeviceContext;

// Linear conversion between a range's physical span and 0..maxData.
double ToPhysical(const Range &range, long long digital);
// Rounded, clamped to the range. Inline: every analog input value passes here.
inline int ToDigital(const Range &range, double physical)
{
    const double digital =
        std::round((physical - range.min) * range.maxData / (range.max - range.min));
    if (!(digital > 0)) // also NaN
        return 0;
    return digital >= range.maxData ? range.maxData : static_cast<int>(digital);
}

struct ChannelState {
    int range = 0;
    int reference = 0;
    int output = -1; // analog output: digital value last written, -1 for none yet
};

struct IrqState {
    bool armed = false;
    unsigned long long session = 0; // tells one arming from the next
    int source = 0;
    int edge = 0;
    int argument = 0;
    int widthBits = 0;
    Clock::time_point start;
    long long fired = 0;    // interrupts since start
    long long reported = 0; // count the last wait handed out
    int lastValue = 0;
    std::uint32_t lines = 0; // the watched lines when last looked at
};

struct SubdeviceState {
    const SubdeviceKind *kind = nullptr;
    std::vector<ChannelState> channels; // analog kinds
    std::vector<IrqState> irqs;         // one per channel for kinds that can interrupt
    std::uint32_t outputs = 0;          // digital output latch
    std::uint32_t outputMask = 0;       // digital lines driven as outputs
    int counterMode = -1;               // 8254 mode 0..5, -1 until configured
    int counterReference = 0;
    std::uint32_t counterLoad = 0;
    Clock::time_point counterLoaded;
    Stream stream;
    int pwmLeader = -1; // the first counter of the pulse output this one serves
};

// Every operation but Transfer takes a device and subdevice the system has;
// the callers check them first (Library::RequireSubdevice).
class Boards
{
  public:
    Boards() = default;
    explicit Boards(const System &system);

    // Back to power-on state; interrupts are disarmed.
    void ResetSubdevice(int device, int subdevice);
    void ResetDevice(int device);
    void DisarmAll();
    void StopStreams(Clock::time_point now);

    int Configure(int device, int subdevice, const SingleConfig &config);
    // One transfer at the given time; answers the entry's own result code.
    int Transfer(kaSingleRecord &record, Clock::time_point now);

    int IrqStart(int device, int subdevice, int channel, const IrqRequest &request);
    int IrqStop(int device, int subdevice, int channel);
    // The interrupt of a channel; null for a subdevice or channel there is
    // not (any longer). A kind that cannot interrupt answers one never armed.
    IrqState *Irq(int device, int subdevice, int channel);
    // Brings an interrupt that comes with time up to now; answers when the
    // next one is due (time_point::max() for none).
    Clock::time_point UpdateIrq(int device, int subdevice, IrqState &irq, Clock::time_point now);

    // The physical value an analog input channel sees at a time.
    double AnalogInput(int device, int subdevice, int channel, Clock::time_point at) const;
    // A digital port's lines: driven outputs, and inputs as their source drives them.
    std::uint32_t Lines(int device, int subdevice) const;
    // Lets armed interrupts look at lines that may have changed.
    void LinesChanged()
    {
        if (armedLineIrqs_ != 0)
            LookAtArmedLineIrqs();
    }

    SubdeviceState &State(int device, int subdevice) { return devices_[device][subdevice]; }
    const SubdeviceState &State(int device, int subdevice) const
    {
        return devices_[device][subdevice];
    }
    const Subdevice &Described(int device, int subdevice) const;

  private:
    SubdeviceContext Context(int device, int subdevice);
    void CountArmedLineIrqs();
    void LookAtArmedLineIrqs();

    const System *system_ = nullptr;
    std::vector<std::vector<SubdeviceState>> devices_;
    unsigned long long sessions_ = 0;
    int armedLineIrqs_ = 0; // LinesChanged has nothing to do while 0
    IrqState neverArmed_;   // what Irq() answers for a kind that cannot interrupt
};

} // namespace sim

#endif
