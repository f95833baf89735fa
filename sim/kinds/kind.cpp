#include "kinds/kind.h"

#include "ka_sim.h"

namespace sim
{
namespace
{

// A type the simulation does not model: it answers, and does nothing.
class Unsupported : public SubdeviceKind
{
  public:
    void Reset(const Subdevice &, SubdeviceState &) const override {}
};

} // namespace

int SubdeviceKind::Configure(SubdeviceContext &sub, const SingleConfig &config) const
{
    if (int code = CheckChannelAndFlags(sub, config))
        return code;
    return KA_SIM_NOT_SUPPORTED;
}

int SubdeviceKind::Transfer(SubdeviceContext &, kaSingleRecord &, Clock::time_point) const
{
    return KA_SIM_NOT_SUPPORTED;
}

int SubdeviceKind::ArmIrq(SubdeviceContext &, int, const IrqRequest &, IrqState &) const
{
    return KA_SIM_NOT_SUPPORTED;
}

Clock::time_point SubdeviceKind::UpdateIrq(const SubdeviceContext &, IrqState &,
                                           Clock::time_point) const
{
    return Clock::time_point::max();
}

void SubdeviceKind::LinesChanged(SubdeviceContext &) const {}

int SubdeviceKind::CheckChannelAndFlags(const SubdeviceContext &sub, const SingleConfig &config)
{
    if (config.channel < 0 || config.channel >= sub.described.channels)
        return KA_SIM_INVALID_CHANNEL;
    return config.flags == KA_IO_SINGLE_CONFIG_NO_FLAGS ? 0 : KA_SIM_INVALID_FLAGS;
}

// Adding a kind: its unit in this folder, and its types here.
const SubdeviceKind &KindOf(int type)
{
    static const Unsupported kUnsupported;
    switch (type) {
    case KA_TYPE_AI:
        return AnalogInputKind();
    case KA_TYPE_AO:
        return AnalogOutputKind();
    case KA_TYPE_DIO:
    case KA_TYPE_DI:
    case KA_TYPE_DO:
        return DigitalKind(type);
    case KA_TYPE_CTR:
        return CounterKind();
    case KA_TYPE_EXT_IRQ:
        return ExternalIrqKind();
    default:
        return kUnsupported;
    }
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
