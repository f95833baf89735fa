// Open, close, locks, resets and error texts.
#include "kinds/model.h"
#include "library.h"
#include "lookup.h"

using sim::Call;
using sim::Export;
using sim::Library;
using sim::Owner;

namespace
{

const char *ResultText(int code)
{
    switch (code) {
#define KA_SIM_RESULT(name, value, text)                                                           \
    case value:                                                                                    \
        return text;
#include "result_codes.def"
#undef KA_SIM_RESULT
    default:
        return nullptr;
    }
}

// One lock request on a resource whose current owner is `owner`.
int ApplyLock(Owner &owner, bool foreignNearby, int lock, int flags)
{
    if (flags != KA_LOCK_DRIVER_NO_FLAGS)
        return KA_SIM_INVALID_FLAGS;
    switch (lock) {
    case KA_LOCK_SET:
        if (foreignNearby)
            return KA_SIM_LOCKED;
        owner = Owner::Self;
        return 0;
    case KA_LOCK_RELEASE:
        if (owner == Owner::Foreign)
            return KA_SIM_LOCKED;
        owner = Owner::None;
        return 0;
    case KA_LOCK_CHECK:
        return foreignNearby ? KA_SIM_LOCKED : 0;
    default:
        return KA_SIM_INVALID_LOCK;
    }
}

} // namespace

extern "C" {

KA_API int kaOpen(int flags)
{
    const auto body = [&](Call &call) -> int {
        if (flags != KA_OPEN_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        Library &lib = call.Lib();
        if (lib.StartupFileRefused())
            return call.Fail(KA_SIM_CONFIG_INVALID, lib.StartupRefusal());
        lib.Open(); // opening again keeps the state
        return 0;
    };
    return Export("kaOpen", {flags}, {}, body);
}

KA_API int kaClose(int flags)
{
    const auto body = [&](Call &call) -> int {
        if (flags != KA_CLOSE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (int code = call.Lib().RequireOpen())
            return code;
        call.Lib().Close();
        return 0;
    };
    return Export("kaClose", {flags}, {}, body);
}

KA_API int kaLockDriver(int lock, int flags)
{
    const auto body = [&](Call &call) -> int {
        Library &lib = call.Lib();
        if (int code = lib.RequireOpen())
            return code;
        sim::Locks &locks = lib.CurrentLocks();
        Owner owner = locks.DriverOwner();
        const int code = ApplyLock(owner, locks.ForeignAnywhere(-1, -1), lock, flags);
        if (code == 0)
            locks.SetDriver(owner);
        return code;
    };
    return Export("kaLockDriver", {lock, flags}, {}, body);
}

KA_API int kaLockDevice(int device, int lock, int flags)
{
    const auto body = [&](Call &call) -> int {
        Library &lib = call.Lib();
        const sim::Device *found = nullptr;
        if (int code = lib.RequireOpen())
            return code;
        if (int code = sim::FindDevice(lib.CurrentSystem(), device, found))
            return code;
        sim::Locks &locks = lib.CurrentLocks();
        Owner owner = locks.DeviceOwner(device);
        const int code = ApplyLock(owner, locks.ForeignAnywhere(device, -1), lock, flags);
        if (code == 0)
            locks.SetDevice(device, owner);
        return code;
    };
    return Export("kaLockDevice", {device, lock, flags}, {}, body);
}

KA_API int kaLockSubdevice(int device, int subdevice, int lock, int flags)
{
    const auto body = [&](Call &call) -> int {
        Library &lib = call.Lib();
        const sim::Subdevice *found = nullptr;
        if (int code = lib.RequireOpen())
            return code;
        if (int code = sim::FindSubdevice(lib.CurrentSystem(), device, subdevice, found))
            return code;
        sim::Locks &locks = lib.CurrentLocks();
        Owner owner = locks.SubdeviceOwner(device, subdevice);
        const int code = ApplyLock(owner, locks.ForeignAnywhere(device, subdevice), lock, flags);
        if (code == 0)
            locks.SetSubdevice(device, subdevice, owner);
        return code;
    };
    return Export("kaLockSubdevice", {device, subdevice, lock, flags}, {}, body);
}

KA_API int kaIOResetDevice(int device, int flags)
{
    const auto body = [&](Call &call) -> int {
        if (flags != KA_IO_RESET_DEVICE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (int code = call.Lib().RequireAccess(device, -1))
            return code;
        call.Lib().CurrentBoards().ResetDevice(device);
        return 0;
    };
    return Export("kaIOResetDevice", {device, flags}, {}, body);
}

KA_API int kaIOResetSubdevice(int device, int subdevice, int flags)
{
    const auto body = [&](Call &call) -> int {
        if (flags != KA_IO_RESET_SUBDEVICE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (subdevice < 0)
            return KA_SIM_INVALID_SUBDEVICE;
        sim::SubdeviceModel *model = nullptr;
        if (int code = call.Lib().RequireSubdevice(device, subdevice, model))
            return code;
        model->Reset();
        return 0;
    };
    return Export("kaIOResetSubdevice", {device, subdevice, flags}, {}, body);
}

// Works before kaOpen, so a caller can always explain a failure. The text
// carries the reason the last call that failed with the code gave, if any
// (for the configuration code: why the last description was refused).
KA_API int kaErrorGetMessage(int errorCode, char *errorMsg, int count)
{
    const auto body = [&](Call &call) -> int {
        const char *text = ResultText(errorCode);
        if (!text)
            return KA_SIM_INVALID_ARGUMENT;
        if (const std::string *reason = call.Lib().Reason(errorCode))
            sim::WriteText(errorMsg, count, std::string(text) + ": " + *reason);
        else
            sim::WriteText(errorMsg, count, text);
        return 0;
    };
    return Export("kaErrorGetMessage", {errorCode, count}, {sim::OutText(errorMsg, count)}, body);
}

} // extern "C"
