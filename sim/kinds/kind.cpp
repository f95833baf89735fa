#include "kinds/kind.h"

#include "ka_sim.h"

namespace sim
{
namespace
{

// A type the simulation does not model: it answers, and does nothing.
class UnsupportedKind : public SubdeviceKind
{
  public:
    void reset(const Subdevice &, SubdeviceState &) const override {}
};

} // namespace

int SubdeviceKind::configure(SubdeviceContext &sub, const SingleConfig &config) const
{
    if (int code = checkChannelAndFlags(sub, config))
        return code;
    return KA_SIM_NOT_SUPPORTED;
}

int SubdeviceKind::transfer(SubdeviceContext &, kaSingleRecord &, Clock::time_point) const
{
    return KA_SIM_NOT_SUPPORTED;
}

int SubdeviceKind::armIrq(SubdeviceContext &, int, const IrqRequest &, IrqState &) const
{
    return KA_SIM_NOT_SUPPORTED;
}

Clock::time_point SubdeviceKind::updateIrq(const SubdeviceContext &, IrqState &,
                                           Clock::time_point) const
{
    return Clock::time_point::max();
}

void SubdeviceKind::linesChanged(SubdeviceContext &) const {}

int SubdeviceKind::checkChannelAndFlags(const SubdeviceContext &sub, const SingleConfig &config)
{
    if (config.channel < 0 || config.channel >= sub.described.channels)
        return KA_SIM_INVALID_CHANNEL;
    return config.flags == KA_IO_SINGLE_CONFIG_NO_FLAGS ? 0 : KA_SIM_INVALID_FLAGS;
}

// Adding a kind: its unit in this folder, and its types here.
const SubdeviceKind &subdeviceKind(int type)
{
    static const UnsupportedKind unsupported;
    switch (type) {
    case KA_TYPE_AI:
        return analogInputKind();
    case KA_TYPE_AO:
        return analogOutputKind();
    case KA_TYPE_DIO:
    case KA_TYPE_DI:
    case KA_TYPE_DO:
        return digitalKind(type);
    case KA_TYPE_CTR:
        return counterKind();
    case KA_TYPE_EXT_IRQ:
        return externalIrqKind();
    default:
        return unsupported;
    }
}

int edgeCapability(int edge, int rising, int falling, int any)
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
