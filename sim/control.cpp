// The test-control API: settings and observations of the operations.
#include <algorithm>
#include <cstring>

#include "library.h"

using sim::Library;
using sim::OperationControl;
using sim::Owner;

namespace
{

// The control record of an operation for reading; none yet means all zero.
const OperationControl &observed(const char *operation)
{
    static const OperationControl none;
    const OperationControl *c = operation ? Library::instance().findControl(operation) : nullptr;
    return c ? *c : none;
}

} // namespace

extern "C" {

KA_API void kaSimReset(void)
try {
    Library &lib = Library::instance();
    std::lock_guard<std::mutex> lock(lib.mutex);
    lib.reset();
} catch (...) {
    // Nothing to report through; the state stays as the failed step left it.
}

KA_API int kaSimLoadSystem(const char *pcJson)
try {
    if (!pcJson)
        return KA_SIM_INVALID_POINTER;
    Library &lib = Library::instance();
    try {
        sim::System system = sim::parseSystem(pcJson); // read before the lock is taken
        std::lock_guard<std::mutex> lock(lib.mutex);
        lib.useSystem(std::move(system));
        return 0;
    } catch (const sim::SystemError &e) {
        std::lock_guard<std::mutex> lock(lib.mutex);
        return lib.refuseSystem(e.what());
    }
} catch (...) {
    return sim::exceptionCode();
}

KA_API void kaSimFastStreams(int iFast)
try {
    Library &lib = Library::instance();
    std::lock_guard<std::mutex> lock(lib.mutex);
    lib.fastStreams = iFast != 0;
} catch (...) {
    // Nothing to report through; the state stays as the failed step left it.
}

KA_API int kaSimResultCode(const char *pcName)
try {
    if (!pcName)
        return -1;
#define KA_SIM_RESULT(name, code, text)                                                            \
    if (std::strcmp(pcName, #name) == 0)                                                           \
        return code;
#include "result_codes.def"
#undef KA_SIM_RESULT
    return -1;
} catch (...) {
    return -1; // as for an unknown name
}

KA_API const char *kaSimResultName(int iCode)
{
    switch (iCode) {
#define KA_SIM_RESULT(name, code, text)                                                            \
    case code:                                                                                     \
        return #name;
#include "result_codes.def"
#undef KA_SIM_RESULT
    default:
        return nullptr;
    }
}

KA_API int kaSimFail(const char *pcOperation, int iCode, int iTimes)
try {
    if (!pcOperation)
        return KA_SIM_INVALID_POINTER;
    Library &lib = Library::instance();
    OperationControl &c = lib.control(pcOperation);
    std::lock_guard<std::mutex> lock(lib.mutex);
    c.failCode = iCode;
    c.failTimes = iTimes;
    return 0;
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaSimOverride(const char *pcOperation, int iSlot, double dValue)
try {
    if (!pcOperation)
        return KA_SIM_INVALID_POINTER;
    Library &lib = Library::instance();
    OperationControl &c = lib.control(pcOperation);
    std::lock_guard<std::mutex> lock(lib.mutex);
    c.overrides[iSlot] = dValue;
    return 0;
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaSimOverrideText(const char *pcOperation, const char *pcText)
try {
    if (!pcOperation || !pcText)
        return KA_SIM_INVALID_POINTER;
    Library &lib = Library::instance();
    OperationControl &c = lib.control(pcOperation);
    std::lock_guard<std::mutex> lock(lib.mutex);
    c.overrideText = true;
    c.text = pcText;
    return 0;
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaSimCallCount(const char *pcOperation)
try {
    std::lock_guard<std::mutex> lock(Library::instance().mutex);
    return observed(pcOperation).calls;
} catch (...) {
    return -1; // no count to give
}

KA_API int kaSimCapturedArgs(const char *pcOperation, double *pdArgs, int iCapacity)
try {
    std::lock_guard<std::mutex> lock(Library::instance().mutex);
    const std::vector<double> &args = observed(pcOperation).args;
    if (pdArgs && iCapacity > 0)
        std::copy_n(args.begin(), std::min<std::size_t>(args.size(), iCapacity), pdArgs);
    return static_cast<int>(args.size());
} catch (...) {
    return -1; // no count to give
}

KA_API int kaSimCapturedText(const char *pcOperation, char *pcText, int iCapacity)
try {
    std::lock_guard<std::mutex> lock(Library::instance().mutex);
    const std::string &text = observed(pcOperation).capturedText;
    sim::writeText(pcText, iCapacity, text);
    return static_cast<int>(text.size());
} catch (...) {
    return -1; // no count to give
}

KA_API int kaSimCapturedBytes(const char *pcOperation, int iIndex, void *pBytes, int iCapacity)
try {
    std::lock_guard<std::mutex> lock(Library::instance().mutex);
    const OperationControl &c = observed(pcOperation);
    if (iIndex < 0 || iIndex >= static_cast<int>(c.arrayCount))
        return -1;
    const auto &bytes = c.arrays[iIndex];
    if (pBytes && iCapacity > 0)
        std::memcpy(pBytes, bytes.data(), std::min<std::size_t>(bytes.size(), iCapacity));
    return static_cast<int>(bytes.size());
} catch (...) {
    return -1; // no count to give
}

KA_API unsigned long long kaSimCapturedAddress(const char *pcOperation, int iIndex)
try {
    std::lock_guard<std::mutex> lock(Library::instance().mutex);
    const OperationControl &c = observed(pcOperation);
    if (iIndex < 0 || iIndex >= static_cast<int>(c.arrayCount))
        return 0;
    return c.addresses[iIndex];
} catch (...) {
    return 0;
}

KA_API int kaSimForeignLock(int iDevice, int iSubdevice, int iLocked)
try {
    Library &lib = Library::instance();
    std::lock_guard<std::mutex> lock(lib.mutex);
    const Owner owner = iLocked ? Owner::Foreign : Owner::None;
    if (iDevice < 0)
        lib.locks.setDriver(owner);
    else if (iSubdevice < 0)
        lib.locks.setDevice(iDevice, owner);
    else
        lib.locks.setSubdevice(iDevice, iSubdevice, owner);
    return 0;
} catch (...) {
    return sim::exceptionCode();
}

KA_API int kaSimLockState(int iDevice, int iSubdevice)
try {
    Library &lib = Library::instance();
    std::lock_guard<std::mutex> lock(lib.mutex);
    Owner owner = iDevice < 0      ? lib.locks.driver()
                  : iSubdevice < 0 ? lib.locks.device(iDevice)
                                   : lib.locks.subdevice(iDevice, iSubdevice);
    return static_cast<int>(owner);
} catch (...) {
    return -1; // no count to give
}

} // extern "C"
