// External interrupt inputs: armed for an edge, they fire at the rate the
// system description gives (none without one).
#include <chrono>

#include "kinds/model.h"
#include "kinds/registry.h"

namespace sim
{
namespace
{

class ExternalInterrupt : public SubdeviceModel
{
  public:
    ExternalInterrupt(Boards &boards, int device, int subdevice, const Subdevice &described)
        : SubdeviceModel(boards, device, subdevice, described)
    {
        ExternalInterrupt::Reset();
    }

    void Reset() override { irqs_.Reset(described_.channels); }
    void Quiesce() override { Reset(); }

    int ArmIrq(int channel, const IrqRequest &request, Clock::time_point now) override
    {
        if (!HasChannel(channel))
            return KA_SIM_INVALID_CHANNEL;
        if (irqs_.At(channel).armed)
            return KA_SIM_BUSY;
        const int needed = EdgeCapability(request.edge, KA_CAPS_EXT_IRQ_EDGE_RISING,
                                          KA_CAPS_EXT_IRQ_EDGE_FALLING, KA_CAPS_EXT_IRQ_EDGE_ANY);
        if (needed < 0 || !(described_.caps & needed))
            return KA_SIM_INVALID_CONFIG;
        if (request.flags != KA_IO_IRQ_START_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        irqs_.MakeRoom();
        irqs_.Arm(channel, request, now, IrqState());
        return 0;
    }

    int DisarmIrq(int channel) override
    {
        return HasChannel(channel) ? irqs_.Disarm(channel) : KA_SIM_INVALID_CHANNEL;
    }

    IrqState *Irq(int channel) override
    {
        return HasChannel(channel) ? &irqs_.At(channel) : nullptr;
    }

    Clock::time_point UpdateIrq(IrqState &irq, Clock::time_point now) override
    {
        const double rate = described_.irqRateHz;
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
        // Rounded up, so that the interrupt has come when the clock shows it.
        const auto next = std::chrono::duration<double>((irq.fired + 1) / rate);
        return irq.start + std::chrono::ceil<Clock::duration>(next) + Clock::duration(1);
    }

  private:
    Interrupts irqs_;
};

std::unique_ptr<SubdeviceModel> MakeExternalInterrupt(Boards &boards, int device, int subdevice,
                                                      const Subdevice &described)
{
    return std::make_unique<ExternalInterrupt>(boards, device, subdevice, described);
}

} // namespace

const KindInfo &ExternalIrqKind()
{
    static const KindInfo kKind{{KA_TYPE_EXT_IRQ}, MakeExternalInterrupt, nullptr, [](int) {
                                    return 0;
                                }};
    return kKind;
}

} // namespace sim
