// The run-time state of the simulated boards: analog channel settings and
// output values, digital line latches, counters and interrupts, and the
// single-value transfers and interrupt waits that act on them.
#ifndef SIM_BOARDS_H
#define SIM_BOARDS_H

#include <chrono>
#include <cstdint>
#include <vector>

#include "Tarvexmain.h"
#include "streams.h"
#include "system.h"

namespace sim
{

using Clock = std::chrono::steady_clock;

// Linear conversion between a range's physical span and 0..maxData.
double toPhysical(const Range &range, long long digital);
int toDigital(const Range &range, double physical); // rounded, clamped to the range

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
    std::vector<ChannelState> channels;
    std::vector<IrqState> irqs;   // one per channel
    std::uint32_t outputs = 0;    // digital output latch
    std::uint32_t outputMask = 0; // digital lines driven as outputs
    int counterMode = -1;         // 8254 mode 0..5, -1 until configured
    int counterReference = 0;
    std::uint32_t counterLoad = 0;
    Clock::time_point counterLoaded;
    Stream stream;
    int pwmLeader = -1; // the first counter of the pulse output this one serves
};

class Boards
{
  public:
    Boards() = default;
    explicit Boards(const System &system);

    // Back to power-on state; interrupts are disarmed.
    void resetSubdevice(int device, int subdevice);
    void resetDevice(int device);
    void disarmAll();
    void stopStreams(Clock::time_point now);

    int configure(int device, int subdevice, int channel, int config, int reference,
                  int trigChannel, int trigType, int trigEdge, int flags);
    // One transfer at the given time; answers the entry's own result code.
    int transfer(kaSingleRecord &record, Clock::time_point now);

    int irqStart(int device, int subdevice, int channel, int source, int edge, int argument,
                 int flags);
    int irqStop(int device, int subdevice, int channel);
    IrqState *irq(int device, int subdevice, int channel);
    // Brings a rate-driven interrupt up to now; answers when the next one
    // is due (time_point::max() for event-driven sources).
    Clock::time_point updateIrq(int device, int subdevice, IrqState &irq, Clock::time_point now);

    // The physical value an analog input channel sees at a time.
    double analogInput(int device, int subdevice, int channel, Clock::time_point at) const;
    // A digital port's lines: driven outputs, and inputs as their source drives them.
    std::uint32_t lines(int device, int subdevice) const;

    SubdeviceState &state(int device, int subdevice) { return devices_[device][subdevice]; }

  private:
    const Subdevice &described(int device, int subdevice) const;
    int lookup(int device, int subdevice, const Subdevice *&found) const;
    int transferAnalog(kaSingleRecord &record, const Subdevice &sub, SubdeviceState &state,
                       Clock::time_point now);
    int transferDigital(kaSingleRecord &record, const Subdevice &sub, SubdeviceState &state);
    int transferCounter(kaSingleRecord &record, const Subdevice &sub, SubdeviceState &state,
                        Clock::time_point now);
    std::uint32_t counterValue(int device, int subdevice, Clock::time_point now) const;
    double counterRate(int device, int subdevice) const;
    // Checks armed digital interrupts after lines may have changed.
    void digitalChanged();
    void countArmedDigitalIrqs();

    const System *system_ = nullptr;
    std::vector<std::vector<SubdeviceState>> devices_;
    unsigned long long sessions_ = 0;
    int armedDigitalIrqs_ = 0; // digitalChanged has nothing to do while 0
    IrqState neverArmed_;      // what irq() answers for a kind that cannot interrupt
};

} // namespace sim

#endif
