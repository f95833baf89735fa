#include "boards.h"

#include <algorithm>
#include <cmath>

#include "ka_sim.h"
#include "kinds/kind.h"
#include "lookup.h"

namespace sim
{
namespace
{

constexpr double kPi = 3.14159265358979323846;

long long ArmedCount(const SubdeviceState &state)
{
    return std::count_if(state.irqs.begin(), state.irqs.end(),
                         [](const IrqState &irq) { return irq.armed; });
}

} // namespace

double ToPhysical(const Range &range, long long digital)
{
    return range.min + static_cast<double>(digital) * (range.max - range.min) / range.maxData;
}

Boards::Boards(const System &system) : system_(&system)
{
    devices_.resize(system.devices.size());
    for (size_t d = 0; d < system.devices.size(); ++d) {
        devices_[d].resize(system.devices[d].subdevices.size());
        ResetDevice(static_cast<int>(d));
    }
}

const Subdevice &Boards::Described(int device, int subdevice) const
{
    return system_->devices[device].subdevices[subdevice];
}

SubdeviceContext Boards::Context(int device, int subdevice)
{
    return {*this, device, subdevice, Described(device, subdevice), devices_[device][subdevice]};
}

void Boards::ResetSubdevice(int device, int subdevice)
{
    const Subdevice &sub = Described(device, subdevice);
    const SubdeviceKind &kind = KindOf(sub.type);
    // Channel settings and interrupts only where the kind has them: a large
    // system holds many subdevices.
    SubdeviceState fresh;
    fresh.kind = &kind;
    kind.Reset(sub, fresh);
    // Only this subdevice's interrupts leave the count: a recount of all
    // would make setting up a large system quadratic.
    SubdeviceState &state = devices_[device][subdevice];
    if (state.kind && state.kind->WatchesLines())
        armedLineIrqs_ -= static_cast<int>(ArmedCount(state));
    state = std::move(fresh);
}

void Boards::ResetDevice(int device)
{
    for (size_t s = 0; s < devices_[device].size(); ++s)
        ResetSubdevice(device, static_cast<int>(s));
}

void Boards::DisarmAll()
{
    for (auto &device : devices_)
        for (auto &sub : device)
            for (IrqState &irq : sub.irqs)
                irq.armed = false;
    armedLineIrqs_ = 0;
}

void Boards::StopStreams(Clock::time_point now)
{
    for (auto &device : devices_)
        for (auto &sub : device) {
            sub.stream.Update(now);
            sub.stream.Stop(now);
        }
}

int Boards::Configure(int device, int subdevice, const SingleConfig &config)
{
    SubdeviceContext sub = Context(device, subdevice);
    return sub.state.kind->Configure(sub, config);
}

int Boards::Transfer(kaSingleRecord &record, Clock::time_point now)
{
    // A record names its device and subdevice itself; an unplugged device is
    // named before a subdevice it lacks.
    const Device *d = nullptr;
    if (int code = FindDevice(*system_, record.device, d))
        return code;
    if (!d->plugged)
        return KA_SIM_DEVICE_UNPLUGGED;
    if (!HasSubdevice(*d, record.subdevice))
        return KA_SIM_INVALID_SUBDEVICE;
    if (record.direction != KA_DIR_INPUT && record.direction != KA_DIR_OUTPUT)
        return KA_SIM_INVALID_DIRECTION;
    SubdeviceContext sub{*this, record.device, record.subdevice, d->subdevices[record.subdevice],
                         devices_[record.device][record.subdevice]};
    return sub.state.kind->Transfer(sub, record, now);
}

double Boards::AnalogInput(int device, int subdevice, int channel, Clock::time_point at) const
{
    const Subdevice &sub = Described(device, subdevice);
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
        const Subdevice &source = Described(s.device, s.subdevice);
        const ChannelState &out = devices_[s.device][s.subdevice].channels[s.channel];
        const Range &range = source.ranges[out.range];
        return out.output < 0 ? 0.0 : ToPhysical(range, out.output);
    }
    }
    return 0.0;
}

std::uint32_t Boards::Lines(int device, int subdevice) const
{
    const Subdevice &sub = Described(device, subdevice);
    const SubdeviceState &state = devices_[device][subdevice];
    std::uint32_t inputs = 0;
    if (sub.loopback.Present()) {
        const SubdeviceState &source = devices_[sub.loopback.device][sub.loopback.subdevice];
        inputs = source.outputs & source.outputMask;
    }
    return ((state.outputs & state.outputMask) | (inputs & ~state.outputMask)) &
           LowBits(sub.channels);
}

int Boards::IrqStart(int device, int subdevice, int channel, const IrqRequest &request)
{
    SubdeviceContext sub = Context(device, subdevice);
    if (channel < 0 || channel >= sub.described.channels)
        return KA_SIM_INVALID_CHANNEL;
    if (sub.state.irqs.empty())
        return KA_SIM_NOT_SUPPORTED;
    IrqState &irq = sub.state.irqs[channel];
    if (irq.armed)
        return KA_SIM_BUSY;
    IrqState armed;
    armed.source = request.source;
    armed.edge = request.edge;
    armed.argument = request.argument;
    armed.start = Clock::now();
    if (int code = sub.state.kind->ArmIrq(sub, channel, request, armed))
        return code;
    armed.armed = true;
    armed.session = ++sessions_;
    irq = armed;
    CountArmedLineIrqs();
    return 0;
}

int Boards::IrqStop(int device, int subdevice, int channel)
{
    IrqState *found = Irq(device, subdevice, channel);
    if (!found)
        return KA_SIM_INVALID_CHANNEL;
    if (!found->armed)
        return KA_SIM_IRQ_NOT_STARTED;
    found->armed = false;
    CountArmedLineIrqs();
    return 0;
}

IrqState *Boards::Irq(int device, int subdevice, int channel)
{
    if (device < 0 || device >= static_cast<int>(devices_.size()) || subdevice < 0 ||
        subdevice >= static_cast<int>(devices_[device].size()) || channel < 0 ||
        channel >= Described(device, subdevice).channels)
        return nullptr;
    std::vector<IrqState> &irqs = devices_[device][subdevice].irqs;
    return irqs.empty() ? &neverArmed_ : &irqs[channel];
}

Clock::time_point Boards::UpdateIrq(int device, int subdevice, IrqState &irq, Clock::time_point now)
{
    SubdeviceContext sub = Context(device, subdevice);
    return sub.state.kind->UpdateIrq(sub, irq, now);
}

void Boards::CountArmedLineIrqs()
{
    armedLineIrqs_ = 0;
    for (const auto &device : devices_)
        for (const SubdeviceState &state : device)
            if (!state.irqs.empty() && state.kind->WatchesLines())
                armedLineIrqs_ += static_cast<int>(ArmedCount(state));
}

void Boards::LookAtArmedLineIrqs()
{
    for (size_t d = 0; d < devices_.size(); ++d) {
        for (size_t s = 0; s < devices_[d].size(); ++s) {
            if (devices_[d][s].irqs.empty())
                continue;
            SubdeviceContext sub = Context(static_cast<int>(d), static_cast<int>(s));
            sub.state.kind->LinesChanged(sub);
        }
    }
}

} // namespace sim
