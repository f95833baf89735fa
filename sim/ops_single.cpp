// Single values and interrupts.
#include <chrono>
#include <optional>

#include "kinds/model.h"
#include "library.h"
#include "lookup.h"

using sim::Call;
using sim::Clock;
using sim::Export;
using sim::Library;
using sim::SubdeviceModel;

namespace
{

// One transfer of a kaIOSingle list; answers the entry's own result code. A
// record names its device and subdevice itself; an unplugged device is named
// before a subdevice it lacks.
int Transfer(Library &lib, kaSingleRecord &record, Clock::time_point now)
{
    const sim::Device *d = nullptr;
    if (int code = sim::FindDevice(lib.CurrentSystem(), record.device, d))
        return code;
    if (!d->plugged)
        return KA_SIM_DEVICE_UNPLUGGED;
    if (!sim::HasSubdevice(*d, record.subdevice))
        return KA_SIM_INVALID_SUBDEVICE;
    if (record.direction != KA_DIR_INPUT && record.direction != KA_DIR_OUTPUT)
        return KA_SIM_INVALID_DIRECTION;
    return lib.CurrentBoards().Model(record.device, record.subdevice).Transfer(record, now);
}

// The interrupt of a channel this program may use, or null for a subdevice
// or channel there is not (any longer).
sim::IrqState *FindIrq(Library &lib, int device, int subdevice, int channel)
{
    const sim::Subdevice *found = nullptr;
    if (!lib.IsOpen() || subdevice < 0 ||
        sim::FindSubdevice(lib.CurrentSystem(), device, subdevice, found) != 0)
        return nullptr;
    return lib.CurrentBoards().Model(device, subdevice).Irq(channel);
}

} // namespace

extern "C" {

KA_API int kaIOSingleConfig(int device, int subdevice, int channel, int singleConfig, int ref,
                            int trigChan, int trigType, int trigEdge, int flags)
{
    const auto body = [&](Call &call) -> int {
        SubdeviceModel *model = nullptr;
        if (int code = call.Lib().RequireSubdevice(device, subdevice, model))
            return code;
        return model->Configure({channel, singleConfig, ref, trigChan, trigType, trigEdge, flags});
    };
    return Export(
        "kaIOSingleConfig",
        {device, subdevice, channel, singleConfig, ref, trigChan, trigType, trigEdge, flags}, {},
        body);
}

// Call-level faults fail the call; each transfer's own fault goes to its
// record's result code and the others still run.
KA_API int kaIOSingle(kaSingleRecord *singleList, int count, int flags)
{
    const auto body = [&](Call &call) -> int {
        return call.RunList(
            singleList, count, flags,
            [&](kaSingleRecord &r, Clock::time_point now) { return Transfer(call.Lib(), r, now); });
    };
    return Export("kaIOSingle", {count, flags}, {}, body);
}

KA_API int kaIOIrqStart(int device, int subdevice, int channel, int irqSource, int irqEdge,
                        int irqArg, int flags)
{
    const auto body = [&](Call &call) -> int {
        SubdeviceModel *model = nullptr;
        if (int code = call.Lib().RequireSubdevice(device, subdevice, model))
            return code;
        call.Lib().CurrentBoards().MarkActive(*model); // first: it may run out of memory
        return model->ArmIrq(channel, {irqSource, irqEdge, irqArg, flags}, call.Now());
    };
    return Export("kaIOIrqStart", {device, subdevice, channel, irqSource, irqEdge, irqArg, flags},
                  {}, body);
}

// A wait on the channel ends with KA_SIM_WAIT_STOPPED.
KA_API int kaIOIrqStop(int device, int subdevice, int channel, int flags)
{
    const auto body = [&](Call &call) -> int {
        Library &lib = call.Lib();
        if (flags != KA_IO_IRQ_STOP_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (int code = lib.RequireAccess(device, subdevice))
            return code;
        if (subdevice < 0)
            return KA_SIM_INVALID_CHANNEL;
        return lib.CurrentBoards().Model(device, subdevice).DisarmIrq(channel);
    };
    return Export("kaIOIrqStop", {device, subdevice, channel, flags}, {}, body);
}

// Returns at once when interrupts came since the last wait, else waits for
// the next one. The time-out is in milliseconds of real time; 0 waits
// without limit.
KA_API int kaIOIrqWait(int device, int subdevice, int channel, int *irqCount, int *value,
                       int timeOut, int flags)
{
    const auto body = [&](Call &call) -> int {
        Library &lib = call.Lib();
        if (flags != KA_IO_IRQ_WAIT_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (timeOut < 0)
            return KA_SIM_INVALID_ARGUMENT;
        if (int code = lib.RequireAccess(device, subdevice))
            return code;
        sim::IrqState *irq = FindIrq(lib, device, subdevice, channel);
        if (!irq)
            return KA_SIM_INVALID_CHANNEL;
        if (!irq->armed)
            return KA_SIM_IRQ_NOT_STARTED;
        const unsigned long long session = irq->session;
        const Clock::time_point deadline = timeOut == 0
                                               ? Clock::time_point::max()
                                               : Clock::now() + std::chrono::milliseconds(timeOut);
        const auto fired = [&](Clock::time_point now,
                               Clock::time_point &next) -> std::optional<int> {
            // Looked up again after every wake: a stop, reset or close may have come.
            irq = FindIrq(lib, device, subdevice, channel);
            if (!irq || !irq->armed || irq->session != session)
                return KA_SIM_WAIT_STOPPED;
            next = lib.CurrentBoards().Model(device, subdevice).UpdateIrq(*irq, now);
            if (irq->fired <= irq->reported)
                return std::nullopt;
            irq->reported = irq->fired;
            *irqCount = static_cast<int>(irq->fired);
            *value = irq->lastValue;
            return 0;
        };
        return call.WaitFor(deadline, fired);
    };
    return Export("kaIOIrqWait", {device, subdevice, channel, timeOut, flags},
                  {sim::Out(irqCount), sim::Out(value)}, body);
}

} // extern "C"
