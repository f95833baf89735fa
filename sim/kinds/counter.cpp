// Counters of the 8254 kind: a mode and a clock set by kaIOSingleConfig, a
// load value written, the count read as it runs down from the load at the
// clock's rate; a counter clocked by its predecessor counts that one's
// periodic output. Three counters serve a pulse-width output.
#include <algorithm>
#include <chrono>

#include "kinds/model.h"
#include "kinds/registry.h"

namespace sim
{
namespace
{

class Counter : public SubdeviceModel
{
  public:
    Counter(Boards &boards, int device, int subdevice, const Subdevice &described)
        : SubdeviceModel(boards, device, subdevice, described)
    {
    }

    void Attach() override
    {
        if (subdevice_ > 0)
            previous_ = dynamic_cast<const Counter *>(&boards_.Model(device_, subdevice_ - 1));
    }

    void Reset() override
    {
        mode_ = -1;
        reference_ = 0;
        load_ = 0;
        loaded_ = {};
        pulseLeader_ = -1;
    }

    int Configure(const SingleConfig &config) override
    {
        static const int kClocks[][2] = {
            {KA_REF_CTR_PREVIOUS, KA_CAPS_CTR_CLK_PREVIOUS},
            {KA_REF_CTR_INTERNAL_1MHZ, KA_CAPS_CTR_CLK_INTERNAL_1MHZ},
            {KA_REF_CTR_INTERNAL_10MHZ, KA_CAPS_CTR_CLK_INTERNAL_10MHZ},
            {KA_REF_CTR_EXTERNAL, KA_CAPS_CTR_CLK_EXTERNAL},
        };
        if (int code = CheckChannelAndFlags(config))
            return code;
        if (config.config < KA_SINGLE_CONFIG_CTR_8254_MODE_0 ||
            config.config > KA_SINGLE_CONFIG_CTR_8254_MODE_5)
            return KA_SIM_INVALID_CONFIG;
        const auto *clock = std::find_if(std::begin(kClocks), std::end(kClocks),
                                         [&](const int *c) { return c[0] == config.reference; });
        if (clock == std::end(kClocks) || !(described_.caps & (*clock)[1]))
            return KA_SIM_INVALID_CONFIG;
        mode_ = config.config - KA_SINGLE_CONFIG_CTR_8254_MODE_0;
        reference_ = config.reference;
        load_ = 0;
        loaded_ = boards_.Now();
        return 0;
    }

    int Transfer(kaSingleRecord &r, Clock::time_point now) override
    {
        if (int code = CheckTransferFlags(r))
            return code;
        if (!HasChannel(r.channel))
            return KA_SIM_INVALID_CHANNEL;
        if (mode_ < 0)
            return KA_SIM_NOT_CONFIGURED;
        if (r.direction == KA_DIR_INPUT) {
            r.value = static_cast<int>(Value(now));
            return 0;
        }
        if (static_cast<std::uint32_t>(r.value) & ~LowBits(Width()))
            return KA_SIM_INVALID_VALUE;
        load_ = static_cast<std::uint32_t>(r.value);
        loaded_ = now;
        return 0;
    }

    int *PulseLeader() override { return &pulseLeader_; }

  private:
    // The counter's width in bits, as the capability gives it.
    int Width() const
    {
        auto it = described_.capArgs.find(KA_CAP_CTR_WIDTH);
        return it != described_.capArgs.end() ? it->second[0] : 16;
    }

    // The counter's clock in Hz.
    double Rate() const
    {
        switch (reference_) {
        case KA_REF_CTR_INTERNAL_1MHZ:
            return 1e6;
        case KA_REF_CTR_INTERNAL_10MHZ:
            return 1e7;
        case KA_REF_CTR_PREVIOUS:
            // Cascaded: the previous counter's output, when it runs periodically.
            if (!previous_ || (previous_->mode_ != 2 && previous_->mode_ != 3) ||
                previous_->load_ == 0)
                return 0.0;
            return previous_->Rate() / previous_->load_;
        default:
            return 0.0; // external clock: no pulses arrive in the simulation
        }
    }

    std::uint32_t Value(Clock::time_point now) const
    {
        const double elapsed = std::chrono::duration<double>(now - loaded_).count();
        const auto ticks = static_cast<long long>(elapsed * Rate());
        const long long modulus = 1LL << std::min(Width(), 32);
        const long long load = load_ ? load_ : modulus;
        if (mode_ == 2 || mode_ == 3) // rate generators reload
            return static_cast<std::uint32_t>(load - ticks % load);
        return static_cast<std::uint32_t>(((load - ticks) % modulus + modulus) % modulus);
    }

    const Counter *previous_ = nullptr; // the counter before it, for a cascade
    int mode_ = -1;                     // 8254 mode 0..5, -1 until configured
    int reference_ = 0;
    std::uint32_t load_ = 0;
    Clock::time_point loaded_{};
    int pulseLeader_ = -1; // the first counter of the pulse output this one serves
};

std::unique_ptr<SubdeviceModel> MakeCounter(Boards &boards, int device, int subdevice,
                                            const Subdevice &described)
{
    return std::make_unique<Counter>(boards, device, subdevice, described);
}

} // namespace

const KindInfo &CounterKind()
{
    static const KindInfo kKind{{KA_TYPE_CTR}, MakeCounter, nullptr, [](int) {
                                    return 0;
                                }};
    return kKind;
}

} // namespace sim
