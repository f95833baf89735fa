// Digital ports (I/O, input, output): lines driven as outputs from a latch,
// inputs from the port a loopback names; set in widths of a bit, byte, word
// or the whole port; interrupts on lines, masks and patterns of the inputs.
#include "ka_sim.h"
#include "kinds/kind.h"

namespace sim
{
namespace
{

// Width in lines that a width flag selects: 0 means the whole port.
int WidthFromFlags(int flags, int portLines)
{
    switch (flags) {
    case 0:
        return portLines;
    case KA_IO_SINGLE_TYPE_DIO_BIT:
        return 1;
    case KA_IO_SINGLE_TYPE_DIO_BYTE:
        return 8;
    case KA_IO_SINGLE_TYPE_DIO_WORD:
        return 16;
    case KA_IO_SINGLE_TYPE_DIO_DWORD:
        return 32;
    default:
        return -1;
    }
}

// The lines a channel of the given width covers, or 0 if it reaches past the port.
std::uint32_t ChannelMask(int channel, int width, int portLines)
{
    if (width <= 0 || channel < 0 || (static_cast<long long>(channel) + 1) * width > portLines)
        return 0;
    return LowBits(width) << (channel * width);
}

// The direction capability a width of direction setting needs.
int DirectionCapability(int width)
{
    switch (width) {
    case 1:
        return KA_CAPS_DIO_DIR_BIT;
    case 8:
        return KA_CAPS_DIO_DIR_BYTE;
    case 16:
        return KA_CAPS_DIO_DIR_WORD;
    default:
        return KA_CAPS_DIO_DIR_DWORD;
    }
}

int LineEdgeCapability(int edge)
{
    return EdgeCapability(edge, KA_CAPS_DIO_BIT_MASK_IRQ_EDGE_RISING,
                          KA_CAPS_DIO_BIT_MASK_IRQ_EDGE_FALLING, KA_CAPS_DIO_BIT_MASK_IRQ_EDGE_ANY);
}

// Whether an armed interrupt fires on the step of its lines from before to now.
bool Fires(const IrqState &irq, std::uint32_t before, std::uint32_t now)
{
    if (irq.source == KA_IRQ_SOURCE_DIO_PATTERN) {
        const auto pattern = static_cast<std::uint32_t>(irq.argument) & LowBits(irq.widthBits);
        return now == pattern && before != pattern;
    }
    const std::uint32_t watched =
        irq.source == KA_IRQ_SOURCE_DIO_LINE ? 1u : static_cast<std::uint32_t>(irq.argument);
    const std::uint32_t rising = ~before & now & watched;
    const std::uint32_t falling = before & ~now & watched;
    return irq.edge == KA_IRQ_EDGE_RISING    ? rising != 0
           : irq.edge == KA_IRQ_EDGE_FALLING ? falling != 0
                                             : (rising | falling) != 0;
}

class DigitalPort : public SubdeviceKind
{
  public:
    // Which directions the port's lines take; a port with inputs can interrupt.
    DigitalPort(bool inputs, bool outputs) : inputs_(inputs), outputs_(outputs) {}

    void Reset(const Subdevice &described, SubdeviceState &state) const override
    {
        if (inputs_)
            state.irqs.resize(described.channels);
        if (!inputs_)
            state.outputMask = LowBits(described.channels);
    }

    int Configure(SubdeviceContext &sub, const SingleConfig &config) const override
    {
        const Subdevice &described = sub.described;
        if (config.trigType != KA_TRIG_TYPE_NONE && config.trigType != KA_TRIG_TYPE_SW)
            return KA_SIM_INVALID_TRIGGER;
        const int width = WidthFromFlags(config.flags, described.channels);
        const std::uint32_t mask = ChannelMask(config.channel, width, described.channels);
        if (width < 0)
            return KA_SIM_INVALID_FLAGS;
        if (!mask)
            return KA_SIM_INVALID_CHANNEL;
        const bool wholePort = width == described.channels;
        if (!wholePort && !(described.caps & DirectionCapability(width)))
            return KA_SIM_INVALID_CONFIG;
        const int direction = config.config;
        const bool input = direction == KA_SINGLE_CONFIG_DIO_INPUT ||
                           direction == KA_SINGLE_CONFIG_DIO_HIGH_IMPEDANCE;
        const bool output =
            direction == KA_SINGLE_CONFIG_DIO_OUTPUT ||
            ((direction == KA_SINGLE_CONFIG_DIO_SINK || direction == KA_SINGLE_CONFIG_DIO_SOURCE) &&
             (described.caps & KA_CAPS_DIO_SINK_SOURCE));
        if ((!input && !output) || (input && !inputs_) || (output && !outputs_))
            return KA_SIM_INVALID_CONFIG;
        SubdeviceState &state = sub.state;
        state.outputMask = output ? state.outputMask | mask : state.outputMask & ~mask;
        sub.boards.LinesChanged();
        return 0;
    }

    int Transfer(SubdeviceContext &sub, kaSingleRecord &r, Clock::time_point) const override
    {
        const int portLines = sub.described.channels;
        const int width = WidthFromFlags(r.flags & 0xF, portLines);
        if (width < 0 || (r.flags & ~0xF & ~KA_IO_SINGLE_TYPE_WRITE_NONBLOCKING))
            return KA_SIM_INVALID_FLAGS;
        const std::uint32_t mask = ChannelMask(r.channel, width, portLines);
        if (!mask)
            return KA_SIM_INVALID_CHANNEL;
        const int shift = r.channel * width;
        if (r.direction == KA_DIR_INPUT) {
            r.value =
                static_cast<int>((sub.boards.Lines(sub.device, sub.subdevice) & mask) >> shift);
            return 0;
        }
        SubdeviceState &state = sub.state;
        if ((state.outputMask & mask) != mask)
            return KA_SIM_INVALID_DIRECTION;
        const auto value = static_cast<std::uint32_t>(r.value);
        if (value & ~LowBits(width))
            return KA_SIM_INVALID_VALUE;
        state.outputs = (state.outputs & ~mask) | (value << shift);
        sub.boards.LinesChanged();
        return 0;
    }

    int ArmIrq(SubdeviceContext &sub, int channel, const IrqRequest &request,
               IrqState &armed) const override
    {
        const Subdevice &described = sub.described;
        armed.widthBits = WidthFromFlags(request.flags, described.channels);
        if (armed.widthBits < 0)
            return KA_SIM_INVALID_FLAGS;
        int needed = -1;
        switch (request.source) {
        case KA_IRQ_SOURCE_DIO_LINE:
            armed.widthBits = 1; // the channel is the line
            needed = LineEdgeCapability(request.edge);
            break;
        case KA_IRQ_SOURCE_DIO_MASK:
            needed = LineEdgeCapability(request.edge);
            break;
        case KA_IRQ_SOURCE_DIO_PATTERN:
            needed = KA_CAPS_DIO_BIT_PATTERN_IRQ;
            break;
        case KA_IRQ_SOURCE_DIO_OVER_TEMP:
            needed = KA_CAPS_DIO_OVER_TEMP_IRQ;
            break;
        }
        if (needed < 0 || !(described.caps & needed))
            return KA_SIM_INVALID_CONFIG;
        const std::uint32_t mask = ChannelMask(channel, armed.widthBits, described.channels);
        if (!mask)
            return KA_SIM_INVALID_CHANNEL;
        armed.lines =
            (sub.boards.Lines(sub.device, sub.subdevice) & mask) >> (channel * armed.widthBits);
        return 0;
    }

    bool WatchesLines() const override { return true; }

    void LinesChanged(SubdeviceContext &sub) const override
    {
        for (std::size_t c = 0; c < sub.state.irqs.size(); ++c) {
            IrqState &irq = sub.state.irqs[c];
            if (!irq.armed || irq.source == KA_IRQ_SOURCE_DIO_OVER_TEMP)
                continue;
            const int shift = static_cast<int>(c) * irq.widthBits;
            const std::uint32_t now =
                (sub.boards.Lines(sub.device, sub.subdevice) >> shift) & LowBits(irq.widthBits);
            const std::uint32_t before = irq.lines;
            irq.lines = now;
            if (Fires(irq, before, now)) {
                ++irq.fired;
                irq.lastValue = static_cast<int>(now);
            }
        }
    }

  private:
    bool inputs_;
    bool outputs_;
};

} // namespace

const SubdeviceKind &DigitalKind(int type)
{
    static const DigitalPort kInputOutput(true, true), kInput(true, false), kOutput(false, true);
    return type == KA_TYPE_DI ? kInput : type == KA_TYPE_DO ? kOutput : kInputOutput;
}

} // namespace sim
