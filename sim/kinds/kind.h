// The operations of one kind of subdevice. Each kind (analog input, analog
// output, digital port, counter, external interrupt) has a unit of its own
// in this folder with a SubdeviceKind; the boards hold the kind of every
// subdevice and run its operations on it. A type no kind knows gets the
// defaults, which answer KA_SIM_NOT_SUPPORTED.
#ifndef TARVEX_SIM_KINDS_KIND_H
#define TARVEX_SIM_KINDS_KIND_H

#include <cstdint>

#include "boards.h"
#include "ka_sim.h"

namespace sim
{

// One subdevice as its kind's operations see it.
struct SubdeviceContext {
    Boards &boards;
    int device;
    int subdevice;
    const Subdevice &described;
    SubdeviceState &state;
};

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

class SubdeviceKind
{
  public:
    // Power-on state: the channel settings, interrupts and latches the kind
    // has. A kind that can interrupt gives every channel an IrqState.
    virtual void Reset(const Subdevice &described, SubdeviceState &state) const = 0;
    virtual int Configure(SubdeviceContext &sub, const SingleConfig &config) const;
    // One kaIOSingle transfer; its direction is input or output.
    virtual int Transfer(SubdeviceContext &sub, kaSingleRecord &record,
                         Clock::time_point now) const;
    // Checks a request to arm a free interrupt of a channel and fills in
    // what the interrupt watches.
    virtual int ArmIrq(SubdeviceContext &sub, int channel, const IrqRequest &request,
                       IrqState &armed) const;
    // Interrupts that come with time: brings irq up to now, and answers when
    // the next one is due (time_point::max() for none).
    virtual Clock::time_point UpdateIrq(const SubdeviceContext &sub, IrqState &irq,
                                        Clock::time_point now) const;
    // Interrupts that come with the lines: whether the kind has them, and
    // the look at its armed ones after lines may have changed.
    virtual bool WatchesLines() const { return false; }
    virtual void LinesChanged(SubdeviceContext &sub) const;

  protected:
    ~SubdeviceKind() = default;
    // A channel of the subdevice, and no configuration flags: what every
    // kind but the digital ports checks first.
    static int CheckChannelAndFlags(const SubdeviceContext &sub, const SingleConfig &config);
    // Transfer flags beyond those every kind may ignore.
    static int CheckTransferFlags(const kaSingleRecord &record)
    {
        const int ignorable =
            KA_IO_SINGLE_TYPE_TRIG_SYNCHRONOUS | KA_IO_SINGLE_TYPE_WRITE_NONBLOCKING;
        return record.flags & ~ignorable ? KA_SIM_INVALID_FLAGS : 0;
    }
};

// The operations of a subdevice type.
const SubdeviceKind &KindOf(int type);

const SubdeviceKind &AnalogInputKind();
const SubdeviceKind &AnalogOutputKind();
const SubdeviceKind &DigitalKind(int type); // KA_TYPE_DIO, KA_TYPE_DI or KA_TYPE_DO
const SubdeviceKind &CounterKind();
const SubdeviceKind &ExternalIrqKind();

// The capability an interrupt edge needs, from the kind's three edge
// capabilities; -1 for an edge that is none of them.
int EdgeCapability(int edge, int rising, int falling, int any);

inline std::uint32_t LowBits(int bits)
{
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

} // namespace sim

#endif
