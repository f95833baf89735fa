#include "streams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>

#include "boards.h"
#include "ka_sim.h"

namespace sim
{
namespace
{

constexpr long long kNever = std::numeric_limits<long long>::max() / 4;
// An output's ring holds a buffer of values to go out and a buffer of values
// that went out, which inputs looping the output back may read late.
constexpr long long kRingBuffers = 2;
constexpr long long kNanosPerSecond = 1000000000;
// A tick is kTickNanos / kTickParts nanoseconds, exactly.
constexpr long long kTickGcd = std::gcd(kNanosPerSecond, kTicksPerSecond);
constexpr long long kTickNanos = kNanosPerSecond / kTickGcd;
constexpr long long kTickParts = kTicksPerSecond / kTickGcd;

long long Ticks(int low, int high)
{
    return static_cast<long long>(static_cast<unsigned long long>(static_cast<unsigned>(high))
                                      << 32 |
                                  static_cast<unsigned>(low));
}

std::string TicksText(const char *field, long long ticks)
{
    return std::string(field) + " " + std::to_string(ticks);
}

// A value of the set-up out of range, and why.
int OutOfRange(std::string &reason, std::string why)
{
    reason = std::move(why);
    return KA_SIM_INVALID_VALUE;
}

} // namespace

long long TicksBetween(Clock::time_point start, Clock::time_point at)
{
    const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(at - start).count();
    if (ns < 0)
        return -1;
    // Split so that no product overflows.
    return ns / kTickNanos * kTickParts + ns % kTickNanos * kTickParts / kTickNanos;
}

Clock::time_point TickTime(Clock::time_point start, long long ticks)
{
    if (ticks >= kNever)
        return Clock::time_point::max();
    const long long ns = ticks / kTickParts * kTickNanos +
                         (ticks % kTickParts * kTickNanos + kTickParts - 1) / kTickParts;
    return start + std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns));
}

int Stream::Configure(std::vector<StreamChannel> channels, const kaStreamTriggerRecord &t,
                      long long capacity, bool wraparound, std::string &reason)
{
    const auto count = static_cast<long long>(channels.size());
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
    if (acqTicks < 0 || acqTicks >= kNever)
        return OutOfRange(reason, TicksText("AcqStartTicks", acqTicks) + " is beyond the timer");
    if (convTicks < kMinConversionTicks)
        return OutOfRange(reason, TicksText("ConvStartTicks", convTicks) + " is below the " +
                                      std::to_string(kMinConversionTicks) +
                                      " ticks of the fastest conversion");
    if (convTicks > kNever / count)
        return OutOfRange(reason, TicksText("ConvStartTicks", convTicks) + " is beyond the timer");
    switch (t.scanStartTrigType) {
    case KA_TRIG_TYPE_TIMER:
        if (scanTicks < convTicks * count)
            return OutOfRange(reason, TicksText("ScanStartTicks", scanTicks) + " is shorter than " +
                                          std::to_string(count) + " conversions of " +
                                          std::to_string(convTicks) + " ticks");
        if (scanTicks >= kNever / count)
            return OutOfRange(reason,
                              TicksText("ScanStartTicks", scanTicks) + " is beyond the timer");
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
        const bool scans = stop == &t.scanStopTrigType;
        const int stopCount = scans ? t.scanStopCount : t.acqStopCount;
        if (stopCount <= 0)
            return OutOfRange(reason, std::string(scans ? "ScanStopCount " : "AcqStopCount ") +
                                          std::to_string(stopCount) + " is not a count of " +
                                          (scans ? "scans" : "values"));
        // Scans count whole channel lists, acquisitions single values.
        const long long values = scans ? static_cast<long long>(stopCount) * count : stopCount;
        limit = limit ? std::min(limit, values) : values;
    }

    // Allocated before anything changes, so that running out of memory
    // leaves the stream as it was.
    std::vector<int> ring(Output() ? static_cast<std::size_t>(kRingBuffers * capacity) : 0);
    std::vector<PutOut> held;
    held.reserve(channels.size());
    *this = Stream(source_);
    configured_ = true;
    wraparound_ = wraparound;
    channels_ = std::move(channels);
    acqTicks_ = acqTicks;
    scanTicks_ = scanTicks;
    convTicks_ = convTicks;
    limit_ = limit;
    capacity_ = capacity;
    ring_ = std::move(ring);
    held_ = std::move(held);
    return 0;
}

int Stream::Start(Clock::time_point now)
{
    if (!configured_)
        return KA_SIM_NOT_CONFIGURED;
    if (state_ == State::Running)
        return KA_SIM_BUSY;
    if (state_ == State::Error)
        return ReportLoss();
    if (Output() && written_ == produced_)
        return KA_SIM_OUTPUT_EMPTY;
    if (Output()) { // the values not put out yet come first
        base_ = (base_ + produced_) % RingSize();
        written_ -= produced_;
    }
    state_ = State::Running;
    session_ = NewSession();
    start_ = now;
    started_ = true;
    produced_ = 0;
    consumed_ = 0;
    reserved_ = 0;
    return 0;
}

int Stream::Stop(Clock::time_point now)
{
    Update(now);
    const int unreported = state_ == State::Error && !lossReported_ ? loss_ : 0;
    if (state_ == State::Running)
        End(State::Idle, ProducedBy(now), now);
    if (state_ == State::Error) {
        if (!Output())
            consumed_ = produced_; // the values of an overrun stream are lost
        state_ = State::Idle;
        loss_ = 0;
    }
    if (Output())
        written_ = produced_; // what was not put out is dropped
    return unreported;
}

void Stream::End(State state, long long produced, Clock::time_point now, int loss)
{
    produced_ = produced;
    state_ = state;
    loss_ = loss;
    lossReported_ = false;
    if (!Output())
        return;
    // The channels keep the last values the run put out (room for them was
    // taken at the set-up).
    held_.clear();
    for (const StreamChannel &c : channels_)
        if (std::optional<PutOut> last = LastPutOut(c.channel, now))
            held_.push_back(*last);
}

long long Stream::TickOf(long long index) const
{
    const long long n = ChannelCount();
    return acqTicks_ + index / n * scanTicks_ + index % n * convTicks_;
}

long long Stream::MadeBy(long long ticks) const
{
    if (ticks < acqTicks_)
        return 0;
    const long long n = ChannelCount();
    const long long t = ticks - acqTicks_;
    const long long scans = t / scanTicks_;
    const long long made = scans * n + std::min(n, (t - scans * scanTicks_) / convTicks_ + 1);
    return limit_ ? std::min(made, limit_) : made;
}

long long Stream::SupplyEnd() const
{
    // A writer waiting inside a write holds values the run will have.
    const long long supply = wraparound_ ? kNever : written_ + reserved_;
    return limit_ ? std::min(limit_, supply) : supply;
}

long long Stream::ProducedBy(Clock::time_point now) const
{
    if (state_ != State::Running)
        return produced_;
    const long long made = MadeBy(TicksBetween(start_, now));
    return Output() ? std::min(made, std::min(SupplyEnd(), wraparound_ ? kNever : written_)) : made;
}

void Stream::Update(Clock::time_point now)
{
    if (state_ != State::Running)
        return;
    const long long ticks = TicksBetween(start_, now);
    if (!Output()) {
        // The first value with no room left, unless it comes after the end.
        const long long lost = consumed_ + capacity_ + reserved_;
        if ((!limit_ || lost < limit_) && TickOf(lost) <= ticks)
            End(State::Error, lost, now, KA_SIM_FIFO_OVERFLOW);
        else if (limit_ && MadeBy(ticks) >= limit_)
            End(State::Idle, limit_, now);
        return;
    }
    const long long supply = SupplyEnd();
    if (supply >= kNever)
        return;
    if (supply == limit_) {
        if (TickOf(limit_ - 1) <= ticks)
            End(State::Idle, limit_, now);
    } else if (TickOf(supply) <= ticks) {
        End(State::Error, written_, now, KA_SIM_FIFO_UNDERRUN); // ran dry before its end
    }
}

int Stream::ReportLoss()
{
    if (state_ != State::Error)
        return 0;
    lossReported_ = true;
    return loss_;
}

long long Stream::Pending(Clock::time_point now) const
{
    if (!Output())
        return ProducedBy(now) - consumed_;
    if (wraparound_ && state_ == State::Running)
        return written_;
    return written_ - std::min(written_, ProducedBy(now));
}

Clock::time_point Stream::NextChange() const
{
    if (state_ != State::Running)
        return Clock::time_point::max();
    // The value whose time brings the change: an overrun, an underrun, the end.
    long long index = Output() ? SupplyEnd() : consumed_ + capacity_ + reserved_;
    if (limit_)
        index = std::min(index, limit_ - 1);
    return index >= kNever ? Clock::time_point::max() : TimeOfTick(TickOf(index));
}

long long Stream::Deliverable(long long count, long long ready, bool frames) const
{
    long long n = std::min(count, ready);
    if (frames) { // end at a scan's end
        const long long end = consumed_ + n;
        n -= end % ChannelCount();
    }
    return std::max(0LL, n);
}

Clock::time_point Stream::WhenReady(long long count) const
{
    long long index = consumed_ + std::max(1LL, count) - 1;
    if (limit_)
        index = std::min(index, limit_ - 1);
    return TimeOfTick(TickOf(index));
}

void Stream::Read(int *values, long long count)
{
    // Channel by channel: the values of one channel lie a scan apart.
    const long long n = ChannelCount();
    for (long long p = 0; p < n && p < count; ++p) {
        const long long first = consumed_ + p; // this value's place in the scan is `first % n`
        const long long ofChannel = (count - p + n - 1) / n;
        source_->Sample(channels_[static_cast<std::size_t>(first % n)], start_, TickOf(first),
                        scanTicks_, ofChannel, values + p, n);
    }
    consumed_ += count;
}

long long Stream::FreeSpace(Clock::time_point now) const
{
    long long room = std::min(capacity_ - Pending(now), ValuesToCome());
    if (wraparound_ && state_ == State::Running)
        room = 0; // the buffer repeats as it is
    return std::max(0LL, room);
}

long long Stream::ValuesToCome() const
{
    return limit_ ? limit_ - (written_ - produced_) : kNever; // produced_: of a run that ended
}

Clock::time_point Stream::WhenFree(long long room) const
{
    const long long index = written_ - capacity_ + room - 1; // the value whose going out frees it
    return index < 0 ? start_ : TimeOfTick(TickOf(index));
}

long long Stream::Write(const int *values, long long count, Clock::time_point now)
{
    const long long taken = std::min(count, FreeSpace(now));
    for (long long done = 0; done < taken;) { // up to the ring's end, then from its start
        const long long at = (base_ + written_ + done) % RingSize();
        const long long chunk = std::min(taken - done, RingSize() - at);
        std::memcpy(&ring_[static_cast<std::size_t>(at)], values + done,
                    static_cast<std::size_t>(chunk) * sizeof(int));
        done += chunk;
    }
    written_ += taken;
    return taken;
}

std::optional<int> Stream::Buffered(long long index) const
{
    if (wraparound_ && written_ > 0)
        index %= written_;
    else if (index < written_ - RingSize() || index >= written_)
        return std::nullopt; // overwritten, or never written
    return ring_[static_cast<std::size_t>((base_ + index) % RingSize())];
}

std::optional<PutOut> Stream::LastPutOut(int channel, Clock::time_point at) const
{
    if (started_ && at >= start_) {
        const long long ticks = TicksBetween(start_, at);
        const long long sent = std::min(MadeBy(ticks), ProducedBy(at));
        const long long n = ChannelCount();
        long long last = -1; // the latest value of the channel among those put out
        for (long long p = 0; p < n; ++p)
            if (channels_[static_cast<std::size_t>(p)].channel == channel && sent > p)
                last = std::max(last, (sent - 1 - p) / n * n + p);
        if (last >= 0)
            if (std::optional<int> value = Buffered(last))
                return PutOut{channel, channels_[static_cast<std::size_t>(last % n)].range, *value,
                              TimeOfTick(TickOf(last))};
    }
    std::optional<PutOut> found; // what the last run left on the channel
    for (const PutOut &held : held_)
        if (held.channel == channel && held.at <= at && (!found || held.at > found->at))
            found = held;
    return found;
}

} // namespace sim
