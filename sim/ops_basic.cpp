// Open, close, locks, resets and error texts.
#include "library.h"

using sim::Call;
using sim::Owner;

namespace
{

const char *resultText(int code)
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
int applyLock(Owner &owner, bool foreignNearby, int lock, int flags)
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

KA_API int kaOpen(int iFlags)
try {
    SIM_OPERATION("kaOpen");
    Call call(operation_, iFlags);
    return call.run({}, [&]() -> int {
        if (iFlags != KA_OPEN_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (call.lib().configuredFileRefused)
            return KA_SIM_CONFIG_INVALID;
        call.lib().open = true; // opening again keeps the state
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaClose(int iFlags)
try {
    SIM_OPERATION("kaClose");
    Call call(operation_, iFlags);
    return call.run({}, [&]() -> int {
        if (iFlags != KA_CLOSE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (int code = call.lib().requireOpen())
            return code;
        call.lib().open = false;
        call.lib().locks.releaseOwn();
        call.lib().boards.disarmAll();
        call.lib().boards.stopStreams(sim::Clock::now());
        call.lib().changed.notify_all();
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaLockDriver(int iLock, int iFlags)
try {
    SIM_OPERATION("kaLockDriver");
    Call call(operation_, iLock, iFlags);
    return call.run({}, [&]() -> int {
        sim::Library &lib = call.lib();
        if (int code = lib.requireOpen())
            return code;
        Owner owner = lib.locks.driver();
        int code = applyLock(owner, lib.locks.foreignAnywhere(-1, -1), iLock, iFlags);
        if (code == 0)
            lib.locks.setDriver(owner);
        return code;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaLockDevice(int iDevice, int iLock, int iFlags)
try {
    SIM_OPERATION("kaLockDevice");
    Call call(operation_, iDevice, iLock, iFlags);
    return call.run({}, [&]() -> int {
        sim::Library &lib = call.lib();
        const sim::Device *device = nullptr;
        if (int code = lib.requireOpen())
            return code;
        if (int code = sim::findDevice(lib.system, iDevice, device))
            return code;
        Owner owner = lib.locks.device(iDevice);
        int code = applyLock(owner, lib.locks.foreignAnywhere(iDevice, -1), iLock, iFlags);
        if (code == 0)
            lib.locks.setDevice(iDevice, owner);
        return code;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaLockSubdevice(int iDevice, int iSubdevice, int iLock, int iFlags)
try {
    SIM_OPERATION("kaLockSubdevice");
    Call call(operation_, iDevice, iSubdevice, iLock, iFlags);
    return call.run({}, [&]() -> int {
        sim::Library &lib = call.lib();
        const sim::Subdevice *subdevice = nullptr;
        if (int code = lib.requireOpen())
            return code;
        if (int code = sim::findSubdevice(lib.system, iDevice, iSubdevice, subdevice))
            return code;
        Owner owner = lib.locks.subdevice(iDevice, iSubdevice);
        int code = applyLock(owner, lib.locks.foreignAnywhere(iDevice, iSubdevice), iLock, iFlags);
        if (code == 0)
            lib.locks.setSubdevice(iDevice, iSubdevice, owner);
        return code;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaIOResetDevice(int iDevice, int iFlags)
try {
    SIM_OPERATION("kaIOResetDevice");
    Call call(operation_, iDevice, iFlags);
    return call.run({}, [&]() -> int {
        if (iFlags != KA_IO_RESET_DEVICE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (int code = call.lib().requireAccess(iDevice, -1))
            return code;
        call.lib().boards.resetDevice(iDevice);
        call.lib().changed.notify_all();
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaIOResetSubdevice(int iDevice, int iSubdevice, int iFlags)
try {
    SIM_OPERATION("kaIOResetSubdevice");
    Call call(operation_, iDevice, iSubdevice, iFlags);
    return call.run({}, [&]() -> int {
        if (iFlags != KA_IO_RESET_SUBDEVICE_NO_FLAGS)
            return KA_SIM_INVALID_FLAGS;
        if (iSubdevice < 0)
            return KA_SIM_INVALID_SUBDEVICE;
        if (int code = call.lib().requireAccess(iDevice, iSubdevice))
            return code;
        call.lib().boards.resetSubdevice(iDevice, iSubdevice);
        call.lib().changed.notify_all();
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

// Works before kaOpen, so a caller can always explain a failure. The text of
// the configuration code carries the reason the last description was refused.
KA_API int kaErrorGetMessage(int iErrorCode, char *pcErrorMsg, int iCount)
try {
    SIM_OPERATION("kaErrorGetMessage");
    Call call(operation_, iErrorCode, iCount);
    return call.run({sim::outText(pcErrorMsg, iCount)}, [&]() -> int {
        const char *text = resultText(iErrorCode);
        if (!text)
            return KA_SIM_INVALID_ARGUMENT;
        const std::string &reason = call.lib().configError;
        if (iErrorCode == KA_SIM_CONFIG_INVALID && !reason.empty())
            sim::writeText(pcErrorMsg, iCount, std::string(text) + ": " + reason);
        else
            sim::writeText(pcErrorMsg, iCount, text);
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

} // extern "C"
