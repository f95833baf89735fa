// Single values and interrupts.
#include <chrono>
#include <optional>

#include "kinds/kind.h"
#include "library.h"

using sim::Call;
using sim::Clock;
using sim::Library;

extern "C" {

KA_API int kaIOSingleConfig(int device, int subdevice, int channel, int singleConfig, int ref,
                            int trigChan, int trigType, int trigEdge, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOSingleConfig");
    Call call(operation, device, subdevice, channel, singleConfig, ref, trigChan, trigType,
              trigEdge, flags);
    return call.Run({}, [&]() -> int {
        Library &lib = call.Lib();
        if (int code = lib.RequireSubdevice(device, subdevice))
            return code;
        int code = lib.boards_.Configure(
            device, subdevice, {channel, singleConfig, ref, trigChan, trigType, trigEdge, flags});
        lib.changed_.notify_all();
        return code;
    });
} catch (...) {
    return sim::ExceptionCode();
}

// Call-level faults fail the call; each transfer's own fault goes to its
// record's result code and the others still run.
KA_API int kaIOSingle(kaSingleRecord *singleList, int count, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOSingle");
    Call call(operation, count, flags);
    return call.RunList(singleList, count, flags,
                        [&](kaSingleRecord &r, Clock::time_point now) -> int {
                            return call.Lib().boards_.Transfer(r, now);
                        });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaIOIrqStart(int device, int subdevice, int channel, int irqSource, int irqEdge,
                        int irqArg, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOIrqStart");
    Call call(operation, device, subdevice, channel, irqSource, irqEdge, irqArg, flags);
    return call.Run({}, [&]() -> int {
        Library &lib = call.Lib();
        if (int code = lib.RequireSubdevice(device, subdevice))
            return code;
        return lib.boards_.IrqStart(device, subdevice, channel,
                                    {irqSource, irqEdge, irqArg, flags});
    });
} catch (...) {
    return sim::ExceptionCode();
}

// A wait on the channel ends with KA_SIM_WAIT_STOPPED.
KA_API int kaIOIrqStop(int device, int subdevice, int channel, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOIrqStop");
    Call call(operation, device, subdevice, channel, flags);
    return call.Run({}, [&]() -> int {
        Library &lib = call.Lib();
        if (flags != KA_IO_IRQ_STOP_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (int code = lib.RequireAccess(device, subdevice))
            return code;
        int code = lib.boards_.IrqStop(device, subdevice, channel);
        lib.changed_.notify_all();
        return code;
    });
} catch (...) {
    return sim::ExceptionCode();
}

// Returns at once when interrupts came since the last wait, else waits for
// the next one. The time-out is in milliseconds; 0 waits without limit.
KA_API int kaIOIrqWait(int device, int subdevice, int channel, int *irqCount, int *value,
                       int timeOut, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOIrqWait");
    Call call(operation, device, subdevice, channel, timeOut, flags);
    return call.Run({sim::Out(irqCount), sim::Out(value)}, [&]() -> int {
        Library &lib = call.Lib();
        if (flags != KA_IO_IRQ_WAIT_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (timeOut < 0)
            return KA_SIM_INVALID_ARGUMENT;
        if (int code = lib.RequireAccess(device, subdevice))
            return code;
        sim::IrqState *irq = lib.boards_.Irq(device, subdevice, channel);
        if (!irq)
            return KA_SIM_INVALID_CHANNEL;
        if (!irq->armed)
            return KA_SIM_IRQ_NOT_STARTED;
        const unsigned long long session = irq->session;
        const Clock::time_point deadline = timeOut == 0
                                               ? Clock::time_point::max()
                                               : Clock::now() + std::chrono::milliseconds(timeOut);
        return call.WaitFor(
            deadline, [&](Clock::time_point now, Clock::time_point &next) -> std::optional<int> {
                // Look again after every wake: a stop, reset or close may have come.
                irq = lib.open_ ? lib.boards_.Irq(device, subdevice, channel) : nullptr;
                if (!irq || !irq->armed || irq->session != session)
                    return KA_SIM_WAIT_STOPPED;
                next = lib.boards_.UpdateIrq(device, subdevice, *irq, now);
                if (irq->fired <= irq->reported)
                    return std::nullopt;
                irq->reported = irq->fired;
                *irqCount = static_cast<int>(irq->fired);
                *value = irq->lastValue;
                return 0;
            });
    });
} catch (...) {
    return sim::ExceptionCode();
}

} // extern "C"
