// Counters of the 8254 kind: a mode and a clock set by kaIOSingleConfig, a
// load value written, the count read as it runs down from the load at the
// clock's rate; a counter clocked by its predecessor counts that one's
// periodic output.
#include <algorithm>
#include <chrono>

#include "ka_sim.h"
#include "kinds/kind.h"

namespace sim
{
namespace
{

// The counter's width in bits, as the capability gives it.
int CounterWidth(const Subdevice &described)
{
    auto it = described.capArgs.find(KA_CAP_CTR_WIDTH);
    return it != described.capArgs.end() ? it->second[0] : 16;
}

// The counter's clock in Hz.
double CounterRate(const Boards &boards, int device, int subdevice)
{
    const SubdeviceState &state = boards.State(device, subdevice);
    switch (state.counterReference) {
    case KA_REF_CTR_INTERNAL_1MHZ:
        return 1e6;
    case KA_REF_CTR_INTERNAL_10MHZ:
        return 1e7;
    case KA_REF_CTR_PREVIOUS: {
        // Cascaded: the previous counter's output, when it runs periodically.
        if (subdevice == 0 || boards.Described(device, subdevice - 1).type != KA_TYPE_CTR)
            return 0.0;
        const SubdeviceState &previous = boards.State(device, subdevice - 1);
        if ((previous.counterMode != 2 && previous.counterMode != 3) || previous.counterLoad == 0)
            return 0.0;
        return CounterRate(boards, device, subdevice - 1) / previous.counterLoad;
    }
    default:
        return 0.0; // external clock: no pulses arrive in the simulation
    }
}

std::uint32_t CounterValue(const SubdeviceContext &sub, Clock::time_point now)
{
    const SubdeviceState &state = sub.state;
    const double elapsed = std::chrono::duration<double>(now - state.counterLoaded).count();
    const auto ticks =
        static_cast<long long>(elapsed * CounterRate(sub.boards, sub.device, sub.subdevice));
    const long long modulus = 1LL << std::min(CounterWidth(sub.described), 32);
    const long long load = state.counterLoad ? state.counterLoad : modulus;
    if (state.counterMode == 2 || state.counterMode == 3) // rate generators reload
        return static_cast<std::uint32_t>(load - ticks % load);
    return static_cast<std::uint32_t>(((load - ticks) % modulus + modulus) % modulus);
}

class Counter : public SubdeviceKind
{
  public:
    void Reset(const Subdevice &, SubdeviceState &) const override {}

    int Configure(SubdeviceContext &sub, const SingleConfig &config) const override
    {
        static const int kClocks[][2] = {
            {KA_REF_CTR_PREVIOUS, KA_CAPS_CTR_CLK_PREVIOUS},
            {KA_REF_CTR_INTERNAL_1MHZ, KA_CAPS_CTR_CLK_INTERNAL_1MHZ},
            {KA_REF_CTR_INTERNAL_10MHZ, KA_CAPS_CTR_CLK_INTERNAL_10MHZ},
            {KA_REF_CTR_EXTERNAL, KA_CAPS_CTR_CLK_EXTERNAL},
        };
        if (int code = CheckChannelAndFlags(sub, config))
            return code;
        if (config.config < KA_SINGLE_CONFIG_CTR_8254_MODE_0 ||
            config.config > KA_SINGLE_CONFIG_CTR_8254_MODE_5)
            return KA_SIM_INVALID_CONFIG;
        const auto *clock = std::find_if(std::begin(kClocks), std::end(kClocks),
                                         [&](const int *c) { return c[0] == config.reference; });
        if (clock == std::end(kClocks) || !(sub.described.caps & (*clock)[1]))
            return KA_SIM_INVALID_CONFIG;
        SubdeviceState &state = sub.state;
        state.counterMode = config.config - KA_SINGLE_CONFIG_CTR_8254_MODE_0;
        state.counterReference = config.reference;
        state.counterLoad = 0;
        state.counterLoaded = Clock::now();
        return 0;
    }

    int Transfer(SubdeviceContext &sub, kaSingleRecord &r, Clock::time_point now) const override
    {
        if (int code = CheckTransferFlags(r))
            return code;
        if (r.channel < 0 || r.channel >= sub.described.channels)
            return KA_SIM_INVALID_CHANNEL;
        SubdeviceState &state = sub.state;
        if (state.counterMode < 0)
            return KA_SIM_NOT_CONFIGURED;
        if (r.direction == KA_DIR_INPUT) {
            r.value = static_cast<int>(CounterValue(sub, now));
            return 0;
        }
        if (static_cast<std::uint32_t>(r.value) & ~LowBits(CounterWidth(sub.described)))
            return KA_SIM_INVALID_VALUE;
        state.counterLoad = static_cast<std::uint32_t>(r.value);
        state.counterLoaded = now;
        return 0;
    }
};

} // namespace

const SubdeviceKind &CounterKind()
{
    static const Counter kKind;
    return kKind;
}

} // namespace sim
