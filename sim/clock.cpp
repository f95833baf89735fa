#include "clock.h"

#include <algorithm>

namespace sim
{

void SimClock::Use(Source source)
{
    const Clock::time_point shown = Now();
    if (source == Source::Stepped)
        stopped_ = shown;
    else
        ahead_ = shown - Clock::now();
    source_ = source;
}

bool SimClock::SkipTo(Clock::time_point at)
{
    if (source_ != Source::Fast)
        return false;
    const Clock::time_point now = Now();
    if (at > now)
        ahead_ += at - now;
    return true;
}

bool SimClock::Advance(Clock::duration by)
{
    if (source_ == Source::Real || by < Clock::duration::zero())
        return false;
    if (source_ == Source::Stepped)
        stopped_ += by;
    else
        ahead_ += by;
    return true;
}

Clock::time_point SimClock::RealTimeOf(Clock::time_point at) const
{
    if (source_ == Source::Stepped || at == Clock::time_point::max())
        return Clock::time_point::max();
    return at - ahead_;
}

} // namespace sim
