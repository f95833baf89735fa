// Digital ports (I/O, input, output): lines driven as outputs from a latch,
// inputs from the port a loopback names; set in widths of a bit, byte, word
// or the whole port; interrupts on lines, masks and patterns of the inputs.
// A port knows the armed ports whose lines follow its own, so that a write
// looks at those interrupts only, whatever the size of the system.
#include <algorithm>

#include "kinds/model.h"
#include "kinds/registry.h"
#include "system_checks.h"

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

class DigitalPort : public SubdeviceModel
{
  public:
    // Which directions the port's lines take; a port with inputs can interrupt.
    DigitalPort(Boards &boards, int device, int subdevice, const Subdevice &described)
        : SubdeviceModel(boards, device, subdevice, described),
          hasInputs_(described.type != KA_TYPE_DO), hasOutputs_(described.type != KA_TYPE_DI)
    {
        PowerOn();
    }

    void Attach() override
    {
        const Loopback &loopback = described_.loopback;
        if (loopback.Present())
            source_ =
                dynamic_cast<DigitalPort *>(&boards_.Model(loopback.device, loopback.subdevice));
    }

    void Reset() override
    {
        Quiesce();
        PowerOn();
    }

    void Quiesce() override
    {
        for (int channel = 0; channel < static_cast<int>(irqs_.All().size()); ++channel)
            if (irqs_.At(channel).armed)
                DisarmIrq(channel);
    }

    int Configure(const SingleConfig &config) override
    {
        if (config.trigType != KA_TRIG_TYPE_NONE && config.trigType != KA_TRIG_TYPE_SW)
            return KA_SIM_INVALID_TRIGGER;
        const int width = WidthFromFlags(config.flags, described_.channels);
        const std::uint32_t mask = ChannelMask(config.channel, width, described_.channels);
        if (width < 0)
            return KA_SIM_INVALID_FLAGS;
        if (!mask)
            return KA_SIM_INVALID_CHANNEL;
        const bool wholePort = width == described_.channels;
        if (!wholePort && !(described_.caps & DirectionCapability(width)))
            return KA_SIM_INVALID_CONFIG;
        const int direction = config.config;
        const bool input = direction == KA_SINGLE_CONFIG_DIO_INPUT ||
                           direction == KA_SINGLE_CONFIG_DIO_HIGH_IMPEDANCE;
        const bool output =
            direction == KA_SINGLE_CONFIG_DIO_OUTPUT ||
            ((direction == KA_SINGLE_CONFIG_DIO_SINK || direction == KA_SINGLE_CONFIG_DIO_SOURCE) &&
             (described_.caps & KA_CAPS_DIO_SINK_SOURCE));
        if ((!input && !output) || (input && !hasInputs_) || (output && !hasOutputs_))
            return KA_SIM_INVALID_CONFIG;
        outputMask_ = output ? outputMask_ | mask : outputMask_ & ~mask;
        LinesChanged();
        return 0;
    }

    int Transfer(kaSingleRecord &r, Clock::time_point) override
    {
        const int portLines = described_.channels;
        const int width = WidthFromFlags(r.flags & 0xF, portLines);
        if (width < 0 || (r.flags & ~0xF & ~KA_IO_SINGLE_TYPE_WRITE_NONBLOCKING))
            return KA_SIM_INVALID_FLAGS;
        const std::uint32_t mask = ChannelMask(r.channel, width, portLines);
        if (!mask)
            return KA_SIM_INVALID_CHANNEL;
        const int shift = r.channel * width;
        if (r.direction == KA_DIR_INPUT) {
            r.value = static_cast<int>((Lines() & mask) >> shift);
            return 0;
        }
        if ((outputMask_ & mask) != mask)
            return KA_SIM_INVALID_DIRECTION;
        const auto value = static_cast<std::uint32_t>(r.value);
        if (value & ~LowBits(width))
            return KA_SIM_INVALID_VALUE;
        latch_ = (latch_ & ~mask) | (value << shift);
        LinesChanged();
        return 0;
    }

    int ArmIrq(int channel, const IrqRequest &request, Clock::time_point now) override
    {
        if (!hasInputs_ || !HasChannel(channel))
            return SubdeviceModel::ArmIrq(channel, request, now);
        if (irqs_.At(channel).armed)
            return KA_SIM_BUSY;
        IrqState armed; // what the port watches
        armed.widthBits = WidthFromFlags(request.flags, described_.channels);
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
        if (needed < 0 || !(described_.caps & needed))
            return KA_SIM_INVALID_CONFIG;
        const std::uint32_t mask = ChannelMask(channel, armed.widthBits, described_.channels);
        if (!mask)
            return KA_SIM_INVALID_CHANNEL;
        armed.lines = (Lines() & mask) >> (channel * armed.widthBits);
        irqs_.MakeRoom(); // first what may run out of memory
        if (irqs_.Armed() == 0)
            Watch(true);
        irqs_.Arm(channel, request, now, armed);
        return 0;
    }

    int DisarmIrq(int channel) override
    {
        if (!hasInputs_ || !HasChannel(channel))
            return SubdeviceModel::DisarmIrq(channel);
        if (int code = irqs_.Disarm(channel))
            return code;
        if (irqs_.Armed() == 0)
            Watch(false);
        return 0;
    }

    IrqState *Irq(int channel) override
    {
        return hasInputs_ && HasChannel(channel) ? &irqs_.At(channel)
                                                 : SubdeviceModel::Irq(channel);
    }

  private:
    // Nothing armed, nothing driven; a port without inputs drives every line.
    void PowerOn()
    {
        irqs_.Reset(hasInputs_ ? described_.channels : 0);
        latch_ = 0;
        outputMask_ = hasInputs_ ? 0 : LowBits(described_.channels);
    }

    // The port's lines: driven outputs, and inputs as their source drives them.
    std::uint32_t Lines() const
    {
        const std::uint32_t inputs = source_ ? source_->latch_ & source_->outputMask_ : 0;
        return ((latch_ & outputMask_) | (inputs & ~outputMask_)) & LowBits(described_.channels);
    }

    // Enters or leaves the watchers of the ports whose latch drives its lines.
    void Watch(bool watching)
    {
        auto enter = [&](DigitalPort &port) {
            std::vector<DigitalPort *> &watchers = port.armedWatchers_;
            if (watching)
                watchers.push_back(this);
            else
                watchers.erase(std::find(watchers.begin(), watchers.end(), this));
        };
        enter(*this);
        if (source_ && source_ != this)
            enter(*source_);
    }

    // The latch or the directions changed: the armed interrupts of the
    // ports that see these lines look at them.
    void LinesChanged()
    {
        for (DigitalPort *watcher : armedWatchers_)
            watcher->LookAtLines();
    }

    void LookAtLines()
    {
        const std::uint32_t lines = Lines();
        for (std::size_t c = 0; c < irqs_.All().size(); ++c) {
            IrqState &irq = irqs_.All()[c];
            if (!irq.armed || irq.source == KA_IRQ_SOURCE_DIO_OVER_TEMP)
                continue;
            const int shift = static_cast<int>(c) * irq.widthBits;
            const std::uint32_t now = (lines >> shift) & LowBits(irq.widthBits);
            const std::uint32_t before = irq.lines;
            irq.lines = now;
            if (Fires(irq, before, now)) {
                ++irq.fired;
                irq.lastValue = static_cast<int>(now);
            }
        }
    }

    const bool hasInputs_;
    const bool hasOutputs_;
    DigitalPort *source_ = nullptr; // the port a loopback reads
    std::uint32_t latch_ = 0;
    std::uint32_t outputMask_ = 0; // lines driven as outputs
    Interrupts irqs_;
    std::vector<DigitalPort *> armedWatchers_; // ports with armed interrupts that see these lines
};

// A port is read and written as one 32-bit word.
void CheckDigital(const Subdevice &described, const Place &at)
{
    if (described.channels > kMaxDigitalLines)
        FailRange(Place(at, "channels"), {std::to_string(described.channels), false}, 0,
                  kMaxDigitalLines);
}

std::unique_ptr<SubdeviceModel> MakePort(Boards &boards, int device, int subdevice,
                                         const Subdevice &described)
{
    return std::make_unique<DigitalPort>(boards, device, subdevice, described);
}

} // namespace

const KindInfo &DigitalPortKind()
{
    static const KindInfo kKind{
        {KA_TYPE_DIO, KA_TYPE_DI, KA_TYPE_DO}, MakePort, CheckDigital, [](int type) {
            return type == KA_TYPE_DI ? 0 : kLineOutputs;
        }};
    return kKind;
}

} // namespace sim
