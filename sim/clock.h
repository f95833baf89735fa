// The library's one clock. Everything that comes with time reads it: stream
// values, interrupts that fire at a rate, counters, input signals. It runs
// from one of three sources: real time; fast, which is real time moved on at
// once wherever a caller would wait for it (streams then run as fast as the
// program reads and writes, with the values real time would give); and
// stepped, which stands still until the test-control API moves it on.
#ifndef TARVEX_SIM_CLOCK_H
#define TARVEX_SIM_CLOCK_H

#include <chrono>

namespace sim
{

using Clock = std::chrono::steady_clock;

class SimClock
{
  public:
    enum class Source { Real, Fast, Stepped };

    Clock::time_point Now() const
    {
        return source_ == Source::Stepped ? stopped_ : Clock::now() + ahead_;
    }
    Source CurrentSource() const { return source_; }
    // Keeps the time it shows: the clock never runs backwards.
    void Use(Source source);
    // Back to real time, as at load.
    void Reset() { *this = SimClock(); }

    // Fast: moves the clock on to `at` and answers true, so that a caller
    // need not wait for it. Otherwise answers false.
    bool SkipTo(Clock::time_point at);
    // Stepped or fast: moves the clock on by `by`. Real time cannot be moved.
    bool Advance(Clock::duration by);
    // The real time at which the clock shows `at`; time_point::max() when
    // only a step can bring it there.
    Clock::time_point RealTimeOf(Clock::time_point at) const;

  private:
    Source source_ = Source::Real;
    Clock::duration ahead_{0};    // real and fast: how far the clock is ahead of real time
    Clock::time_point stopped_{}; // stepped: the time it shows
};

} // namespace sim

#endif
