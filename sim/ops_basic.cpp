// Open, close, locks, resets and error texts.
#include "library.h"

using sim::Call;
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
try {
    TARVEX_SIM_OPERATION("kaOpen");
    Call call(operation, flags);
    return call.Run({}, [&]() -> int {
        if (flags != KA_OPEN_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (call.Lib().configuredFileRefused_)
            return KA_SIM_CONFIG_INVALID;
        call.Lib().open_ = true; // opening again keeps the state
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaClose(int flags)
try {
    TARVEX_SIM_OPERATION("kaClose");
    Call call(operation, flags);
    return call.Run({}, [&]() -> int {
        if (flags != KA_CLOSE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (int code = call.Lib().RequireOpen())
            return code;
        call.Lib().open_ = false;
        call.Lib().locks_.ReleaseOwn();
        call.Lib().boards_.DisarmAll();
        call.Lib().boards_.StopStreams(sim::Clock::now());
        call.Lib().changed_.notify_all();
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaLockDriver(int lock, int flags)
try {
    TARVEX_SIM_OPERATION("kaLockDriver");
    Call call(operation, lock, flags);
    return call.Run({}, [&]() -> int {
        sim::Library &lib = call.Lib();
        if (int code = lib.RequireOpen())
            return code;
        Owner owner = lib.locks_.DriverOwner();
        int code = ApplyLock(owner, lib.locks_.ForeignAnywhere(-1, -1), lock, flags);
        if (code == 0)
            lib.locks_.SetDriver(owner);
        return code;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaLockDevice(int device, int lock, int flags)
try {
    TARVEX_SIM_OPERATION("kaLockDevice");
    Call call(operation, device, lock, flags);
    return call.Run({}, [&]() -> int {
        sim::Library &lib = call.Lib();
        const sim::Device *found = nullptr;
        if (int code = lib.RequireOpen())
            return code;
        if (int code = sim::FindDevice(lib.system_, device, found))
            return code;
        Owner owner = lib.locks_.DeviceOwner(device);
        int code = ApplyLock(owner, lib.locks_.ForeignAnywhere(device, -1), lock, flags);
        if (code == 0)
            lib.locks_.SetDevice(device, owner);
        return code;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaLockSubdevice(int device, int subdevice, int lock, int flags)
try {
    TARVEX_SIM_OPERATION("kaLockSubdevice");
    Call call(operation, device, subdevice, lock, flags);
    return call.Run({}, [&]() -> int {
        sim::Library &lib = call.Lib();
        const sim::Subdevice *found = nullptr;
        if (int code = lib.RequireOpen())
            return code;
        if (int code = sim::FindSubdevice(lib.system_, device, subdevice, found))
            return code;
        Owner owner = lib.locks_.SubdeviceOwner(device, subdevice);
        int code = ApplyLock(owner, lib.locks_.ForeignAnywhere(device, subdevice), lock, flags);
        if (code == 0)
            lib.locks_.SetSubdevice(device, subdevice, owner);
        return code;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaIOResetDevice(int device, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOResetDevice");
    Call call(operation, device, flags);
    return call.Run({}, [&]() -> int {
        if (flags != KA_IO_RESET_DEVICE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (int code = call.Lib().RequireAccess(device, -1))
            return code;
        call.Lib().boards_.ResetDevice(device);
        call.Lib().changed_.notify_all();
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

KA_API int kaIOResetSubdevice(int device, int subdevice, int flags)
try {
    TARVEX_SIM_OPERATION("kaIOResetSubdevice");
    Call call(operation, device, subdevice, flags);
    return call.Run({}, [&]() -> int {
        if (flags != KA_IO_RESET_SUBDEVICE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (subdevice < 0)
            return KA_SIM_INVALID_SUBDEVICE;
        if (int code = call.Lib().RequireAccess(device, subdevice))
            return code;
        call.Lib().boards_.ResetSubdevice(device, subdevice);
        call.Lib().changed_.notify_all();
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

// Works before kaOpen, so a caller can always explain a failure. The text of
// the configuration code carries the reason the last description was refused.
KA_API int kaErrorGetMessage(int errorCode, char *errorMsg, int count)
try {
    TARVEX_SIM_OPERATION("kaErrorGetMessage");
    Call call(operation, errorCode, count);
    return call.Run({sim::OutText(errorMsg, count)}, [&]() -> int {
        const char *text = ResultText(errorCode);
        if (!text)
            return KA_SIM_INVALID_ARGUMENT;
        const std::string &reason = call.Lib().configError_;
        if (errorCode == KA_SIM_CONFIG_INVALID && !reason.empty())
            sim::WriteText(errorMsg, count, std::string(text) + ": " + reason);
        else
            sim::WriteText(errorMsg, count, text);
        return 0;
    });
} catch (...) {
    return sim::ExceptionCode();
}

} // extern "C"
