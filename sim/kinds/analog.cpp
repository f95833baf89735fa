// Analog input and analog output: a range and a reference per channel; an
// input reads the physical value its channel sees, an output keeps the
// digital value last written (which loopback signals read back).
#include "ka_sim.h"
#include "kinds/kind.h"

namespace sim
{
namespace
{

class Analog : public SubdeviceKind
{
  public:
    // The ground reference a channel starts with, the one other reference it
    // may take (0 for none) and the capability of a synchronous start.
    Analog(int ground, int otherReference, int simultaneousCap)
        : ground_(ground), otherReference_(otherReference), simultaneousCap_(simultaneousCap)
    {
    }

    void Reset(const Subdevice &described, SubdeviceState &state) const override
    {
        state.channels.resize(described.channels);
        for (ChannelState &c : state.channels)
            c.reference = ground_;
    }

    int Configure(SubdeviceContext &sub, const SingleConfig &config) const override
    {
        if (int code = CheckChannelAndFlags(sub, config))
            return code;
        if (config.config < 0 || config.config >= static_cast<int>(sub.described.ranges.size()))
            return KA_SIM_INVALID_RANGE;
        const int reference = config.reference;
        if (reference != 0 && reference != ground_ &&
            !(otherReference_ && reference == otherReference_))
            return KA_SIM_INVALID_CONFIG;
        if (int code = CheckSingleTrigger(sub.described, config.trigChannel, config.trigType))
            return code;
        ChannelState &c = sub.state.channels[config.channel];
        c.range = config.config;
        c.reference = reference ? reference : c.reference;
        return 0;
    }

  protected:
    // The range of a channel a transfer names, or the code why there is none.
    static int ChannelRange(const SubdeviceContext &sub, const kaSingleRecord &record,
                            const Range *&range)
    {
        if (int code = CheckTransferFlags(record))
            return code;
        if (record.channel < 0 || record.channel >= sub.described.channels)
            return KA_SIM_INVALID_CHANNEL;
        if (sub.described.ranges.empty())
            return KA_SIM_NOT_CONFIGURED;
        range = &sub.described.ranges[sub.state.channels[record.channel].range];
        return 0;
    }

  private:
    // Software or no trigger on the default channel is all single values
    // know; a synchronous start needs the simultaneous-trigger capability.
    int CheckSingleTrigger(const Subdevice &described, int trigChannel, int trigType) const
    {
        if (trigType != KA_TRIG_TYPE_NONE && trigType != KA_TRIG_TYPE_SW)
            return KA_SIM_INVALID_TRIGGER;
        if (trigChannel == 0 || trigChannel == KA_TRIG_CHAN_DEFAULT)
            return 0;
        if (trigChannel == KA_TRIG_CHAN_SYNCHRONOUS && (described.caps & simultaneousCap_))
            return 0;
        return KA_SIM_INVALID_TRIGGER;
    }

    int ground_;
    int otherReference_;
    int simultaneousCap_;
};

class AnalogInput : public Analog
{
  public:
    AnalogInput() : Analog(KA_REF_AI_GROUND, KA_REF_AI_DIFFERENTIAL, KA_CAPS_AI_TRIG_SIMULTANEOUS)
    {
    }

    int Transfer(SubdeviceContext &sub, kaSingleRecord &r, Clock::time_point now) const override
    {
        const Range *range = nullptr;
        if (int code = ChannelRange(sub, r, range))
            return code;
        if (r.direction != KA_DIR_INPUT)
            return KA_SIM_INVALID_DIRECTION;
        r.value =
            ToDigital(*range, sub.boards.AnalogInput(sub.device, sub.subdevice, r.channel, now));
        return 0;
    }
};

class AnalogOutput : public Analog
{
  public:
    AnalogOutput() : Analog(KA_REF_AO_GROUND, 0, KA_CAPS_AO_TRIG_SIMULTANEOUS) {}

    int Transfer(SubdeviceContext &sub, kaSingleRecord &r, Clock::time_point) const override
    {
        const Range *range = nullptr;
        if (int code = ChannelRange(sub, r, range))
            return code;
        if (r.direction != KA_DIR_OUTPUT)
            return KA_SIM_INVALID_DIRECTION;
        if (r.value < 0 || r.value > range->maxData)
            return KA_SIM_INVALID_VALUE;
        sub.state.channels[r.channel].output = r.value;
        return 0;
    }
};

} // namespace

const SubdeviceKind &AnalogInputKind()
{
    static const AnalogInput kKind;
    return kKind;
}

const SubdeviceKind &AnalogOutputKind()
{
    static const AnalogOutput kKind;
    return kKind;
}

} // namespace sim
