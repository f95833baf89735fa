// Streams: set-up, start and stop, data transfer, status and timer ticks.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

#include "library.h"

using sim::Call;
using sim::Clock;
using sim::Library;
using sim::Stream;

namespace
{

// The stream of a streaming subdevice this program may use.
int FindStream(Library &lib, int device, int subdevice, Stream *&stream)
{
    if (int code = lib.RequireSubdevice(device, subdevice))
        return code;
    const sim::Subdevice &sub = lib.system_.devices[device].subdevices[subdevice];
    if (sub.subtype != KA_SUBTYPE_STREAMING)
        return KA_SIM_NOT_SUPPORTED;
    stream = &lib.boards_.State(device, subdevice).stream;
    return 0;
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

// Waits until ready(now), waking when the stream's state or data will have
// changed by itself; also ends when the stream is gone (closed or reset
// meanwhile), so the caller looks it up again.
template <class Ready>
void WaitForStream(Call &call, Stream *&stream, int device, int subdevice, long long wanted,
                   Ready ready)
{
    call.WaitFor(Clock::time_point::max(),
                 [&](Clock::time_point now, Clock::time_point &next) -> std::optional<int> {
                     if (FindStream(call.Lib(), device, subdevice, stream) != 0)
                         return 0;
                     stream->Update(now);
                     if (ready(now))
                         return 0;
                     next = stream->NextChange(now, wanted);
                     return std::nullopt;
                 });
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
    if (!(seconds >= 0) || seconds * sim::kTickHz > 4e18)
        return KA_SIM_INVALID_VALUE;
    auto ticks = static_cast<long long>(std::llround(seconds * sim::kTickHz));
    if (timer != KA_TIMER_ACQ_START)
        ticks = std::max(ticks, sim::kMinConversionTicks);
    reached = ticks / sim::kTickHz;
    *low = static_cast<int>(static_cast<unsigned>(ticks));
    *high = static_cast<int>(static_cast<unsigned>(static_cast<unsigned long long>(ticks) >> 32));
    return 0;
}

} // namespace

extern "C" {

KA_API int kaIOStreamConfig(int device, int subdevice, kaStreamConfigRecord *configList, int count,
                            kaStreamTriggerRecord *trigger, int fifoIrqThreshold, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOStreamConfig");
    Call call(operation, device, subdevice, count, fifoIrqThreshold, flags);
    call.CaptureArray(configList,
                      configList && count > 0 ? count * sizeof(kaStreamConfigRecord) : 0);
    call.CaptureArray(trigger, trigger ? sizeof(kaStreamTriggerRecord) : 0);
    return call.Run({}, [&]() -> int {
        Library &lib = call.Lib();
        Stream *stream = nullptr;
        if (int code = FindStream(lib, device, subdevice, stream))
            return code;
        if (!trigger)
            return KA_SIM_INVALID_POINTER;
        const sim::Subdevice &sub = lib.system_.devices[device].subdevices[subdevice];
        return stream->Configure(sub, configList, count, *trigger, fifoIrqThreshold, flags);
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaIOStreamStart(kaStreamStartRecord *startList, int count, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOStreamStart");
    Call call(operation, count, flags);
    return call.RunList(
        startList, count, flags, [&](kaStreamStartRecord &r, Clock::time_point now) -> int {
            Stream *stream = nullptr;
            if (int code = FindStream(call.Lib(), r.device, r.subdevice, stream))
                return code;
            if (r.startMode != KA_START_MODE_BLOCKING && r.startMode != KA_START_MODE_NONBLOCKING)
                return KA_SIM_INVALID_ARGUMENT;
            if (r.flags & ~KA_IO_STREAM_START_TYPE_TRIG_SYNCHRONOUS)
                return KA_SIM_INVALID_FLAGS;
            Library &lib = call.Lib();
            return stream->Start(now, lib.fastStreams_, lib.boards_, r.device, r.subdevice);
        });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaIOStreamStop(kaStreamStopRecord *stopList, int count, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOStreamStop");
    Call call(operation, count, flags);
    return call.RunList(
        stopList, count, flags, [&](kaStreamStopRecord &r, Clock::time_point now) -> int {
            Stream *stream = nullptr;
            if (int code = FindStream(call.Lib(), r.device, r.subdevice, stream))
                return code;
            if (r.stopMode != KA_STOP_MODE_IMMEDIATE && r.stopMode != KA_STOP_MODE_LAST_VALUE)
                return KA_SIM_INVALID_ARGUMENT;
            if (r.flags != KA_IO_STREAM_STOP_TYPE_NO_FLAGS)
                return KA_SIM_INVALID_FLAGS;
            if (!stream->Configured())
                return KA_SIM_NOT_CONFIGURED;
            stream->Update(now);
            stream->Stop(now);
            return 0;
        });
} catch (...) {
    return sim::ExceptionCode();
}

// A blocking read waits until all values asked for are there, or the stream
// ended; a non-blocking read takes what is there.
KA_API int kaIOStreamRead(int device, int subdevice, int readMode, int *values, int *count,
                          int flags)
try {
    TARVEX_SIM_OPERATION("kaIOStreamRead");
    Call call(operation, device, subdevice, readMode, count ? *count : 0, flags);
    call.CaptureAddress(values);
    return call.Run({sim::Out(count)}, [&]() -> int {
        Library &lib = call.Lib();
        Stream *stream = nullptr;
        if (int code = FindTransfer(lib, device, subdevice, false, values, count, stream))
            return code;
        if (readMode != KA_READ_MODE_BLOCKING && readMode != KA_READ_MODE_NONBLOCKING)
            return KA_SIM_INVALID_ARGUMENT;
        if (flags & ~KA_IO_STREAM_READ_FRAMES)
            return KA_SIM_INVALID_FLAGS;
        long long wanted = *count;
        if (flags & KA_IO_STREAM_READ_FRAMES)
            wanted -= wanted % stream->ChannelCount();
        if (readMode == KA_READ_MODE_BLOCKING) {
            WaitForStream(call, stream, device, subdevice, wanted, [&](Clock::time_point now) {
                return stream->CurrentState() != Stream::State::Running ||
                       stream->Pending(now) >= wanted;
            });
            if (int code = FindStream(lib, device, subdevice, stream))
                return code;
        }
        const Clock::time_point now = Clock::now();
        stream->Update(now);
        if (stream->CurrentState() == Stream::State::Error)
            return KA_SIM_FIFO_OVERFLOW;
        *count =
            static_cast<int>(stream->Read(values, wanted, lib.boards_, device, subdevice, now));
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

// Preload fills the buffer before the start; a blocking write waits until
// every value is taken while the stream runs; a non-blocking one takes what fits.
KA_API int kaIOStreamWrite(int device, int subdevice, int writeMode, int *values, int *count,
                           int flags)
try {
    TARVEX_SIM_OPERATION("kaIOStreamWrite");
    Call call(operation, device, subdevice, writeMode, count ? *count : 0, flags);
    call.CaptureAddress(values);
    return call.Run({sim::Out(count)}, [&]() -> int {
        Library &lib = call.Lib();
        Stream *stream = nullptr;
        if (int code = FindTransfer(lib, device, subdevice, true, values, count, stream))
            return code;
        if (writeMode != KA_WRITE_MODE_BLOCKING && writeMode != KA_WRITE_MODE_NONBLOCKING &&
            writeMode != KA_WRITE_MODE_PRELOAD)
            return KA_SIM_INVALID_ARGUMENT;
        if (flags != KA_IO_STREAM_WRITE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        const long long requested = *count;
        Clock::time_point now = Clock::now();
        stream->Update(now);
        const bool running = stream->CurrentState() == Stream::State::Running;
        if (running && (writeMode == KA_WRITE_MODE_PRELOAD || stream->Wraparound()))
            return KA_SIM_BUSY;
        long long taken = stream->Write(values, requested, now);
        while (writeMode == KA_WRITE_MODE_BLOCKING && taken < requested) {
            const long long rest = requested - taken;
            // Wake when a good part of the buffer is free, not for every value.
            const long long room = std::min(rest, std::max(1LL, stream->Capacity() / 4));
            WaitForStream(call, stream, device, subdevice, room, [&](Clock::time_point at) {
                return stream->CurrentState() != Stream::State::Running ||
                       stream->FreeSpace(at) >= room;
            });
            if (int code = FindStream(lib, device, subdevice, stream))
                return code;
            now = Clock::now();
            if (stream->CurrentState() != Stream::State::Running)
                break;
            taken += stream->Write(values + taken, rest, now);
        }
        *count = static_cast<int>(taken);
        lib.changed_.notify_all();
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

// Status and, for input, the values ready to read; for output, the values
// buffered. KA_WAIT_IDLE waits until the stream no longer runs.
KA_API int kaIOStreamStatus(int device, int subdevice, int wait, int *status, int *count, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOStreamStatus");
    Call call(operation, device, subdevice, wait, flags);
    return call.Run({sim::Out(status), sim::Out(count)}, [&]() -> int {
        Library &lib = call.Lib();
        Stream *stream = nullptr;
        if (int code = FindStream(lib, device, subdevice, stream))
            return code;
        if (wait != KA_WAIT_NONE && wait != KA_WAIT_IDLE)
            return KA_SIM_INVALID_ARGUMENT;
        if (flags != KA_IO_STREAM_STATUS_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (wait == KA_WAIT_IDLE) {
            WaitForStream(call, stream, device, subdevice, 0, [&](Clock::time_point) {
                return stream->CurrentState() != Stream::State::Running;
            });
            if (int code = FindStream(lib, device, subdevice, stream))
                return code;
        }
        const Clock::time_point now = Clock::now();
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
            break;
        }
        *count = static_cast<int>(std::min<long long>(stream->Pending(now), 0x7FFFFFFF));
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaIOStreamFrequencyToTicks(int device, int subdevice, int timer, double *frequency,
                                      int *ticksLow, int *ticksHigh, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOStreamFrequencyToTicks");
    Call call(operation, device, subdevice, timer, frequency ? *frequency : 0.0, flags);
    return call.Run({sim::Out(frequency), sim::Out(ticksLow), sim::Out(ticksHigh)}, [&]() -> int {
        if (flags != KA_IO_FREQUENCY_TO_TICKS_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (!(*frequency > 0))
            return KA_SIM_INVALID_VALUE;
        double period = 0.0;
        int code = PeriodToTicks(call.Lib(), device, subdevice, timer, 1.0 / *frequency, period,
                                 ticksLow, ticksHigh);
        if (code == 0)
            *frequency = period > 0 ? 1.0 / period : 0.0;
        return code;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaIOStreamTimeToTicks(int device, int subdevice, int timer, double *time, int *ticksLow,
                                 int *ticksHigh, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOStreamTimeToTicks");
    Call call(operation, device, subdevice, timer, time ? *time : 0.0, flags);
    return call.Run({sim::Out(time), sim::Out(ticksLow), sim::Out(ticksHigh)}, [&]() -> int {
        if (flags != KA_IO_STREAM_TIME_TO_TICKS_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        return PeriodToTicks(call.Lib(), device, subdevice, timer, *time, *time, ticksLow,
                             ticksHigh);
    });
} catch (...) {
    return sim::ExceptionCode();
}

} // extern "C"
