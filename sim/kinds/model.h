// One subdevice of the simulated boards as its kind makes it: the kind's
// operations and the state it keeps between calls. Every kind (analog input
// and output, digital port, counter, external interrupt) has a unit of its
// own in this folder with a class derived from SubdeviceModel, registered in
// kinds.def; the boards make a model for every subdevice of the system. What
// a kind does not override answers KA_SIM_NOT_SUPPORTED. The operations
// check the device and subdevice, and hold the library lock, before they
// call a model.
#ifndef TARVEX_SIM_KINDS_MODEL_H
#define TARVEX_SIM_KINDS_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

#include "boards.h"
#include "ka_sim.h"
#include "streams.h"

namespace sim
{

// kaIOSingleConfig's arguments after device and subdevice.
struct SingleConfig {
    int channel;
    int config;
    int reference;
    int trigChannel;
    int trigType;
    int trigEdge;
    int flags;
};

// kaIOIrqStart's arguments after device, subdevice and channel.
struct IrqRequest {
    int source;
    int edge;
    int argument;
    int flags;
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

// kaIOStreamConfig's arguments after device and subdevice.
struct StreamRequest {
    const kaStreamConfigRecord *channels;
    int count;
    const kaStreamTriggerRecord &trigger;
    int fifoThreshold;
    int flags;
};

class SubdeviceModel
{
  public:
    SubdeviceModel(Boards &boards, int device, int subdevice, const Subdevice &described)
        : boards_(boards), device_(device), subdevice_(subdevice), described_(described)
    {
    }
    virtual ~SubdeviceModel() = default;
    SubdeviceModel(const SubdeviceModel &) = delete;
    SubdeviceModel &operator=(const SubdeviceModel &) = delete;

    const Subdevice &Described() const { return described_; }

    // Links to other subdevices (loopbacks, a cascade), once every model of
    // the boards exists.
    virtual void Attach() {}
    // Power-on state: streams stopped, interrupts disarmed, settings cleared.
    virtual void Reset() = 0;
    // What runs stops and what is armed is disarmed: the library is closed.
    virtual void Quiesce() {}

    virtual int Configure(const SingleConfig &config);
    // One kaIOSingle transfer; its direction is input or output.
    virtual int Transfer(kaSingleRecord &record, Clock::time_point now);

    // Interrupts: arming a channel (checked before the kind is asked),
    // disarming it, and the interrupt a wait watches: null for a channel
    // the subdevice lacks, one never armed for a kind that cannot interrupt.
    virtual int ArmIrq(int channel, const IrqRequest &request, Clock::time_point now);
    virtual int DisarmIrq(int channel);
    virtual IrqState *Irq(int channel);
    // Brings an interrupt that comes with time up to now; answers when the
    // next one is due (time_point::max() for none).
    virtual Clock::time_point UpdateIrq(IrqState &irq, Clock::time_point now);

    // The stream of a streaming subdevice; null for one that does not stream.
    virtual Stream *Streaming() { return nullptr; }
    // Checks a set-up (reason: why a value is out of range) and gives it to
    // the stream.
    virtual int ConfigureStream(const StreamRequest &request, std::string &reason);

    // A counter's part in a pulse-width output: the first counter of the
    // output it serves, -1 for none; null for a subdevice that is no counter.
    virtual int *PulseLeader() { return nullptr; }

  protected:
    // A channel of the subdevice, and no configuration flags: what every
    // kind but the digital ports checks first.
    int CheckChannelAndFlags(const SingleConfig &config) const;
    bool HasChannel(int channel) const { return channel >= 0 && channel < described_.channels; }
    // Transfer flags beyond those every kind may ignore.
    static int CheckTransferFlags(const kaSingleRecord &record)
    {
        const int ignorable =
            KA_IO_SINGLE_TYPE_TRIG_SYNCHRONOUS | KA_IO_SINGLE_TYPE_WRITE_NONBLOCKING;
        return record.flags & ~ignorable ? KA_SIM_INVALID_FLAGS : 0;
    }

    Boards &boards_;
    const int device_;
    const int subdevice_;
    const Subdevice &described_;
};

// The interrupts of a kind that can interrupt: one per channel, made when
// the first is armed, so that a subdevice nobody arms holds none.
class Interrupts
{
  public:
    void Reset(int channels)
    {
        irqs_ = {};
        channels_ = channels;
        armed_ = 0;
    }
    // The interrupt of a channel; one never armed before the first arming.
    IrqState &At(int channel);
    std::vector<IrqState> &All() { return irqs_; }
    // Makes the interrupts, if that is still to do; what may run out of
    // memory, before anything changes.
    void MakeRoom();
    // Arms a free channel for a request from now on, once there is room;
    // `armed` holds what the kind watches.
    void Arm(int channel, const IrqRequest &request, Clock::time_point now, IrqState armed);
    int Disarm(int channel);
    int Armed() const { return armed_; }

  private:
    std::vector<IrqState> irqs_;
    int channels_ = 0;
    int armed_ = 0;
};

// The capability an interrupt edge needs, from the kind's three edge
// capabilities; -1 for an edge that is none of them.
int EdgeCapability(int edge, int rising, int falling, int any);

inline std::uint32_t LowBits(int bits)
{
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

} // namespace sim

#endif
