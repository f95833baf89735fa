#include "streams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "boards.h"
#include "ka_sim.h"

namespace sim
{
namespace
{

constexpr long long kUnlimited = std::numeric_limits<long long>::max() / 4;
constexpr long long kFastRingValues = 65536;

long long Ticks(int low, int high)
{
    return static_cast<long long>(static_cast<unsigned long long>(static_cast<unsigned>(high))
                                      << 32 |
                                  static_cast<unsigned>(low));
}

int FifoSize(const Subdevice &sub)
{
    const int selector = sub.type == KA_TYPE_AI ? KA_CAP_AI_FIFO_SIZE : KA_CAP_AO_FIFO_SIZE;
    auto it = sub.capArgs.find(selector);
    return it == sub.capArgs.end() || it->second.empty() ? 0 : it->second[0];
}

bool ValidReference(bool output, int reference)
{
    if (reference == 0)
        return true;
    return output ? reference == KA_REF_AO_GROUND
                  : reference == KA_REF_AI_GROUND || reference == KA_REF_AI_DIFFERENTIAL;
}

} // namespace

int Stream::Configure(const Subdevice &sub, const kaStreamConfigRecord *channels, int count,
                      const kaStreamTriggerRecord &t, int fifoThreshold, int flags)
{
    if (sub.subtype != KA_SUBTYPE_STREAMING || (sub.type != KA_TYPE_AI && sub.type != KA_TYPE_AO))
        return KA_SIM_NOT_SUPPORTED;
    if (state_ == State::Running)
        return KA_SIM_BUSY;
    const bool output = sub.type == KA_TYPE_AO;
    const int allowedFlags =
        output ? KA_IO_STREAM_CONFIG_WRAPAROUND : KA_IO_STREAM_CONFIG_SAMPLE_AND_HOLD;
    if (flags & ~allowedFlags)
        return KA_SIM_INVALID_FLAGS;
    if (count <= 0)
        return KA_SIM_INVALID_COUNT;
    if (!channels)
        return KA_SIM_INVALID_POINTER;
    std::vector<StreamChannel> list;
    for (int i = 0; i < count; ++i) {
        const kaStreamConfigRecord &c = channels[i];
        if (c.channel < 0 || c.channel >= sub.channels)
            return KA_SIM_INVALID_CHANNEL;
        if (c.streamConfig < 0 || c.streamConfig >= static_cast<int>(sub.ranges.size()))
            return KA_SIM_INVALID_RANGE;
        if (!ValidReference(output, c.reference))
            return KA_SIM_INVALID_CONFIG;
        if (c.flags != KA_IO_STREAM_CONFIG_TYPE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        list.push_back({c.channel, c.streamConfig});
    }
    if (fifoThreshold < 0 || fifoThreshold > FifoSize(sub))
        return KA_SIM_INVALID_VALUE;
    if (t.flags != KA_IO_STREAM_TRIGGER_TYPE_NO_FLAGS)
        return KA_SIM_INVALID_FLAGS;

    // External triggers are taken as arriving at the start; the rest of the
    // trigger kinds need hardware the simulation does not model.
    switch (t.acqStartTrigType) {
    case KA_TRIG_TYPE_NONE:
    case KA_TRIG_TYPE_SW:
    case KA_TRIG_TYPE_TIMER:
    case KA_TRIG_TYPE_EXT_DIGITAL:
    case KA_TRIG_TYPE_EXT_ANALOG:
        break;
    default:
        return KA_SIM_INVALID_TRIGGER;
    }
    if (t.convStartTrigType != KA_TRIG_TYPE_TIMER)
        return KA_SIM_INVALID_TRIGGER;
    const long long acqTicks = Ticks(t.acqStartTicksLow, t.acqStartTicksHigh);
    const long long convTicks = Ticks(t.convStartTicksLow, t.convStartTicksHigh);
    long long scanTicks = Ticks(t.scanStartTicksLow, t.scanStartTicksHigh);
    if (acqTicks < 0 || convTicks < kMinConversionTicks || convTicks > kUnlimited / count)
        return KA_SIM_INVALID_VALUE;
    switch (t.scanStartTrigType) {
    case KA_TRIG_TYPE_TIMER:
        if (scanTicks < convTicks * count)
            return KA_SIM_INVALID_VALUE;
        break;
    case KA_TRIG_TYPE_NONE:
    case KA_TRIG_TYPE_FOLLOW:
        scanTicks = convTicks * count;
        break;
    default:
        return KA_SIM_INVALID_TRIGGER;
    }
    long long limit = 0;
    for (const int *stop : {&t.scanStopTrigType, &t.acqStopTrigType}) {
        if (*stop == KA_TRIG_TYPE_NONE)
            continue;
        if (*stop != KA_TRIG_TYPE_COUNT)
            return KA_SIM_INVALID_TRIGGER;
        const int stopCount = stop == &t.scanStopTrigType ? t.scanStopCount : t.acqStopCount;
        if (stopCount <= 0)
            return KA_SIM_INVALID_VALUE;
        // Scans count whole channel lists, acquisitions single values.
        const long long values =
            stop == &t.scanStopTrigType ? static_cast<long long>(stopCount) * count : stopCount;
        limit = limit ? std::min(limit, values) : values;
    }

    // Allocated before anything changes, so that running out of memory
    // leaves the stream as it was.
    std::vector<int> buffer(output ? static_cast<size_t>(sub.bufferValues) : 0);
    *this = Stream();
    configured_ = true;
    output_ = output;
    wraparound_ = (flags & KA_IO_STREAM_CONFIG_WRAPAROUND) != 0;
    channels_ = std::move(list);
    sub_ = &sub;
    acqDelay_ = acqTicks / kTickHz;
    scanPeriod_ = scanTicks / kTickHz;
    convPeriod_ = convTicks / kTickHz;
    limit_ = limit;
    capacity_ = sub.bufferValues;
    buffer_ = std::move(buffer);
    return 0;
}

int Stream::Start(Clock::time_point now, bool fast, Boards &boards, int device, int subdevice)
{
    if (!configured_)
        return KA_SIM_NOT_CONFIGURED;
    if (state_ == State::Running)
        return KA_SIM_BUSY;
    // Fast input repeats one stretch of the signals at their nominal times.
    // Its memory is taken before anything changes, so that running out of
    // memory leaves the stream as it was.
    std::vector<int> ring;
    if (!output_ && fast) {
        const long long n = ChannelCount();
        long long length = std::max(1LL, kFastRingValues / n) * n;
        if (limit_)
            length = std::min(length, limit_);
        ring.resize(static_cast<size_t>(length));
    }
    state_ = State::Running;
    fast_ = fast;
    start_ = now;
    end_ = Clock::time_point::max();
    consumed_ = 0;
    if (output_) {
        written_ -= sent_; // the values not put out yet come first
        sent_ = 0;
        return 0;
    }
    for (std::size_t k = 0; k < ring.size(); ++k)
        ring[k] = SampleAt(static_cast<long long>(k), boards, device, subdevice);
    ring_ = std::move(ring);
    return 0;
}

void Stream::Stop(Clock::time_point now)
{
    if (state_ == State::Error) {
        consumed_ = ProducedBy(now); // the values of an overrun stream are lost
        state_ = State::Idle;
        return;
    }
    if (state_ != State::Running)
        return;
    end_ = now;
    if (output_) {
        sent_ = ProducedBy(now);
        written_ = sent_; // what was not put out is dropped
    }
    state_ = State::Idle;
}

long long Stream::ProducedBy(Clock::time_point now) const
{
    if (output_ && state_ != State::Running)
        return sent_;
    if (state_ == State::Idle && end_ == Clock::time_point::max())
        return consumed_; // never started
    long long made;
    if (fast_) {
        made = output_ ? written_ : kUnlimited;
    } else {
        const double t =
            std::chrono::duration<double>(std::min(now, end_) - start_).count() - acqDelay_;
        if (t < 0) {
            made = 0;
        } else {
            const auto n = static_cast<long long>(channels_.size());
            const auto scans = static_cast<long long>(t / scanPeriod_);
            const double inScan = t - scans * scanPeriod_;
            made = scans * n + std::min(n, static_cast<long long>(inScan / convPeriod_) + 1);
        }
    }
    if (limit_)
        made = std::min(made, limit_);
    if (output_ && !wraparound_)
        made = std::min(made, written_);
    return made;
}

Clock::time_point Stream::ValueTime(long long index) const
{
    const auto n = static_cast<long long>(channels_.size());
    const long long scan = index / n; // whole scans before the value
    const double t = acqDelay_ + scan * scanPeriod_ + (index % n) * convPeriod_;
    return start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(t));
}

void Stream::Update(Clock::time_point now)
{
    if (state_ != State::Running)
        return;
    const long long made = ProducedBy(now);
    if (!output_ && !fast_ && made - consumed_ > capacity_) {
        state_ = State::Error; // the reader fell behind: values were lost
        end_ = now;
        return;
    }
    const bool limitReached = limit_ && made >= limit_;
    // A fast output stream puts values out as they come and never runs dry.
    const bool dataRanOut = output_ && !wraparound_ && !fast_ && made >= written_;
    if (limitReached || dataRanOut) {
        end_ = now; // production stays at what it reached by now
        if (output_)
            sent_ = made;
        state_ = State::Idle;
    }
}

long long Stream::Pending(Clock::time_point now) const
{
    const long long made = ProducedBy(now);
    if (!output_)
        return made - consumed_;
    return wraparound_ && state_ == State::Running ? written_ : written_ - made;
}

long long Stream::FreeSpace(Clock::time_point now) const
{
    if (fast_ && state_ == State::Running)
        return kUnlimited;
    return capacity_ - Pending(now);
}

Clock::time_point Stream::NextChange(Clock::time_point now, long long wanted) const
{
    if (state_ != State::Running || fast_)
        return now;
    long long index; // the value whose making or putting out makes the change
    if (!output_)
        index = consumed_ + std::max(1LL, wanted) - 1;
    else if (wanted > 0)
        index = written_ - (capacity_ - wanted); // output frees room for `wanted` values
    else
        index = written_ - 1; // the last value goes out
    if (limit_)
        index = std::min(index, limit_ - 1);
    return std::max(now, ValueTime(std::max(0LL, index)));
}

int Stream::SampleAt(long long index, Boards &boards, int device, int subdevice) const
{
    const StreamChannel &c = channels_[static_cast<size_t>(index % channels_.size())];
    const double volts = boards.AnalogInput(device, subdevice, c.channel, ValueTime(index));
    return ToDigital(sub_->ranges[c.range], volts);
}

long long Stream::Read(int *values, long long count, Boards &boards, int device, int subdevice,
                       Clock::time_point now)
{
    const long long taken = std::min(count, Pending(now));
    if (fast_) {
        const auto length = static_cast<long long>(ring_.size());
        for (long long done = 0; done < taken;) {
            const long long at = (consumed_ + done) % length;
            const long long chunk = std::min(taken - done, length - at);
            std::memcpy(values + done, ring_.data() + at, static_cast<size_t>(chunk) * sizeof(int));
            done += chunk;
        }
    } else {
        for (long long k = 0; k < taken; ++k)
            values[k] = SampleAt(consumed_ + k, boards, device, subdevice);
    }
    consumed_ += taken;
    return taken;
}

long long Stream::Write(const int *values, long long count, Clock::time_point now)
{
    const long long taken = std::min(count, FreeSpace(now));
    if (!(fast_ && state_ == State::Running)) { // a fast stream puts values out at once
        for (long long k = 0; k < taken; ++k)
            buffer_[static_cast<size_t>((written_ + k) % capacity_)] = values[k];
    }
    written_ += taken;
    return taken;
}

} // namespace sim
