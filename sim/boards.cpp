#include "boards.h"

#include <algorithm>
#include <cmath>

#include "ka_sim.h"

namespace sim
{
namespace
{

constexpr double kPi = 3.14159265358979323846;

std::uint32_t lowBits(int bits)
{
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

// Width in lines that a width flag selects: 0 means the whole port.
int widthFromFlags(int flags, int portLines)
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
std::uint32_t channelMask(int channel, int width, int portLines)
{
    if (width <= 0 || channel < 0 || (static_cast<long long>(channel) + 1) * width > portLines)
        return 0;
    return lowBits(width) << (channel * width);
}

// The direction capability a width of direction setting needs.
int directionCapability(int width)
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

bool isDigital(int type)
{
    return type == KA_TYPE_DIO || type == KA_TYPE_DI || type == KA_TYPE_DO;
}

bool isAnalog(int type)
{
    return type == KA_TYPE_AI || type == KA_TYPE_AO;
}

bool canInterrupt(int type)
{
    return type == KA_TYPE_EXT_IRQ || type == KA_TYPE_DIO || type == KA_TYPE_DI;
}

int checkRange(const Subdevice &sub, int range)
{
    return range >= 0 && range < static_cast<int>(sub.ranges.size()) ? 0 : KA_SIM_INVALID_RANGE;
}

// Software or no trigger on the default channel is all single values know;
// a synchronous start needs the subdevice's simultaneous-trigger capability.
int checkSingleTrigger(const Subdevice &sub, int trigChannel, int trigType)
{
    if (trigType != KA_TRIG_TYPE_NONE && trigType != KA_TRIG_TYPE_SW)
        return KA_SIM_INVALID_TRIGGER;
    const int simultaneous =
        sub.type == KA_TYPE_AI ? KA_CAPS_AI_TRIG_SIMULTANEOUS : KA_CAPS_AO_TRIG_SIMULTANEOUS;
    if (trigChannel == 0 || trigChannel == KA_TRIG_CHAN_DEFAULT)
        return 0;
    if (trigChannel == KA_TRIG_CHAN_SYNCHRONOUS && (sub.caps & simultaneous))
        return 0;
    return KA_SIM_INVALID_TRIGGER;
}

int edgeCapability(int type, int edge)
{
    const bool ext = type == KA_TYPE_EXT_IRQ;
    switch (edge) {
    case KA_IRQ_EDGE_RISING:
        return ext ? KA_CAPS_EXT_IRQ_EDGE_RISING : KA_CAPS_DIO_BIT_MASK_IRQ_EDGE_RISING;
    case KA_IRQ_EDGE_FALLING:
        return ext ? KA_CAPS_EXT_IRQ_EDGE_FALLING : KA_CAPS_DIO_BIT_MASK_IRQ_EDGE_FALLING;
    case KA_IRQ_EDGE_ANY:
        return ext ? KA_CAPS_EXT_IRQ_EDGE_ANY : KA_CAPS_DIO_BIT_MASK_IRQ_EDGE_ANY;
    default:
        return -1;
    }
}

} // namespace

double toPhysical(const Range &range, long long digital)
{
    return range.min + static_cast<double>(digital) * (range.max - range.min) / range.maxData;
}

int toDigital(const Range &range, double physical)
{
    const double digital =
        std::round((physical - range.min) * range.maxData / (range.max - range.min));
    if (!(digital > 0)) // also NaN
        return 0;
    return digital >= range.maxData ? range.maxData : static_cast<int>(digital);
}

Boards::Boards(const System &system) : system_(&system)
{
    devices_.resize(system.devices.size());
    for (size_t d = 0; d < system.devices.size(); ++d) {
        devices_[d].resize(system.devices[d].subdevices.size());
        resetDevice(static_cast<int>(d));
    }
}

const Subdevice &Boards::described(int device, int subdevice) const
{
    return system_->devices[device].subdevices[subdevice];
}

int Boards::lookup(int device, int subdevice, const Subdevice *&found) const
{
    if (device < 0 || device >= static_cast<int>(devices_.size()))
        return KA_SIM_INVALID_DEVICE;
    if (!system_->devices[device].plugged)
        return KA_SIM_DEVICE_UNPLUGGED;
    if (subdevice < 0 || subdevice >= static_cast<int>(devices_[device].size()))
        return KA_SIM_INVALID_SUBDEVICE;
    found = &described(device, subdevice);
    return 0;
}

void Boards::resetSubdevice(int device, int subdevice)
{
    const Subdevice &sub = described(device, subdevice);
    // Channel settings and interrupts only where the kind has them: a large
    // system holds many subdevices.
    SubdeviceState fresh;
    if (isAnalog(sub.type))
        fresh.channels.resize(sub.channels);
    if (canInterrupt(sub.type))
        fresh.irqs.resize(sub.channels);
    for (ChannelState &c : fresh.channels)
        c.reference = sub.type == KA_TYPE_AO ? KA_REF_AO_GROUND : KA_REF_AI_GROUND;
    if (sub.type == KA_TYPE_DO)
        fresh.outputMask = lowBits(sub.channels);
    // Only this subdevice's interrupts leave the count: a recount of all
    // would make setting up a large system quadratic.
    SubdeviceState &state = devices_[device][subdevice];
    if (isDigital(sub.type))
        armedDigitalIrqs_ -= static_cast<int>(std::count_if(
            state.irqs.begin(), state.irqs.end(), [](const IrqState &irq) { return irq.armed; }));
    state = std::move(fresh);
}

void Boards::resetDevice(int device)
{
    for (size_t s = 0; s < devices_[device].size(); ++s)
        resetSubdevice(device, static_cast<int>(s));
}

void Boards::disarmAll()
{
    for (auto &device : devices_)
        for (auto &sub : device)
            for (IrqState &irq : sub.irqs)
                irq.armed = false;
    armedDigitalIrqs_ = 0;
}

void Boards::stopStreams(Clock::time_point now)
{
    for (auto &device : devices_)
        for (auto &sub : device) {
            sub.stream.update(now);
            sub.stream.stop(now);
        }
}

int Boards::configure(int device, int subdevice, int channel, int config, int reference,
                      int trigChannel, int trigType, int trigEdge, int flags)
{
    (void)trigEdge; // single values know no edge trigger
    const Subdevice *sub = nullptr;
    if (int code = lookup(device, subdevice, sub))
        return code;
    SubdeviceState &state = devices_[device][subdevice];
    if (isDigital(sub->type)) {
        if (trigType != KA_TRIG_TYPE_NONE && trigType != KA_TRIG_TYPE_SW)
            return KA_SIM_INVALID_TRIGGER;
        const int width = widthFromFlags(flags, sub->channels);
        const std::uint32_t mask = channelMask(channel, width, sub->channels);
        if (width < 0)
            return KA_SIM_INVALID_FLAGS;
        if (!mask)
            return KA_SIM_INVALID_CHANNEL;
        const bool wholePort = width == sub->channels;
        if (!wholePort && !(sub->caps & directionCapability(width)))
            return KA_SIM_INVALID_CONFIG;
        const bool input =
            config == KA_SINGLE_CONFIG_DIO_INPUT || config == KA_SINGLE_CONFIG_DIO_HIGH_IMPEDANCE;
        const bool output =
            config == KA_SINGLE_CONFIG_DIO_OUTPUT ||
            ((config == KA_SINGLE_CONFIG_DIO_SINK || config == KA_SINGLE_CONFIG_DIO_SOURCE) &&
             (sub->caps & KA_CAPS_DIO_SINK_SOURCE));
        if ((!input && !output) || (input && sub->type == KA_TYPE_DO) ||
            (output && sub->type == KA_TYPE_DI))
            return KA_SIM_INVALID_CONFIG;
        state.outputMask = output ? state.outputMask | mask : state.outputMask & ~mask;
        digitalChanged();
        return 0;
    }
    if (channel < 0 || channel >= sub->channels)
        return KA_SIM_INVALID_CHANNEL;
    if (flags != KA_IO_SINGLE_CONFIG_NO_FLAGS)
        return KA_SIM_INVALID_FLAGS;
    switch (sub->type) {
    case KA_TYPE_AI:
    case KA_TYPE_AO: {
        ChannelState &c = state.channels[channel];
        if (int code = checkRange(*sub, config))
            return code;
        const bool ai = sub->type == KA_TYPE_AI;
        if (reference != 0 && reference != (ai ? KA_REF_AI_GROUND : KA_REF_AO_GROUND) &&
            !(ai && reference == KA_REF_AI_DIFFERENTIAL))
            return KA_SIM_INVALID_CONFIG;
        if (int code = checkSingleTrigger(*sub, trigChannel, trigType))
            return code;
        c.range = config;
        c.reference = reference ? reference : c.reference;
        return 0;
    }
    case KA_TYPE_CTR: {
        static const int clocks[][2] = {
            {KA_REF_CTR_PREVIOUS, KA_CAPS_CTR_CLK_PREVIOUS},
            {KA_REF_CTR_INTERNAL_1MHZ, KA_CAPS_CTR_CLK_INTERNAL_1MHZ},
            {KA_REF_CTR_INTERNAL_10MHZ, KA_CAPS_CTR_CLK_INTERNAL_10MHZ},
            {KA_REF_CTR_EXTERNAL, KA_CAPS_CTR_CLK_EXTERNAL},
        };
        if (config < KA_SINGLE_CONFIG_CTR_8254_MODE_0 || config > KA_SINGLE_CONFIG_CTR_8254_MODE_5)
            return KA_SIM_INVALID_CONFIG;
        const auto *clock = std::find_if(std::begin(clocks), std::end(clocks),
                                         [&](const int *c) { return c[0] == reference; });
        if (clock == std::end(clocks) || !(sub->caps & (*clock)[1]))
            return KA_SIM_INVALID_CONFIG;
        state.counterMode = config - KA_SINGLE_CONFIG_CTR_8254_MODE_0;
        state.counterReference = reference;
        state.counterLoad = 0;
        state.counterLoaded = Clock::now();
        return 0;
    }
    default:
        return KA_SIM_NOT_SUPPORTED;
    }
}

int Boards::transfer(kaSingleRecord &r, Clock::time_point now)
{
    const Subdevice *sub = nullptr;
    if (int code = lookup(r.iDevice, r.iSubdevice, sub))
        return code;
    if (r.iDir != KA_DIR_INPUT && r.iDir != KA_DIR_OUTPUT)
        return KA_SIM_INVALID_DIRECTION;
    SubdeviceState &state = devices_[r.iDevice][r.iSubdevice];
    const int ignorable = KA_IO_SINGLE_TYPE_TRIG_SYNCHRONOUS | KA_IO_SINGLE_TYPE_WRITE_NONBLOCKING;
    switch (sub->type) {
    case KA_TYPE_AI:
    case KA_TYPE_AO:
        if (r.iFlags & ~ignorable)
            return KA_SIM_INVALID_FLAGS;
        return transferAnalog(r, *sub, state, now);
    case KA_TYPE_CTR:
        if (r.iFlags & ~ignorable)
            return KA_SIM_INVALID_FLAGS;
        return transferCounter(r, *sub, state, now);
    case KA_TYPE_DIO:
    case KA_TYPE_DI:
    case KA_TYPE_DO:
        return transferDigital(r, *sub, state);
    default:
        return KA_SIM_NOT_SUPPORTED;
    }
}

int Boards::transferAnalog(kaSingleRecord &r, const Subdevice &sub, SubdeviceState &state,
                           Clock::time_point now)
{
    if (r.iChannel < 0 || r.iChannel >= sub.channels)
        return KA_SIM_INVALID_CHANNEL;
    ChannelState &c = state.channels[r.iChannel];
    if (sub.ranges.empty())
        return KA_SIM_NOT_CONFIGURED;
    const Range &range = sub.ranges[c.range];
    if (sub.type == KA_TYPE_AI) {
        if (r.iDir != KA_DIR_INPUT)
            return KA_SIM_INVALID_DIRECTION;
        r.iValue = toDigital(range, analogInput(r.iDevice, r.iSubdevice, r.iChannel, now));
        return 0;
    }
    if (r.iDir != KA_DIR_OUTPUT)
        return KA_SIM_INVALID_DIRECTION;
    if (r.iValue < 0 || r.iValue > range.maxData)
        return KA_SIM_INVALID_VALUE;
    c.output = r.iValue;
    return 0;
}

int Boards::transferDigital(kaSingleRecord &r, const Subdevice &sub, SubdeviceState &state)
{
    const int width = widthFromFlags(r.iFlags & 0xF, sub.channels);
    if (width < 0 || (r.iFlags & ~0xF & ~KA_IO_SINGLE_TYPE_WRITE_NONBLOCKING))
        return KA_SIM_INVALID_FLAGS;
    const std::uint32_t mask = channelMask(r.iChannel, width, sub.channels);
    if (!mask)
        return KA_SIM_INVALID_CHANNEL;
    const int shift = r.iChannel * width;
    if (r.iDir == KA_DIR_INPUT) {
        r.iValue = static_cast<int>((lines(r.iDevice, r.iSubdevice) & mask) >> shift);
        return 0;
    }
    if ((state.outputMask & mask) != mask)
        return KA_SIM_INVALID_DIRECTION;
    const auto value = static_cast<std::uint32_t>(r.iValue);
    if (value & ~lowBits(width))
        return KA_SIM_INVALID_VALUE;
    state.outputs = (state.outputs & ~mask) | (value << shift);
    digitalChanged();
    return 0;
}

double Boards::counterRate(int device, int subdevice) const
{
    const SubdeviceState &state = devices_[device][subdevice];
    switch (state.counterReference) {
    case KA_REF_CTR_INTERNAL_1MHZ:
        return 1e6;
    case KA_REF_CTR_INTERNAL_10MHZ:
        return 1e7;
    case KA_REF_CTR_PREVIOUS: {
        // Cascaded: the previous counter's output, when it runs periodically.
        if (subdevice == 0 || described(device, subdevice - 1).type != KA_TYPE_CTR)
            return 0.0;
        const SubdeviceState &previous = devices_[device][subdevice - 1];
        if ((previous.counterMode != 2 && previous.counterMode != 3) || previous.counterLoad == 0)
            return 0.0;
        return counterRate(device, subdevice - 1) / previous.counterLoad;
    }
    default:
        return 0.0; // external clock: no pulses arrive in the simulation
    }
}

std::uint32_t Boards::counterValue(int device, int subdevice, Clock::time_point now) const
{
    const SubdeviceState &state = devices_[device][subdevice];
    const double elapsed = std::chrono::duration<double>(now - state.counterLoaded).count();
    const auto ticks = static_cast<long long>(elapsed * counterRate(device, subdevice));
    auto width = described(device, subdevice).capArgs.count(KA_CAP_CTR_WIDTH)
                     ? described(device, subdevice).capArgs.at(KA_CAP_CTR_WIDTH)[0]
                     : 16;
    const long long modulus = 1LL << std::min(width, 32);
    const long long load = state.counterLoad ? state.counterLoad : modulus;
    if (state.counterMode == 2 || state.counterMode == 3) // rate generators reload
        return static_cast<std::uint32_t>(load - ticks % load);
    return static_cast<std::uint32_t>(((load - ticks) % modulus + modulus) % modulus);
}

int Boards::transferCounter(kaSingleRecord &r, const Subdevice &sub, SubdeviceState &state,
                            Clock::time_point now)
{
    if (r.iChannel < 0 || r.iChannel >= sub.channels)
        return KA_SIM_INVALID_CHANNEL;
    if (state.counterMode < 0)
        return KA_SIM_NOT_CONFIGURED;
    if (r.iDir == KA_DIR_INPUT) {
        r.iValue = static_cast<int>(counterValue(r.iDevice, r.iSubdevice, now));
        return 0;
    }
    const int width =
        sub.capArgs.count(KA_CAP_CTR_WIDTH) ? sub.capArgs.at(KA_CAP_CTR_WIDTH)[0] : 16;
    if (static_cast<std::uint32_t>(r.iValue) & ~lowBits(width))
        return KA_SIM_INVALID_VALUE;
    state.counterLoad = static_cast<std::uint32_t>(r.iValue);
    state.counterLoaded = now;
    return 0;
}

double Boards::analogInput(int device, int subdevice, int channel, Clock::time_point at) const
{
    const Subdevice &sub = described(device, subdevice);
    auto it = sub.signals.find(channel);
    if (it == sub.signals.end())
        return 0.0;
    const Signal &s = it->second;
    const double t = std::chrono::duration<double>(at.time_since_epoch()).count();
    switch (s.kind) {
    case Signal::Kind::Constant:
        return s.value;
    case Signal::Kind::Sine:
        return s.value + s.amplitude * std::sin(2 * kPi * s.frequency * t);
    case Signal::Kind::Square:
        return s.value + (std::fmod(s.frequency * t, 1.0) < 0.5 ? s.amplitude : -s.amplitude);
    case Signal::Kind::Loopback: {
        const Subdevice &source = described(s.device, s.subdevice);
        const ChannelState &out = devices_[s.device][s.subdevice].channels[s.channel];
        const Range &range = source.ranges[out.range];
        return out.output < 0 ? 0.0 : toPhysical(range, out.output);
    }
    }
    return 0.0;
}

std::uint32_t Boards::lines(int device, int subdevice) const
{
    const Subdevice &sub = described(device, subdevice);
    const SubdeviceState &state = devices_[device][subdevice];
    std::uint32_t inputs = 0;
    if (sub.loopback.present()) {
        const SubdeviceState &source = devices_[sub.loopback.device][sub.loopback.subdevice];
        inputs = source.outputs & source.outputMask;
    }
    return ((state.outputs & state.outputMask) | (inputs & ~state.outputMask)) &
           lowBits(sub.channels);
}

int Boards::irqStart(int device, int subdevice, int channel, int source, int edge, int argument,
                     int flags)
{
    const Subdevice *sub = nullptr;
    if (int code = lookup(device, subdevice, sub))
        return code;
    if (channel < 0 || channel >= sub->channels)
        return KA_SIM_INVALID_CHANNEL;
    if (!canInterrupt(sub->type))
        return KA_SIM_NOT_SUPPORTED;
    IrqState &irq = devices_[device][subdevice].irqs[channel];
    if (irq.armed)
        return KA_SIM_BUSY;
    IrqState armed;
    armed.source = source;
    armed.edge = edge;
    armed.argument = argument;
    armed.start = Clock::now();
    if (sub->type == KA_TYPE_EXT_IRQ) {
        const int needed = edgeCapability(sub->type, edge);
        if (needed < 0 || !(sub->caps & needed))
            return KA_SIM_INVALID_CONFIG;
        if (flags != KA_IO_IRQ_START_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
    } else if (sub->type == KA_TYPE_DIO || sub->type == KA_TYPE_DI) {
        armed.widthBits = widthFromFlags(flags, sub->channels);
        if (armed.widthBits < 0)
            return KA_SIM_INVALID_FLAGS;
        int needed = -1;
        switch (source) {
        case KA_IRQ_SOURCE_DIO_LINE:
            armed.widthBits = 1; // the channel is the line
            needed = edgeCapability(sub->type, edge);
            break;
        case KA_IRQ_SOURCE_DIO_MASK:
            needed = edgeCapability(sub->type, edge);
            break;
        case KA_IRQ_SOURCE_DIO_PATTERN:
            needed = KA_CAPS_DIO_BIT_PATTERN_IRQ;
            break;
        case KA_IRQ_SOURCE_DIO_OVER_TEMP:
            needed = KA_CAPS_DIO_OVER_TEMP_IRQ;
            break;
        }
        if (needed < 0 || !(sub->caps & needed))
            return KA_SIM_INVALID_CONFIG;
        const std::uint32_t mask = channelMask(channel, armed.widthBits, sub->channels);
        if (!mask)
            return KA_SIM_INVALID_CHANNEL;
        armed.lines = (lines(device, subdevice) & mask) >> (channel * armed.widthBits);
    } else {
        return KA_SIM_NOT_SUPPORTED;
    }
    armed.armed = true;
    armed.session = ++sessions_;
    irq = armed;
    countArmedDigitalIrqs();
    return 0;
}

int Boards::irqStop(int device, int subdevice, int channel)
{
    IrqState *found = irq(device, subdevice, channel);
    if (!found)
        return KA_SIM_INVALID_CHANNEL;
    if (!found->armed)
        return KA_SIM_IRQ_NOT_STARTED;
    found->armed = false;
    countArmedDigitalIrqs();
    return 0;
}

IrqState *Boards::irq(int device, int subdevice, int channel)
{
    const Subdevice *sub = nullptr;
    if (lookup(device, subdevice, sub) || channel < 0 || channel >= sub->channels)
        return nullptr;
    std::vector<IrqState> &irqs = devices_[device][subdevice].irqs;
    return irqs.empty() ? &neverArmed_ : &irqs[channel];
}

Clock::time_point Boards::updateIrq(int device, int subdevice, IrqState &irq, Clock::time_point now)
{
    const double rate = described(device, subdevice).irqRateHz;
    if (described(device, subdevice).type != KA_TYPE_EXT_IRQ || rate <= 0)
        return Clock::time_point::max();
    const double elapsed = std::chrono::duration<double>(now - irq.start).count();
    const auto fired = static_cast<long long>(elapsed * rate);
    if (fired > irq.fired) {
        irq.fired = fired;
        // The line is high after a rising edge; with both edges it alternates.
        irq.lastValue = irq.edge == KA_IRQ_EDGE_FALLING ? 0
                        : irq.edge == KA_IRQ_EDGE_ANY   ? static_cast<int>(fired & 1)
                                                        : 1;
    }
    const auto next = std::chrono::duration<double>((irq.fired + 1) / rate);
    return irq.start + std::chrono::duration_cast<Clock::duration>(next);
}

void Boards::countArmedDigitalIrqs()
{
    armedDigitalIrqs_ = 0;
    for (size_t d = 0; d < devices_.size(); ++d)
        for (size_t s = 0; s < devices_[d].size(); ++s)
            for (const IrqState &irq : devices_[d][s].irqs)
                armedDigitalIrqs_ += irq.armed && isDigital(described(d, s).type);
}

void Boards::digitalChanged()
{
    if (armedDigitalIrqs_ == 0)
        return;
    for (size_t d = 0; d < devices_.size(); ++d) {
        for (size_t s = 0; s < devices_[d].size(); ++s) {
            for (size_t c = 0; c < devices_[d][s].irqs.size(); ++c) {
                IrqState &irq = devices_[d][s].irqs[c];
                if (!irq.armed || irq.source == KA_IRQ_SOURCE_DIO_OVER_TEMP ||
                    !isDigital(described(d, s).type))
                    continue;
                const int shift = static_cast<int>(c) * irq.widthBits;
                const std::uint32_t now =
                    (lines(static_cast<int>(d), static_cast<int>(s)) >> shift) &
                    lowBits(irq.widthBits);
                const std::uint32_t before = irq.lines;
                irq.lines = now;
                bool fire = false;
                if (irq.source == KA_IRQ_SOURCE_DIO_PATTERN) {
                    const auto pattern =
                        static_cast<std::uint32_t>(irq.argument) & lowBits(irq.widthBits);
                    fire = now == pattern && before != pattern;
                } else {
                    const std::uint32_t watched = irq.source == KA_IRQ_SOURCE_DIO_LINE
                                                      ? 1u
                                                      : static_cast<std::uint32_t>(irq.argument);
                    const std::uint32_t rising = ~before & now & watched;
                    const std::uint32_t falling = before & ~now & watched;
                    fire = irq.edge == KA_IRQ_EDGE_RISING    ? rising != 0
                           : irq.edge == KA_IRQ_EDGE_FALLING ? falling != 0
                                                             : (rising | falling) != 0;
                }
                if (fire) {
                    ++irq.fired;
                    irq.lastValue = static_cast<int>(now);
                }
            }
        }
    }
}

} // namespace sim
