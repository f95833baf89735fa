// Single values and interrupts.
#include <chrono>
#include <optional>

#include "kinds/kind.h"
#include "library.h"

using sim::Call;
using sim::Clock;
using sim::Library;

extern "C" {

KA_API int kaIOSingleConfig(int iDevice, int iSubdevice, int iChannel, int iSingleConfig, int iRef,
                            int iTrigChan, int iTrigType, int iTrigEdge, int iFlags)
try {
    SIM_OPERATION("kaIOSingleConfig");
    Call call(operation_, iDevice, iSubdevice, iChannel, iSingleConfig, iRef, iTrigChan, iTrigType,
              iTrigEdge, iFlags);
    return call.run({}, [&]() -> int {
        Library &lib = call.lib();
        if (int code = lib.requireSubdevice(iDevice, iSubdevice))
            return code;
        int code = lib.boards.configure(
            iDevice, iSubdevice,
            {iChannel, iSingleConfig, iRef, iTrigChan, iTrigType, iTrigEdge, iFlags});
        lib.changed.notify_all();
        return code;
    });
} catch (...) {
    return sim::exceptionCode();
}

// Call-level faults fail the call; each transfer's own fault goes to its
// record's result code and the others still run.
KA_API int kaIOSingle(kaSingleRecord *pSingleList, int iCount, int iFlags)
try {
    SIM_OPERATION("kaIOSingle");
    Call call(operation_, iCount, iFlags);
    return call.runList(pSingleList, iCount, iFlags,
                        [&](kaSingleRecord &r, Clock::time_point now) -> int {
                            return call.lib().boards.transfer(r, now);
                        });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaIOIrqStart(int iDevice, int iSubdevice, int iChannel, int iIrqSource, int iIrqEdge,
                        int iIrqArg, int iFlags)
try {
    SIM_OPERATION("kaIOIrqStart");
    Call call(operation_, iDevice, iSubdevice, iChannel, iIrqSource, iIrqEdge, iIrqArg, iFlags);
    return call.run({}, [&]() -> int {
        Library &lib = call.lib();
        if (int code = lib.requireSubdevice(iDevice, iSubdevice))
            return code;
        return lib.boards.irqStart(iDevice, iSubdevice, iChannel,
                                   {iIrqSource, iIrqEdge, iIrqArg, iFlags});
    });
} catch (...) {
    return sim::exceptionCode();
}

// A wait on the channel ends with KA_SIM_WAIT_STOPPED.
KA_API int kaIOIrqStop(int iDevice, int iSubdevice, int iChannel, int iFlags)
try {
    SIM_OPERATION("kaIOIrqStop");
    Call call(operation_, iDevice, iSubdevice, iChannel, iFlags);
    return call.run({}, [&]() -> int {
        Library &lib = call.lib();
        if (iFlags != KA_IO_IRQ_STOP_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (int code = lib.requireAccess(iDevice, iSubdevice))
            return code;
        int code = lib.boards.irqStop(iDevice, iSubdevice, iChannel);
        lib.changed.notify_all();
        return code;
    });
} catch (...) {
    return sim::exceptionCode();
}

// Returns at once when interrupts came since the last wait, else waits for
// the next one. The time-out is in milliseconds; 0 waits without limit.
KA_API int kaIOIrqWait(int iDevice, int iSubdevice, int iChannel, int *piIrqCount, int *piValue,
                       int iTimeOut, int iFlags)
try {
    SIM_OPERATION("kaIOIrqWait");
    Call call(operation_, iDevice, iSubdevice, iChannel, iTimeOut, iFlags);
    return call.run({sim::out(piIrqCount), sim::out(piValue)}, [&]() -> int {
        Library &lib = call.lib();
        if (iFlags != KA_IO_IRQ_WAIT_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (iTimeOut < 0)
            return KA_SIM_INVALID_ARGUMENT;
        if (int code = lib.requireAccess(iDevice, iSubdevice))
            return code;
        sim::IrqState *irq = lib.boards.irq(iDevice, iSubdevice, iChannel);
        if (!irq)
            return KA_SIM_INVALID_CHANNEL;
        if (!irq->armed)
            return KA_SIM_IRQ_NOT_STARTED;
        const unsigned long long session = irq->session;
        const Clock::time_point deadline = iTimeOut == 0
                                               ? Clock::time_point::max()
                                               : Clock::now() + std::chrono::milliseconds(iTimeOut);
        return call.waitFor(
            deadline, [&](Clock::time_point now, Clock::time_point &next) -> std::optional<int> {
                // Look again after every wake: a stop, reset or close may have come.
                irq = lib.open ? lib.boards.irq(iDevice, iSubdevice, iChannel) : nullptr;
                if (!irq || !irq->armed || irq->session != session)
                    return KA_SIM_WAIT_STOPPED;
                next = lib.boards.updateIrq(iDevice, iSubdevice, *irq, now);
                if (irq->fired <= irq->reported)
                    return std::nullopt;
                irq->reported = irq->fired;
                *piIrqCount = static_cast<int>(irq->fired);
                *piValue = irq->lastValue;
                return 0;
            });
    });
} catch (...) {
    return sim::exceptionCode();
}

} // extern "C"
