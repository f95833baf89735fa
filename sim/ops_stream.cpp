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
int findStream(Library &lib, int device, int subdevice, Stream *&stream)
{
    if (int code = lib.requireSubdevice(device, subdevice))
        return code;
    const sim::Subdevice &sub = lib.system.devices[device].subdevices[subdevice];
    if (sub.subtype != KA_SUBTYPE_STREAMING)
        return KA_SIM_NOT_SUPPORTED;
    stream = &lib.boards.state(device, subdevice).stream;
    return 0;
}

// The configured stream of a read (input) or write (output), and a buffer of
// *count values the caller hands over.
int findTransfer(Library &lib, int device, int subdevice, bool output, const int *values,
                 const int *count, Stream *&stream)
{
    if (int code = findStream(lib, device, subdevice, stream))
        return code;
    if (!stream->configured() || stream->output() != output)
        return KA_SIM_NOT_CONFIGURED;
    if (*count < 0)
        return KA_SIM_INVALID_COUNT;
    return *count > 0 && !values ? KA_SIM_INVALID_POINTER : 0;
}

// Waits until ready(now), waking when the stream's state or data will have
// changed by itself; also ends when the stream is gone (closed or reset
// meanwhile), so the caller looks it up again.
template <class Ready>
void waitForStream(Call &call, Stream *&stream, int device, int subdevice, long long wanted,
                   Ready ready)
{
    call.waitFor(Clock::time_point::max(),
                 [&](Clock::time_point now, Clock::time_point &next) -> std::optional<int> {
                     if (findStream(call.lib(), device, subdevice, stream) != 0)
                         return 0;
                     stream->update(now);
                     if (ready(now))
                         return 0;
                     next = stream->nextChange(now, wanted);
                     return std::nullopt;
                 });
}

// Ticks of the base clock for a period in seconds, and the period reached.
int periodToTicks(Library &lib, int device, int subdevice, int timer, double seconds,
                  double &reached, int *low, int *high)
{
    Stream *stream = nullptr;
    if (int code = findStream(lib, device, subdevice, stream))
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

KA_API int kaIOStreamConfig(int iDevice, int iSubdevice, kaStreamConfigRecord *pConfigList,
                            int iCount, kaStreamTriggerRecord *pTrigger, int iFifoIrqThreshold,
                            int iFlags)
try {
    SIM_OPERATION("kaIOStreamConfig");
    Call call(operation_, iDevice, iSubdevice, iCount, iFifoIrqThreshold, iFlags);
    call.captureArray(pConfigList,
                      pConfigList && iCount > 0 ? iCount * sizeof(kaStreamConfigRecord) : 0);
    call.captureArray(pTrigger, pTrigger ? sizeof(kaStreamTriggerRecord) : 0);
    return call.run({}, [&]() -> int {
        Library &lib = call.lib();
        Stream *stream = nullptr;
        if (int code = findStream(lib, iDevice, iSubdevice, stream))
            return code;
        if (!pTrigger)
            return KA_SIM_INVALID_POINTER;
        const sim::Subdevice &sub = lib.system.devices[iDevice].subdevices[iSubdevice];
        return stream->configure(sub, pConfigList, iCount, *pTrigger, iFifoIrqThreshold, iFlags);
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaIOStreamStart(kaStreamStartRecord *pStartList, int iCount, int iFlags)
try {
    SIM_OPERATION("kaIOStreamStart");
    Call call(operation_, iCount, iFlags);
    return call.runList(
        pStartList, iCount, iFlags, [&](kaStreamStartRecord &r, Clock::time_point now) -> int {
            Stream *stream = nullptr;
            if (int code = findStream(call.lib(), r.iDevice, r.iSubdevice, stream))
                return code;
            if (r.iStartMode != KA_START_MODE_BLOCKING && r.iStartMode != KA_START_MODE_NONBLOCKING)
                return KA_SIM_INVALID_ARGUMENT;
            if (r.iFlags & ~KA_IO_STREAM_START_TYPE_TRIG_SYNCHRONOUS)
                return KA_SIM_INVALID_FLAGS;
            Library &lib = call.lib();
            return stream->start(now, lib.fastStreams, lib.boards, r.iDevice, r.iSubdevice);
        });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaIOStreamStop(kaStreamStopRecord *pStopList, int iCount, int iFlags)
try {
    SIM_OPERATION("kaIOStreamStop");
    Call call(operation_, iCount, iFlags);
    return call.runList(
        pStopList, iCount, iFlags, [&](kaStreamStopRecord &r, Clock::time_point now) -> int {
            Stream *stream = nullptr;
            if (int code = findStream(call.lib(), r.iDevice, r.iSubdevice, stream))
                return code;
            if (r.iStopMode != KA_STOP_MODE_IMMEDIATE && r.iStopMode != KA_STOP_MODE_LAST_VALUE)
                return KA_SIM_INVALID_ARGUMENT;
            if (r.iFlags != KA_IO_STREAM_STOP_TYPE_NO_FLAGS)
                return KA_SIM_INVALID_FLAGS;
            if (!stream->configured())
                return KA_SIM_NOT_CONFIGURED;
            stream->update(now);
            stream->stop(now);
            return 0;
        });
} catch (...) {
    return sim::exceptionCode();
}

// A blocking read waits until all values asked for are there, or the stream
// ended; a non-blocking read takes what is there.
KA_API int kaIOStreamRead(int iDevice, int iSubdevice, int iReadMode, int *piValues, int *piCount,
                          int iFlags)
try {
    SIM_OPERATION("kaIOStreamRead");
    Call call(operation_, iDevice, iSubdevice, iReadMode, piCount ? *piCount : 0, iFlags);
    call.captureAddress(piValues);
    return call.run({sim::out(piCount)}, [&]() -> int {
        Library &lib = call.lib();
        Stream *stream = nullptr;
        if (int code = findTransfer(lib, iDevice, iSubdevice, false, piValues, piCount, stream))
            return code;
        if (iReadMode != KA_READ_MODE_BLOCKING && iReadMode != KA_READ_MODE_NONBLOCKING)
            return KA_SIM_INVALID_ARGUMENT;
        if (iFlags & ~KA_IO_STREAM_READ_FRAMES)
            return KA_SIM_INVALID_FLAGS;
        long long wanted = *piCount;
        if (iFlags & KA_IO_STREAM_READ_FRAMES)
            wanted -= wanted % stream->channelCount();
        if (iReadMode == KA_READ_MODE_BLOCKING) {
            waitForStream(call, stream, iDevice, iSubdevice, wanted, [&](Clock::time_point now) {
                return stream->state() != Stream::State::Running || stream->pending(now) >= wanted;
            });
            if (int code = findStream(lib, iDevice, iSubdevice, stream))
                return code;
        }
        const Clock::time_point now = Clock::now();
        stream->update(now);
        if (stream->state() == Stream::State::Error)
            return KA_SIM_FIFO_OVERFLOW;
        *piCount =
            static_cast<int>(stream->read(piValues, wanted, lib.boards, iDevice, iSubdevice, now));
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

// Preload fills the buffer before the start; a blocking write waits until
// every value is taken while the stream runs; a non-blocking one takes what fits.
KA_API int kaIOStreamWrite(int iDevice, int iSubdevice, int iWriteMode, int *piValues, int *piCount,
                           int iFlags)
try {
    SIM_OPERATION("kaIOStreamWrite");
    Call call(operation_, iDevice, iSubdevice, iWriteMode, piCount ? *piCount : 0, iFlags);
    call.captureAddress(piValues);
    return call.run({sim::out(piCount)}, [&]() -> int {
        Library &lib = call.lib();
        Stream *stream = nullptr;
        if (int code = findTransfer(lib, iDevice, iSubdevice, true, piValues, piCount, stream))
            return code;
        if (iWriteMode != KA_WRITE_MODE_BLOCKING && iWriteMode != KA_WRITE_MODE_NONBLOCKING &&
            iWriteMode != KA_WRITE_MODE_PRELOAD)
            return KA_SIM_INVALID_ARGUMENT;
        if (iFlags != KA_IO_STREAM_WRITE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        const long long count = *piCount;
        Clock::time_point now = Clock::now();
        stream->update(now);
        const bool running = stream->state() == Stream::State::Running;
        if (running && (iWriteMode == KA_WRITE_MODE_PRELOAD || stream->wraparound()))
            return KA_SIM_BUSY;
        long long taken = stream->write(piValues, count, now);
        while (iWriteMode == KA_WRITE_MODE_BLOCKING && taken < count) {
            const long long rest = count - taken;
            // Wake when a good part of the buffer is free, not for every value.
            const long long room = std::min(rest, std::max(1LL, stream->capacity() / 4));
            waitForStream(call, stream, iDevice, iSubdevice, room, [&](Clock::time_point at) {
                return stream->state() != Stream::State::Running || stream->freeSpace(at) >= room;
            });
            if (int code = findStream(lib, iDevice, iSubdevice, stream))
                return code;
            now = Clock::now();
            if (stream->state() != Stream::State::Running)
                break;
            taken += stream->write(piValues + taken, rest, now);
        }
        *piCount = static_cast<int>(taken);
        lib.changed.notify_all();
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

// Status and, for input, the values ready to read; for output, the values
// buffered. KA_WAIT_IDLE waits until the stream no longer runs.
KA_API int kaIOStreamStatus(int iDevice, int iSubdevice, int iWait, int *piStatus, int *piCount,
                            int iFlags)
try {
    SIM_OPERATION("kaIOStreamStatus");
    Call call(operation_, iDevice, iSubdevice, iWait, iFlags);
    return call.run({sim::out(piStatus), sim::out(piCount)}, [&]() -> int {
        Library &lib = call.lib();
        Stream *stream = nullptr;
        if (int code = findStream(lib, iDevice, iSubdevice, stream))
            return code;
        if (iWait != KA_WAIT_NONE && iWait != KA_WAIT_IDLE)
            return KA_SIM_INVALID_ARGUMENT;
        if (iFlags != KA_IO_STREAM_STATUS_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (iWait == KA_WAIT_IDLE) {
            waitForStream(call, stream, iDevice, iSubdevice, 0, [&](Clock::time_point) {
                return stream->state() != Stream::State::Running;
            });
            if (int code = findStream(lib, iDevice, iSubdevice, stream))
                return code;
        }
        const Clock::time_point now = Clock::now();
        stream->update(now);
        switch (stream->state()) {
        case Stream::State::Idle:
            *piStatus = KA_STATUS_IDLE;
            break;
        case Stream::State::Running:
            *piStatus = KA_STATUS_BUSY;
            break;
        case Stream::State::Error:
            *piStatus = KA_STATUS_ERROR;
            break;
        }
        *piCount = static_cast<int>(std::min<long long>(stream->pending(now), 0x7FFFFFFF));
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaIOStreamFrequencyToTicks(int iDevice, int iSubdevice, int iTimer, double *pdFrequency,
                                      int *piTicksLow, int *piTicksHigh, int iFlags)
try {
    SIM_OPERATION("kaIOStreamFrequencyToTicks");
    Call call(operation_, iDevice, iSubdevice, iTimer, pdFrequency ? *pdFrequency : 0.0, iFlags);
    return call.run(
        {sim::out(pdFrequency), sim::out(piTicksLow), sim::out(piTicksHigh)}, [&]() -> int {
            if (iFlags != KA_IO_FREQUENCY_TO_TICKS_NO_FLAGS)
                return KA_SIM_INVALID_FLAGS;
            if (!(*pdFrequency > 0))
                return KA_SIM_INVALID_VALUE;
            double period = 0.0;
            int code = periodToTicks(call.lib(), iDevice, iSubdevice, iTimer, 1.0 / *pdFrequency,
                                     period, piTicksLow, piTicksHigh);
            if (code == 0)
                *pdFrequency = period > 0 ? 1.0 / period : 0.0;
            return code;
        });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaIOStreamTimeToTicks(int iDevice, int iSubdevice, int iTimer, double *pdTime,
                                 int *piTicksLow, int *piTicksHigh, int iFlags)
try {
    SIM_OPERATION("kaIOStreamTimeToTicks");
    Call call(operation_, iDevice, iSubdevice, iTimer, pdTime ? *pdTime : 0.0, iFlags);
    return call.run({sim::out(pdTime), sim::out(piTicksLow), sim::out(piTicksHigh)}, [&]() -> int {
        if (iFlags != KA_IO_STREAM_TIME_TO_TICKS_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        return periodToTicks(call.lib(), iDevice, iSubdevice, iTimer, *pdTime, *pdTime, piTicksLow,
                             piTicksHigh);
    });
} catch (...) {
    return sim::exceptionCode();
}

} // extern "C"
