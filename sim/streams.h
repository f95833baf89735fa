// Streams of the simulated boards: timing in ticks of one base clock,
// analog input values produced as time passes (or, in fast mode, as fast as
// they are read, from a precomputed ring), and analog output values taken
// from a buffer at the stream's rate.
#ifndef TARVEX_SIM_STREAMS_H
#define TARVEX_SIM_STREAMS_H

#include <chrono>
#include <vector>

#include "Tarvexmain.h"
#include "system.h"

namespace sim
{

using Clock = std::chrono::steady_clock;
class Boards;

// The stream timers count ticks of this clock.
constexpr double kTickHz = 33e6;
// The fastest conversion the boards can make: 500 kHz.
constexpr long long kMinConversionTicks = 66;

struct StreamChannel {
    int channel;
    int range;
};

class Stream
{
  public:
    enum class State { Idle, Running, Error };

    // Checks and takes a set-up; answers a result code.
    int Configure(const Subdevice &sub, const kaStreamConfigRecord *channels, int count,
                  const kaStreamTriggerRecord &trigger, int fifoThreshold, int flags);
    bool Configured() const { return configured_; }
    bool Output() const { return output_; }

    int Start(Clock::time_point now, bool fast, Boards &boards, int device, int subdevice);
    void Stop(Clock::time_point now);
    void Reset() { *this = Stream(); }

    // Brings the state up to now: the end of a limited acquisition, the end
    // of the data of an output stream, an input buffer overrun.
    void Update(Clock::time_point now);
    State CurrentState() const { return state_; }
    // Input: values ready to read. Output: values buffered, not yet put out.
    long long Pending(Clock::time_point now) const;
    // When the state or Pending() will next change by itself.
    Clock::time_point NextChange(Clock::time_point now, long long wantedPending) const;

    // Input: copies up to count ready values; answers how many.
    long long Read(int *values, long long count, Boards &boards, int device, int subdevice,
                   Clock::time_point now);
    int ChannelCount() const { return static_cast<int>(channels_.size()); }

    // Output: takes up to count values into the buffer; answers how many.
    long long Write(const int *values, long long count, Clock::time_point now);
    long long FreeSpace(Clock::time_point now) const;
    long long Capacity() const { return capacity_; }
    bool Wraparound() const { return wraparound_; }
    bool Fast() const { return fast_; }

  private:
    long long ProducedBy(Clock::time_point now) const; // input values made, output values put out
    Clock::time_point ValueTime(long long index) const;
    int SampleAt(long long index, Boards &boards, int device, int subdevice) const;

    bool configured_ = false;
    bool output_ = false;
    bool wraparound_ = false;
    bool fast_ = false;
    std::vector<StreamChannel> channels_;
    const Subdevice *sub_ = nullptr;
    double acqDelay_ = 0.0;   // seconds from start to the first scan
    double scanPeriod_ = 0.0; // seconds
    double convPeriod_ = 0.0; // seconds
    long long limit_ = 0;     // values in all, 0 for no limit
    long long capacity_ = 0;  // buffer, in values

    State state_ = State::Idle;
    Clock::time_point start_;
    Clock::time_point end_ = Clock::time_point::max(); // a stop freezes production
    long long consumed_ = 0;                           // input values read
    std::vector<int> ring_;                            // fast input: precomputed values
    std::vector<int> buffer_;                          // output values, a ring of capacity_
    long long written_ = 0; // output values taken, counted from the last start
    long long sent_ = 0;    // output values put out before the stream went idle
};

} // namespace sim

#endif
