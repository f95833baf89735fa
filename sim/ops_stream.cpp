// Streams: set-up, start and stop, data transfer, status and timer ticks. The
// subdevice's kind keeps the stream (streams.h); these operations find it,
// wait for it, and move values between it and the caller.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <string>

#include "kinds/model.h"
#include "library.h"

using sim::Call;
using sim::Clock;
using sim::Export;
using sim::Library;
using sim::Stream;
using sim::SubdeviceModel;

namespace
{

// The stream of a streaming subdevice this program may use.
int FindStream(Library &lib, int device, int subdevice, SubdeviceModel *&model, Stream *&stream)
{
    if (int code = lib.RequireSubdevice(device, subdevice, model))
        return code;
    stream = model->Streaming();
    return stream ? 0 : KA_SIM_NOT_SUPPORTED;
}

int FindStream(Library &lib, int device, int subdevice, Stream *&stream)
{
    SubdeviceModel *model = nullptr;
    return FindStream(lib, device, subdevice, model, stream);
}

// The configured stream of a read (input) or write (output), and a buffer of
// *count values the caller hands over.
int FindTransfer(Library &lib, int device, int subdevice, bool output, const int *values,
                 const int *count, Stream *&stream)
{
    if (int code = FindStream(lib, device, subdevice, stream))
        return code;
    if (!stream->Configured() || stream->Output() != output)
        return KA_SIM_NOT_CONFIGURED;
    if (*count < 0)
        return KA_SIM_INVALID_COUNT;
    return *count > 0 && !values ? KA_SIM_INVALID_POINTER : 0;
}

// Waits while the stream's run goes on until ready(now, next) answers true;
// ready sets `next` to when it will. `held` values are the waiting call's own
// meanwhile (a reader's values to come, a writer's values to go): they
// neither overrun the buffer nor let it run dry. Ends with
// KA_SIM_WAIT_STOPPED when the run is gone (the library closed, the
// subdevice reset, another system loaded, another run started), with
// KA_SIM_TIMEOUT at the real `deadline`. `stream` is looked up again after
// every wake; otherwise it is brought up to `now` while the values are still
// the call's own.
template <class Ready>
int WaitForRun(Call &call, int device, int subdevice, Stream *&stream, Clock::time_point deadline,
               long long held, Clock::time_point &now, Ready ready)
{
    const unsigned long long session = stream->Session();
    const auto step = [&](Clock::time_point at, Clock::time_point &next) -> std::optional<int> {
        if (FindStream(call.Lib(), device, subdevice, stream) != 0 || stream->Session() != session)
            return KA_SIM_WAIT_STOPPED;
        stream->Update(at);
        if (!stream->Running() || ready(at, next))
            return 0;
        next = std::min(next, stream->NextChange());
        return std::nullopt;
    };
    stream->Reserve(held);
    const int code = call.WaitFor(deadline, step);
    if (code == KA_SIM_WAIT_STOPPED)
        return code; // the reservation went with the run
    now = call.Now();
    stream->Update(now);
    stream->Reserve(-held);
    return code;
}

// How long a transfer waits: a blocking one for as long as it takes. A fast
// clock serves every transfer at once, as if it had waited just long enough:
// the clock moves on, and the wait ends at once when nothing will come.
std::optional<Clock::time_point> TransferDeadline(Call &call, bool blocking)
{
    if (blocking)
        return Clock::time_point::max();
    if (call.Lib().TheClock().CurrentSource() == sim::SimClock::Source::Fast)
        return Clock::now();
    return std::nullopt;
}

// Ticks of the base clock for a period in seconds, and the period reached.
int PeriodToTicks(Library &lib, int device, int subdevice, int timer, double seconds,
                  double &reached, int *low, int *high)
{
    Stream *stream = nullptr;
    if (int code = FindStream(lib, device, subdevice, stream))
        return code;
    if (timer != KA_TIMER_ACQ_START && timer != KA_TIMER_SCAN_START && timer != KA_TIMER_CONV_START)
        return KA_SIM_INVALID_TIMER;
    if (!(seconds >= 0) || seconds * sim::kTicksPerSecond > 4e18)
        return KA_SIM_INVALID_VALUE;
    auto ticks = static_cast<long long>(std::llround(seconds * sim::kTicksPerSecond));
    if (timer != KA_TIMER_ACQ_START)
        ticks = std::max(ticks, sim::kMinConversionTicks);
    reached = static_cast<double>(ticks) / sim::kTicksPerSecond;
    *low = static_cast<int>(static_cast<unsigned>(ticks));
    *high = static_cast<int>(static_cast<unsigned>(static_cast<unsigned long long>(ticks) >> 32));
    return 0;
}

} // namespace

extern "C" {

KA_API int kaIOStreamConfig(int device, int subdevice, kaStreamConfigRecord *configList, int count,
                            kaStreamTriggerRecord *trigger, int fifoIrqThreshold, int flags)
{
    const auto body = [&](Call &call) -> int {
        call.CaptureArray(configList,
                          configList && count > 0 ? count * sizeof(kaStreamConfigRecord) : 0);
        call.CaptureArray(trigger, trigger ? sizeof(kaStreamTriggerRecord) : 0);
        SubdeviceModel *model = nullptr;
        Stream *stream = nullptr;
        if (int code = FindStream(call.Lib(), device, subdevice, model, stream))
            return code;
        if (!trigger)
            return KA_SIM_INVALID_POINTER;
        std::string reason;
        const int code =
            model->ConfigureStream({configList, count, *trigger, fifoIrqThreshold, flags}, reason);
        return call.Fail(code, std::move(reason));
    };
    return Export("kaIOStreamConfig", {device, subdevice, count, fifoIrqThreshold, flags}, {},
                  body);
}

// A stream in error answers its loss; an output needs values preloaded.
KA_API int kaIOStreamStart(kaStreamStartRecord *startList, int count, int flags)
{
    const auto body = [&](Call &call) -> int {
        const auto start = [&](kaStreamStartRecord &r, Clock::time_point now) -> int {
            SubdeviceModel *model = nullptr;
            Stream *stream = nullptr;
            if (int code = FindStream(call.Lib(), r.device, r.subdevice, model, stream))
                return code;
            if (r.startMode != KA_START_MODE_BLOCKING && r.startMode != KA_START_MODE_NONBLOCKING)
                return KA_SIM_INVALID_ARGUMENT;
            if (r.flags & ~KA_IO_STREAM_START_TYPE_TRIG_SYNCHRONOUS)
                return KA_SIM_INVALID_FLAGS;
            call.Lib().CurrentBoards().MarkActive(*model); // first: it may run out of memory
            stream->Update(now);
            return stream->Start(now);
        };
        return call.RunList(startList, count, flags, start);
    };
    return Export("kaIOStreamStart", {count, flags}, {}, body);
}

// An entry's code is the loss of a stream in error that nothing reported yet.
KA_API int kaIOStreamStop(kaStreamStopRecord *stopList, int count, int flags)
{
    const auto body = [&](Call &call) -> int {
        const auto stop = [&](kaStreamStopRecord &r, Clock::time_point now) -> int {
            Stream *stream = nullptr;
            if (int code = FindStream(call.Lib(), r.device, r.subdevice, stream))
                return code;
            if (r.stopMode != KA_STOP_MODE_IMMEDIATE && r.stopMode != KA_STOP_MODE_LAST_VALUE)
                return KA_SIM_INVALID_ARGUMENT;
            if (r.flags != KA_IO_STREAM_STOP_TYPE_NO_FLAGS)
                return KA_SIM_INVALID_FLAGS;
            if (!stream->Configured())
                return KA_SIM_NOT_CONFIGURED;
            return stream->Stop(now);
        };
        return call.RunList(stopList, count, flags, stop);
    };
    return Export("kaIOStreamStop", {count, flags}, {}, body);
}

// A blocking read waits until all values asked for are there, or the run
// ended; a non-blocking read takes what is there. With KA_IO_STREAM_READ_FRAMES
// a read ends at the end of a scan. The values that come while a reader waits
// are its own: they cannot overrun the buffer.
KA_API int kaIOStreamRead(int device, int subdevice, int readMode, int *values, int *count,
                          int flags)
{
    const auto body = [&](Call &call) -> int {
        call.CaptureAddress(values);
        Stream *stream = nullptr;
        if (int code = FindTransfer(call.Lib(), device, subdevice, false, values, count, stream))
            return code;
        if (readMode != KA_READ_MODE_BLOCKING && readMode != KA_READ_MODE_NONBLOCKING)
            return KA_SIM_INVALID_ARGUMENT;
        if (flags & ~KA_IO_STREAM_READ_FRAMES)
            return KA_SIM_INVALID_FLAGS;
        const bool frames = (flags & KA_IO_STREAM_READ_FRAMES) != 0;
        Clock::time_point now = call.Now();
        stream->Update(now);
        if (int loss = stream->ReportLoss())
            return loss;
        const long long wanted = stream->Deliverable(*count, *count, frames);
        if (const std::optional<Clock::time_point> deadline =
                TransferDeadline(call, readMode == KA_READ_MODE_BLOCKING)) {
            const auto ready = [&](Clock::time_point at, Clock::time_point &next) {
                next = stream->WhenReady(wanted);
                return stream->Pending(at) >= wanted;
            };
            if (WaitForRun(call, device, subdevice, stream, *deadline, wanted, now, ready) ==
                KA_SIM_WAIT_STOPPED)
                return KA_SIM_WAIT_STOPPED;
        }
        if (int loss = stream->ReportLoss())
            return loss;
        const long long taken = stream->Deliverable(wanted, stream->Pending(now), frames);
        stream->Read(values, taken);
        *count = static_cast<int>(taken);
        return 0;
    };
    return Export("kaIOStreamRead", {device, subdevice, readMode, count ? *count : 0, flags},
                  {sim::Out(count)}, body);
}

// Preload fills the buffer before the start; a blocking write waits until
// the running stream took every value; a non-blocking one takes what fits.
// The values a writer waits with are the stream's own: it cannot run dry.
KA_API int kaIOStreamWrite(int device, int subdevice, int writeMode, int *values, int *count,
                           int flags)
{
    const auto body = [&](Call &call) -> int {
        call.CaptureAddress(values);
        Stream *stream = nullptr;
        if (int code = FindTransfer(call.Lib(), device, subdevice, true, values, count, stream))
            return code;
        if (writeMode != KA_WRITE_MODE_BLOCKING && writeMode != KA_WRITE_MODE_NONBLOCKING &&
            writeMode != KA_WRITE_MODE_PRELOAD)
            return KA_SIM_INVALID_ARGUMENT;
        if (flags != KA_IO_STREAM_WRITE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        Clock::time_point now = call.Now();
        stream->Update(now);
        if (int loss = stream->ReportLoss())
            return loss;
        const bool running = stream->Running();
        if (running && (writeMode == KA_WRITE_MODE_PRELOAD || stream->Wraparound()))
            return KA_SIM_BUSY;
        if (!running && writeMode == KA_WRITE_MODE_BLOCKING)
            return KA_SIM_NOT_RUNNING; // nothing would ever take the values
        const long long requested = *count;
        long long taken = stream->Write(values, requested, now);
        const std::optional<Clock::time_point> deadline =
            TransferDeadline(call, writeMode == KA_WRITE_MODE_BLOCKING);
        while (deadline && running && taken < requested) {
            const long long rest = requested - taken;
            // Wake when a good part of the buffer is free, not for every value.
            const long long room =
                std::min({rest, std::max(1LL, stream->Capacity() / 4), stream->ValuesToCome()});
            if (room <= 0)
                break; // the run takes no more: the rest is answered
            const auto ready = [&](Clock::time_point at, Clock::time_point &next) {
                next = stream->WhenFree(room);
                return stream->FreeSpace(at) >= room;
            };
            const int code =
                WaitForRun(call, device, subdevice, stream, *deadline, rest, now, ready);
            if (code == KA_SIM_WAIT_STOPPED)
                return code;
            if (!stream->Running() || code == KA_SIM_TIMEOUT)
                break;
            taken += stream->Write(values + taken, rest, now);
        }
        *count = static_cast<int>(taken);
        return 0;
    };
    return Export("kaIOStreamWrite", {device, subdevice, writeMode, count ? *count : 0, flags},
                  {sim::Out(count)}, body);
}

// Status and, for input, the values ready to read; for output, the values
// buffered. KA_WAIT_IDLE waits until the stream no longer runs. A status of
// KA_STATUS_ERROR reports the stream's loss.
KA_API int kaIOStreamStatus(int device, int subdevice, int wait, int *status, int *count, int flags)
{
    const auto body = [&](Call &call) -> int {
        Stream *stream = nullptr;
        if (int code = FindStream(call.Lib(), device, subdevice, stream))
            return code;
        if (wait != KA_WAIT_NONE && wait != KA_WAIT_IDLE)
            return KA_SIM_INVALID_ARGUMENT;
        if (flags != KA_IO_STREAM_STATUS_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (wait == KA_WAIT_IDLE) {
            const auto never = [](Clock::time_point, Clock::time_point &) {
                return false;
            };
            Clock::time_point ended;
            if (int code = WaitForRun(call, device, subdevice, stream, Clock::time_point::max(), 0,
                                      ended, never))
                return code;
        }
        const Clock::time_point now = call.Now();
        stream->Update(now);
        switch (stream->CurrentState()) {
        case Stream::State::Idle:
            *status = KA_STATUS_IDLE;
            break;
        case Stream::State::Running:
            *status = KA_STATUS_BUSY;
            break;
        case Stream::State::Error:
            *status = KA_STATUS_ERROR;
            stream->ReportLoss();
            break;
        }
        *count = static_cast<int>(std::min<long long>(stream->Pending(now), 0x7FFFFFFF));
        return 0;
    };
    return Export("kaIOStreamStatus", {device, subdevice, wait, flags},
                  {sim::Out(status), sim::Out(count)}, body);
}

KA_API int kaIOStreamFrequencyToTicks(int device, int subdevice, int timer, double *frequency,
                                      int *ticksLow, int *ticksHigh, int flags)
{
    const auto body = [&](Call &call) -> int {
        if (flags != KA_IO_FREQUENCY_TO_TICKS_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (!(*frequency > 0))
            return KA_SIM_INVALID_VALUE;
        double period = 0.0;
        const int code = PeriodToTicks(call.Lib(), device, subdevice, timer, 1.0 / *frequency,
                                       period, ticksLow, ticksHigh);
        if (code == 0)
            *frequency = period > 0 ? 1.0 / period : 0.0;
        return code;
    };
    return Export("kaIOStreamFrequencyToTicks",
                  {device, subdevice, timer, frequency ? *frequency : 0.0, flags},
                  {sim::Out(frequency), sim::Out(ticksLow), sim::Out(ticksHigh)}, body);
}

KA_API int kaIOStreamTimeToTicks(int device, int subdevice, int timer, double *time, int *ticksLow,
                                 int *ticksHigh, int flags)
{
    const auto body = [&](Call &call) -> int {
        if (flags != KA_IO_STREAM_TIME_TO_TICKS_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        return PeriodToTicks(call.Lib(), device, subdevice, timer, *time, *time, ticksLow,
                             ticksHigh);
    };
    return Export("kaIOStreamTimeToTicks", {device, subdevice, timer, time ? *time : 0.0, flags},
                  {sim::Out(time), sim::Out(ticksLow), sim::Out(ticksHigh)}, body);
}

} // extern "C"
