// The stream engine the streaming kinds share. A set-up's timing is counted
// in ticks of one base clock from the start; how many values a stream has
// made (input) or put out (output) by an instant of the library's clock
// follows from it, so every source of time runs the same engine. Input
// values are made when they are read, by the kind (SampleSource), at the
// instants they were converted; output values wait in a ring buffer.
//
// Losses: an input whose buffer overflows, or an output that runs dry before
// its end, goes into error. A stream in error refuses transfers, a start and
// a set-up with the loss's code until it is stopped; its stop reports the
// loss if nothing did before.
#ifndef TARVEX_SIM_STREAMS_H
#define TARVEX_SIM_STREAMS_H

#include <optional>
#include <string>
#include <vector>

#include "Tarvexmain.h"
#include "clock.h"

namespace sim
{

// The stream timers count ticks of this clock: 33 MHz.
constexpr long long kTicksPerSecond = 33000000;
// The fastest conversion the boards can make: 500 kHz.
constexpr long long kMinConversionTicks = 66;

// Ticks from `start` to `at` (whole ticks passed), and the instant a tick
// count after `start` is reached; one is the other's inverse.
long long TicksBetween(Clock::time_point start, Clock::time_point at);
Clock::time_point TickTime(Clock::time_point start, long long ticks);

struct StreamChannel {
    int channel;
    int range;
};

// Makes the values of an input stream.
class SampleSource
{
  public:
    // Writes the digital value of channel c at the instants start + first +
    // k * step ticks, for k from 0 to count - 1, into out[k * stride].
    virtual void Sample(const StreamChannel &c, Clock::time_point start, long long first,
                        long long step, long long count, int *out, long long stride) const = 0;

  protected:
    ~SampleSource() = default;
};

// A value an output stream put out on a channel, and when.
struct PutOut {
    int channel;
    int range;
    int value;
    Clock::time_point at;
};

class Stream
{
  public:
    enum class State { Idle, Running, Error };

    // An input stream makes its values with `source`; an output stream has none.
    explicit Stream(const SampleSource *source) : source_(source) {}

    // Checks and takes the timing of a set-up and the channel list the kind
    // checked; answers a result code, and for a timing it refuses the
    // reason. Refused when running or in error.
    int Configure(std::vector<StreamChannel> channels, const kaStreamTriggerRecord &trigger,
                  long long capacity, bool wraparound, std::string &reason);
    bool Configured() const { return configured_; }
    bool Output() const { return source_ == nullptr; }
    int ChannelCount() const { return static_cast<int>(channels_.size()); }

    // A new run; an output needs values preloaded.
    int Start(Clock::time_point now);
    // Ends the run; answers the code of a loss nothing has reported yet.
    int Stop(Clock::time_point now);
    void Reset() { *this = Stream(source_); }

    // Brings the state up to now: the end of a limited run, an overrun, an
    // underrun. Every call that looks at the stream does this first.
    void Update(Clock::time_point now);
    State CurrentState() const { return state_; }
    bool Running() const { return state_ == State::Running; }
    // Tells a run from the next, and from a stream that was reset.
    unsigned long long Session() const { return session_; }
    // The code of the loss that put the stream in error, from now on
    // reported; 0 when it is not in error.
    int ReportLoss();
    // Input: values ready to read. Output: values buffered, not put out.
    long long Pending(Clock::time_point now) const;
    // When the state will next change by itself; time_point::max() for never.
    Clock::time_point NextChange() const;

    // Input: how many of up to `count` values a read delivers, whole scans
    // only for `frames`, when `ready` values are there.
    long long Deliverable(long long count, long long ready, bool frames) const;
    // When `count` more values than were read will be there.
    Clock::time_point WhenReady(long long count) const;
    // A reader waiting inside a read for `count` values: the values that
    // come while it waits are its own, not a loss. Negative ends it.
    void Reserve(long long count) { reserved_ += count; }
    // Copies the next `count` values, which are there.
    void Read(int *values, long long count);

    // Output: the room in the buffer, and when there will be `room`.
    long long FreeSpace(Clock::time_point now) const;
    // Output: the values the run may still take before its stop count.
    long long ValuesToCome() const;
    Clock::time_point WhenFree(long long room) const;
    // Takes up to `count` values into the buffer; answers how many.
    long long Write(const int *values, long long count, Clock::time_point now);
    bool Wraparound() const { return wraparound_; }
    long long Capacity() const { return capacity_; }
    // The last value put out on a channel by `at`, if this or the last run
    // put one out and the buffer still holds it.
    std::optional<PutOut> LastPutOut(int channel, Clock::time_point at) const;

  private:
    long long TickOf(long long index) const; // when value `index` is made or put out
    long long MadeBy(long long ticks) const; // values due by then, within the limit
    long long ProducedBy(Clock::time_point now) const;
    long long SupplyEnd() const; // output: the values the run can put out
    void End(State state, long long produced, Clock::time_point now, int loss = 0);
    Clock::time_point TimeOfTick(long long ticks) const { return TickTime(start_, ticks); }
    std::optional<int> Buffered(long long index) const;
    long long RingSize() const { return static_cast<long long>(ring_.size()); }

    const SampleSource *source_;
    bool configured_ = false;
    bool wraparound_ = false;
    std::vector<StreamChannel> channels_;
    long long acqTicks_ = 0;  // from the start to the first scan
    long long scanTicks_ = 0; // from one scan to the next
    long long convTicks_ = 0; // between the conversions of a scan
    long long limit_ = 0;     // values in all, 0 for no limit
    long long capacity_ = 0;  // buffer, in values

    State state_ = State::Idle;
    unsigned long long session_ = 0;
    Clock::time_point start_{};
    bool started_ = false;   // a run began since the set-up
    long long produced_ = 0; // values made or put out when the run ended
    int loss_ = 0;           // code of the loss of a stream in error
    bool lossReported_ = false;
    long long consumed_ = 0;   // input values read in this run
    long long reserved_ = 0;   // values waiting readers or writers hold
    std::vector<int> ring_;    // output values to go out and gone out
    long long base_ = 0;       // where in the ring this run's first value stands
    long long written_ = 0;    // output values taken in this run
    std::vector<PutOut> held_; // output: per channel of the list, the last value of the last run
};

} // namespace sim

#endif
