#include "kinds/model.h"

#include "ka_sim.h"

namespace sim
{

int SubdeviceModel::Configure(const SingleConfig &config)
{
    if (int code = CheckChannelAndFlags(config))
        return code;
    return KA_SIM_NOT_SUPPORTED;
}

int SubdeviceModel::Transfer(kaSingleRecord &, Clock::time_point)
{
    return KA_SIM_NOT_SUPPORTED;
}

int SubdeviceModel::ArmIrq(int channel, const IrqRequest &, Clock::time_point)
{
    return HasChannel(channel) ? KA_SIM_NOT_SUPPORTED : KA_SIM_INVALID_CHANNEL;
}

int SubdeviceModel::DisarmIrq(int channel)
{
    return HasChannel(channel) ? KA_SIM_IRQ_NOT_STARTED : KA_SIM_INVALID_CHANNEL;
}

IrqState *SubdeviceModel::Irq(int channel)
{
    static Interrupts none;
    return HasChannel(channel) ? &none.At(channel) : nullptr;
}

Clock::time_point SubdeviceModel::UpdateIrq(IrqState &, Clock::time_point)
{
    return Clock::time_point::max();
}

int SubdeviceModel::ConfigureStream(const StreamRequest &, std::string &)
{
    return KA_SIM_NOT_SUPPORTED;
}

int SubdeviceModel::CheckChannelAndFlags(const SingleConfig &config) const
{
    if (!HasChannel(config.channel))
        return KA_SIM_INVALID_CHANNEL;
    return config.flags == KA_IO_SINGLE_CONFIG_NO_FLAGS ? 0 : KA_SIM_INVALID_FLAGS;
}

IrqState &Interrupts::At(int channel)
{
    static IrqState neverArmed; // nothing writes to an interrupt that is not armed
    return irqs_.empty() ? neverArmed : irqs_[static_cast<std::size_t>(channel)];
}

void Interrupts::MakeRoom()
{
    if (irqs_.empty())
        irqs_.resize(static_cast<std::size_t>(channels_));
}

void Interrupts::Arm(int channel, const IrqRequest &request, Clock::time_point now, IrqState armed)
{
    armed.source = request.source;
    armed.edge = request.edge;
    armed.argument = request.argument;
    armed.start = now;
    armed.armed = true;
    armed.session = NewSession();
    irqs_[static_cast<std::size_t>(channel)] = armed;
    ++armed_;
}

int Interrupts::Disarm(int channel)
{
    IrqState &irq = At(channel);
    if (!irq.armed)
        return KA_SIM_IRQ_NOT_STARTED;
    irq.armed = false;
    --armed_;
    return 0;
}

int EdgeCapability(int edge, int rising, int falling, int any)
{
    switch (edge) {
    case KA_IRQ_EDGE_RISING:
        return rising;
    case KA_IRQ_EDGE_FALLING:
        return falling;
    case KA_IRQ_EDGE_ANY:
        return any;
    default:
        return -1;
    }
}

} // namespace sim
