// External interrupt inputs: armed for an edge, they fire at the rate the
// system description gives (none without one).
#include <chrono>

#include "ka_sim.h"
#include "kinds/kind.h"

namespace sim
{
namespace
{

class ExternalInterrupt : public SubdeviceKind
{
  public:
    void Reset(const Subdevice &described, SubdeviceState &state) const override
    {
        state.irqs.resize(described.channels);
    }

    int ArmIrq(SubdeviceContext &sub, int, const IrqRequest &request, IrqState &) const override
    {
        const int needed = EdgeCapability(request.edge, KA_CAPS_EXT_IRQ_EDGE_RISING,
                                          KA_CAPS_EXT_IRQ_EDGE_FALLING, KA_CAPS_EXT_IRQ_EDGE_ANY);
        if (needed < 0 || !(sub.described.caps & needed))
            return KA_SIM_INVALID_CONFIG;
        return request.flags == KA_IO_IRQ_START_NO_FLAGS ? 0 : KA_SIM_INVALID_FLAGS;
    }

    Clock::time_point UpdateIrq(const SubdeviceContext &sub, IrqState &irq,
                                Clock::time_point now) const override
    {
        const double rate = sub.described.irqRateHz;
        if (rate <= 0)
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
};

} // namespace

const SubdeviceKind &ExternalIrqKind()
{
    static const ExternalInterrupt kKind;
    return kKind;
}

} // namespace sim
