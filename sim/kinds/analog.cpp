// Analog input and analog output: a range and a reference per channel. An
// input reads the physical value its channel's signal gives at the instant
// of the conversion; an output keeps the value last written, or the value
// its stream put out last, and loopback signals read it back. Streaming
// subdevices run the stream engine (streams.h): an input makes the values
// it is read, an output takes values into the engine's buffer.
#include <chrono>
#include <cmath>
#include <map>
#include <memory>

#include "kinds/model.h"
#include "kinds/registry.h"
#include "system_checks.h"

namespace sim
{
namespace
{

constexpr double kPi = 3.14159265358979323846;

double Seconds(Clock::time_point at)
{
    return std::chrono::duration<double>(at.time_since_epoch()).count();
}

// The value of a periodic signal at a phase, in cycles from 0 to 1.
double Periodic(const Signal &s, double phase)
{
    switch (s.kind) {
    case Signal::Kind::Sine:
        return s.value + s.amplitude * std::sin(2 * kPi * phase);
    case Signal::Kind::Square:
        return s.value + (phase < 0.5 ? s.amplitude : -s.amplitude);
    default: // sawtooth: from the offset's -amplitude up to +amplitude
        return s.value + s.amplitude * (2 * phase - 1);
    }
}

struct ChannelState {
    int range = 0;
    int reference = 0;
    int output = -1; // analog output: digital value last written, -1 for none yet
    Clock::time_point written{};
};

class Analog : public SubdeviceModel
{
  public:
    // The ground reference a channel starts with, the one other reference it
    // may take (0 for none), the capability of a synchronous start, the
    // capability naming the FIFO size and the stream flags the kind takes.
    struct Traits {
        int ground;
        int otherReference;
        int simultaneousCap;
        int fifoCap;
        int streamFlags;
    };

    // Only a streaming subdevice has a stream.
    Analog(Boards &boards, int device, int subdevice, const Subdevice &described,
           const Traits &traits, const SampleSource *source)
        : SubdeviceModel(boards, device, subdevice, described),
          stream_(described.subtype == KA_SUBTYPE_STREAMING ? std::make_unique<Stream>(source)
                                                            : nullptr),
          traits_(traits)
    {
        powerOn_.reference = traits.ground;
    }

    void Reset() override
    {
        channels_ = {};
        if (stream_)
            stream_->Reset();
    }

    void Quiesce() override
    {
        if (stream_ && stream_->Configured())
            stream_->Stop(boards_.Now());
    }

    int Configure(const SingleConfig &config) override
    {
        if (int code = CheckChannelAndFlags(config))
            return code;
        if (config.config < 0 || config.config >= static_cast<int>(described_.ranges.size()))
            return KA_SIM_INVALID_RANGE;
        if (!TakesReference(config.reference))
            return KA_SIM_INVALID_CONFIG;
        if (int code = CheckSingleTrigger(config.trigChannel, config.trigType))
            return code;
        ChannelState &c = Settable(config.channel);
        c.range = config.config;
        c.reference = config.reference ? config.reference : c.reference;
        return 0;
    }

    Stream *Streaming() override { return stream_.get(); }

    int ConfigureStream(const StreamRequest &r, std::string &reason) override
    {
        if (stream_->Running())
            return KA_SIM_BUSY;
        if (int loss = stream_->ReportLoss())
            return loss;
        if (r.flags & ~traits_.streamFlags)
            return KA_SIM_INVALID_FLAGS;
        if (r.count <= 0)
            return KA_SIM_INVALID_COUNT;
        if (!r.channels)
            return KA_SIM_INVALID_POINTER;
        std::vector<StreamChannel> list;
        list.reserve(static_cast<std::size_t>(r.count));
        for (int i = 0; i < r.count; ++i) {
            const kaStreamConfigRecord &c = r.channels[i];
            if (!HasChannel(c.channel))
                return KA_SIM_INVALID_CHANNEL;
            if (c.streamConfig < 0 || c.streamConfig >= static_cast<int>(described_.ranges.size()))
                return KA_SIM_INVALID_RANGE;
            if (!TakesReference(c.reference))
                return KA_SIM_INVALID_CONFIG;
            if (c.flags != KA_IO_STREAM_CONFIG_TYPE_NO_FLAGS)
                return KA_SIM_INVALID_FLAGS;
            list.push_back({c.channel, c.streamConfig});
        }
        const int fifo = FifoSize();
        if (r.fifoThreshold < 0 || r.fifoThreshold > fifo) {
            reason = "FIFO threshold " + std::to_string(r.fifoThreshold) +
                     " is beyond the FIFO of " + std::to_string(fifo) + " values";
            return KA_SIM_INVALID_VALUE;
        }
        return stream_->Configure(std::move(list), r.trigger, described_.bufferValues,
                                  (r.flags & KA_IO_STREAM_CONFIG_WRAPAROUND) != 0, reason);
    }

  protected:
    // The range of a channel a transfer names, or the code why there is none.
    int ChannelRange(const kaSingleRecord &record, const Range *&range) const
    {
        if (int code = CheckTransferFlags(record))
            return code;
        if (!HasChannel(record.channel))
            return KA_SIM_INVALID_CHANNEL;
        if (described_.ranges.empty())
            return KA_SIM_NOT_CONFIGURED;
        range = &described_.ranges[static_cast<std::size_t>(Channel(record.channel).range)];
        return 0;
    }

    // A channel's settings; a subdevice holds them once one was set.
    const ChannelState &Channel(int channel) const
    {
        return channels_.empty() ? powerOn_ : channels_[static_cast<std::size_t>(channel)];
    }
    ChannelState &Settable(int channel)
    {
        if (channels_.empty())
            channels_.assign(static_cast<std::size_t>(described_.channels), powerOn_);
        return channels_[static_cast<std::size_t>(channel)];
    }

    const std::unique_ptr<Stream> stream_;

  private:
    bool TakesReference(int reference) const
    {
        return reference == 0 || reference == traits_.ground ||
               (traits_.otherReference && reference == traits_.otherReference);
    }

    // Software or no trigger on the default channel is all single values
    // know; a synchronous start needs the simultaneous-trigger capability.
    int CheckSingleTrigger(int trigChannel, int trigType) const
    {
        if (trigType != KA_TRIG_TYPE_NONE && trigType != KA_TRIG_TYPE_SW)
            return KA_SIM_INVALID_TRIGGER;
        if (trigChannel == 0 || trigChannel == KA_TRIG_CHAN_DEFAULT)
            return 0;
        if (trigChannel == KA_TRIG_CHAN_SYNCHRONOUS && (described_.caps & traits_.simultaneousCap))
            return 0;
        return KA_SIM_INVALID_TRIGGER;
    }

    int FifoSize() const
    {
        auto it = described_.capArgs.find(traits_.fifoCap);
        return it == described_.capArgs.end() || it->second.empty() ? 0 : it->second[0];
    }

    const Traits &traits_;
    ChannelState powerOn_;
    std::vector<ChannelState> channels_;
};

const Analog::Traits kInputTraits = {KA_REF_AI_GROUND, KA_REF_AI_DIFFERENTIAL,
                                     KA_CAPS_AI_TRIG_SIMULTANEOUS, KA_CAP_AI_FIFO_SIZE,
                                     KA_IO_STREAM_CONFIG_SAMPLE_AND_HOLD};
const Analog::Traits kOutputTraits = {KA_REF_AO_GROUND, 0, KA_CAPS_AO_TRIG_SIMULTANEOUS,
                                      KA_CAP_AO_FIFO_SIZE, KA_IO_STREAM_CONFIG_WRAPAROUND};

class AnalogOutput : public Analog
{
  public:
    AnalogOutput(Boards &boards, int device, int subdevice, const Subdevice &described)
        : Analog(boards, device, subdevice, described, kOutputTraits, nullptr)
    {
    }

    int Transfer(kaSingleRecord &r, Clock::time_point now) override
    {
        const Range *range = nullptr;
        if (int code = ChannelRange(r, range))
            return code;
        if (r.direction != KA_DIR_OUTPUT)
            return KA_SIM_INVALID_DIRECTION;
        if (r.value < 0 || r.value > range->maxData)
            return KA_SIM_INVALID_VALUE;
        ChannelState &c = Settable(r.channel);
        c.output = r.value;
        c.written = now;
        return 0;
    }

    // The physical value a channel puts out at an instant: what was written
    // last, by a single transfer or by the stream.
    double Level(int channel, Clock::time_point at) const
    {
        const ChannelState &single = Channel(channel);
        if (std::optional<PutOut> streamed =
                stream_ ? stream_->LastPutOut(channel, at) : std::nullopt)
            if (single.output < 0 || streamed->at > single.written)
                return ToPhysical(described_.ranges[static_cast<std::size_t>(streamed->range)],
                                  streamed->value);
        return single.output < 0
                   ? 0.0
                   : ToPhysical(described_.ranges[static_cast<std::size_t>(single.range)],
                                single.output);
    }
};

class AnalogInput : public Analog, private SampleSource
{
  public:
    AnalogInput(Boards &boards, int device, int subdevice, const Subdevice &described)
        : Analog(boards, device, subdevice, described, kInputTraits, this)
    {
    }

    void Attach() override
    {
        for (const auto &[channel, signal] : described_.signals)
            if (signal.kind == Signal::Kind::Loopback)
                loopbacks_[channel] = dynamic_cast<const AnalogOutput *>(
                    &boards_.Model(signal.device, signal.subdevice));
    }

    int Transfer(kaSingleRecord &r, Clock::time_point now) override
    {
        const Range *range = nullptr;
        if (int code = ChannelRange(r, range))
            return code;
        if (r.direction != KA_DIR_INPUT)
            return KA_SIM_INVALID_DIRECTION;
        r.value = ToDigital(*range, Input(r.channel, now));
        return 0;
    }

  private:
    // The physical value a channel sees at an instant.
    double Input(int channel, Clock::time_point at) const
    {
        auto it = described_.signals.find(channel);
        if (it == described_.signals.end())
            return 0.0;
        const Signal &s = it->second;
        switch (s.kind) {
        case Signal::Kind::Constant:
            return s.value;
        case Signal::Kind::Loopback:
            return loopbacks_.at(channel)->Level(s.channel, at);
        default: {
            const double cycles = s.frequency * Seconds(at);
            return Periodic(s, cycles - std::floor(cycles));
        }
        }
    }

    void Sample(const StreamChannel &c, Clock::time_point start, long long first, long long step,
                long long count, int *out, long long stride) const override
    {
        const Range &range = described_.ranges[static_cast<std::size_t>(c.range)];
        auto it = described_.signals.find(c.channel);
        const Signal *s = it == described_.signals.end() ? nullptr : &it->second;
        if (!s || s->kind == Signal::Kind::Constant) {
            const int value = ToDigital(range, s ? s->value : 0.0);
            for (long long k = 0; k < count; ++k)
                out[k * stride] = value;
        } else if (s->kind == Signal::Kind::Loopback) {
            const AnalogOutput &source = *loopbacks_.at(c.channel);
            for (long long k = 0; k < count; ++k)
                out[k * stride] =
                    ToDigital(range, source.Level(s->channel, TickTime(start, first + k * step)));
        } else {
            // The phase in cycles: whole cycles of the start dropped first, so
            // that the steps keep their precision.
            const double startCycles = s->frequency * Seconds(start);
            const double phase0 = startCycles - std::floor(startCycles) +
                                  s->frequency * static_cast<double>(first) / kTicksPerSecond;
            const double phaseStep = s->frequency * static_cast<double>(step) / kTicksPerSecond;
            for (long long k = 0; k < count; ++k) {
                const double phase = phase0 + static_cast<double>(k) * phaseStep;
                out[k * stride] = ToDigital(range, Periodic(*s, phase - std::floor(phase)));
            }
        }
    }

    std::map<int, const AnalogOutput *> loopbacks_; // channel -> the output its signal reads
};

// Both analog kinds need a range to convert with.
void CheckAnalog(const Subdevice &described, const Place &at)
{
    if (described.ranges.empty())
        Fail(at, "an analog subdevice needs at least one range");
}

template <class Model>
std::unique_ptr<SubdeviceModel> Make(Boards &boards, int device, int subdevice,
                                     const Subdevice &described)
{
    return std::make_unique<Model>(boards, device, subdevice, described);
}

} // namespace

const KindInfo &AnalogInputKind()
{
    static const KindInfo kKind{{KA_TYPE_AI}, Make<AnalogInput>, CheckAnalog, [](int) {
                                    return 0;
                                }};
    return kKind;
}

const KindInfo &AnalogOutputKind()
{
    static const KindInfo kKind{{KA_TYPE_AO}, Make<AnalogOutput>, CheckAnalog, [](int) {
                                    return int{kAnalogOutputs};
                                }};
    return kKind;
}

} // namespace sim
