// The test-control API: settings and observations of the operations.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "library.h"
#include "lookup.h"

using sim::Library;
using sim::OperationControl;
using sim::Owner;

namespace
{

// The control record of an operation for reading; none yet means all zero.
const OperationControl &Observed(const char *operation)
{
    static const OperationControl kNothingSeen;
    const OperationControl *c = operation ? Library::Instance().FindControl(operation) : nullptr;
    return c ? *c : kNothingSeen;
}

// Changes the control record of an operation under the library lock.
template <class Change> int ChangeControl(const char *operation, Change change)
{
    if (!operation)
        return KA_SIM_INVALID_POINTER;
    Library &lib = Library::Instance();
    OperationControl &c = lib.Control(operation);
    const auto lock = lib.Lock();
    change(c);
    return 0;
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// What an analog input channel's signal is, in the words kaSimWiring uses.
std::string SignalText(const sim::Signal &s)
{
    using Kind = sim::Signal::Kind;
    switch (s.kind) {
    case Kind::Constant:
        return "constant: " + Number(s.value);
    case Kind::Loopback:
        return "loopback: device " + std::to_string(s.device) + ", subdevice " +
               std::to_string(s.subdevice) + ", channel " + std::to_string(s.channel);
    case Kind::Sine:
    case Kind::Square:
    case Kind::Sawtooth: {
        const char *name = s.kind == Kind::Sine     ? "sine"
                           : s.kind == Kind::Square ? "square"
                                                    : "sawtooth";
        return std::string(name) + ": amplitude " + Number(s.amplitude) + ", frequency " +
               Number(s.frequency) + " Hz, offset " + Number(s.value);
    }
    }
    return {};
}

// What a function that answers a result code answers when it cannot go on.
int AsCode(int code)
{
    return code;
}

// What a function that answers a count answers when it cannot give one.
int NoCount(int)
{
    return -1;
}

} // namespace

extern "C" {

KA_API void kaSimReset(void)
{
    // Nothing to report through; the state stays as the failed step left it.
    const auto body = [&]() {
        Library &lib = Library::Instance();
        const auto lock = lib.Lock();
        lib.Reset();
        lib.WakeWaiters();
    };
    sim::Guarded(body, [](int) {});
}

KA_API int kaSimLoadSystem(const char *json)
{
    const auto body = [&]() -> int {
        if (!json)
            return KA_SIM_INVALID_POINTER;
        Library &lib = Library::Instance();
        try {
            sim::System system = sim::ParseSystem(json); // read before the lock is taken
            const auto lock = lib.Lock();
            lib.UseSystem(std::move(system));
            lib.WakeWaiters();
            return 0;
        } catch (const sim::SystemError &e) {
            const auto lock = lib.Lock();
            return lib.RefuseSystem(e.what());
        }
    };
    return sim::Guarded(body, AsCode);
}

KA_API int kaSimClock(int source)
{
    const auto body = [&]() -> int {
        using Source = sim::SimClock::Source;
        static const Source kSources[] = {Source::Real, Source::Fast, Source::Stepped};
        if (source < 0 || source >= static_cast<int>(std::size(kSources)))
            return KA_SIM_INVALID_ARGUMENT;
        Library &lib = Library::Instance();
        const auto lock = lib.Lock();
        lib.TheClock().Use(kSources[source]);
        lib.WakeWaiters();
        return 0;
    };
    return sim::Guarded(body, AsCode);
}

KA_API int kaSimAdvanceClock(double seconds)
{
    const auto body = [&]() -> int {
        constexpr double kYear = 365.0 * 24 * 3600;
        if (!(seconds >= 0 && seconds <= kYear))
            return KA_SIM_INVALID_ARGUMENT;
        const std::chrono::nanoseconds step(std::llround(seconds * 1e9));
        Library &lib = Library::Instance();
        const auto lock = lib.Lock();
        if (!lib.TheClock().Advance(step))
            return KA_SIM_INVALID_ARGUMENT;
        lib.WakeWaiters();
        return 0;
    };
    return sim::Guarded(body, AsCode);
}

KA_API int kaSimResultCode(const char *name)
{
    const auto body = [&]() -> int {
        if (!name)
            return -1;
#define KA_SIM_RESULT(id, value, text)                                                             \
    if (std::strcmp(name, #id) == 0)                                                               \
        return value;
#include "result_codes.def"
#undef KA_SIM_RESULT
        return -1;
    };
    return sim::Guarded(body, NoCount); // -1, as for an unknown name
}

KA_API const char *kaSimResultName(int code)
{
    switch (code) {
#define KA_SIM_RESULT(name, code, text)                                                            \
    case code:                                                                                     \
        return #name;
#include "result_codes.def"
#undef KA_SIM_RESULT
    default:
        return nullptr;
    }
}

KA_API int kaSimFail(const char *operation, int code, int times)
{
    const auto body = [&]() -> int {
        return ChangeControl(operation, [&](OperationControl &c) {
            c.failCode = code;
            c.failTimes = times;
        });
    };
    return sim::Guarded(body, AsCode);
}

KA_API int kaSimOverride(const char *operation, int slot, double value)
{
    const auto body = [&]() -> int {
        return ChangeControl(operation, [&](OperationControl &c) { c.overrides[slot] = value; });
    };
    return sim::Guarded(body, AsCode);
}

KA_API int kaSimOverrideText(const char *operation, const char *text)
{
    const auto body = [&]() -> int {
        if (!text)
            return KA_SIM_INVALID_POINTER;
        return ChangeControl(operation, [&](OperationControl &c) {
            c.overrideText = true;
            c.text = text;
        });
    };
    return sim::Guarded(body, AsCode);
}

KA_API int kaSimCallCount(const char *operation)
{
    const auto body = [&]() -> int {
        const auto lock = Library::Instance().Lock();
        return Observed(operation).calls;
    };
    return sim::Guarded(body, NoCount);
}

KA_API int kaSimCapturedArgs(const char *operation, double *args, int capacity)
{
    const auto body = [&]() -> int {
        const auto lock = Library::Instance().Lock();
        const std::vector<double> &captured = Observed(operation).args;
        if (args && capacity > 0)
            std::copy_n(captured.begin(), std::min<std::size_t>(captured.size(), capacity), args);
        return static_cast<int>(captured.size());
    };
    return sim::Guarded(body, NoCount);
}

KA_API int kaSimCapturedText(const char *operation, char *text, int capacity)
{
    const auto body = [&]() -> int {
        const auto lock = Library::Instance().Lock();
        const std::string &captured = Observed(operation).capturedText;
        sim::WriteText(text, capacity, captured);
        return static_cast<int>(captured.size());
    };
    return sim::Guarded(body, NoCount);
}

KA_API int kaSimCapturedBytes(const char *operation, int index, void *bytes, int capacity)
{
    const auto body = [&]() -> int {
        const auto lock = Library::Instance().Lock();
        const OperationControl &c = Observed(operation);
        if (index < 0 || index >= static_cast<int>(c.arrayCount))
            return -1;
        const auto &captured = c.arrays[index];
        if (bytes && capacity > 0)
            std::memcpy(bytes, captured.data(), std::min<std::size_t>(captured.size(), capacity));
        return static_cast<int>(captured.size());
    };
    return sim::Guarded(body, NoCount);
}

KA_API unsigned long long kaSimCapturedAddress(const char *operation, int index)
{
    const auto body = [&]() -> unsigned long long {
        const auto lock = Library::Instance().Lock();
        const OperationControl &c = Observed(operation);
        if (index < 0 || index >= static_cast<int>(c.arrayCount))
            return 0;
        return c.addresses[index];
    };
    return sim::Guarded(body, [](int) { return 0ULL; });
}

KA_API int kaSimForeignLock(int device, int subdevice, int locked)
{
    const auto body = [&]() -> int {
        Library &lib = Library::Instance();
        const auto lock = lib.Lock();
        const Owner owner = locked ? Owner::Foreign : Owner::None;
        sim::Locks &locks = lib.CurrentLocks();
        if (device < 0)
            locks.SetDriver(owner);
        else if (subdevice < 0)
            locks.SetDevice(device, owner);
        else
            locks.SetSubdevice(device, subdevice, owner);
        lib.WakeWaiters();
        return 0;
    };
    return sim::Guarded(body, AsCode);
}

KA_API int kaSimLockState(int device, int subdevice)
{
    const auto body = [&]() -> int {
        Library &lib = Library::Instance();
        const auto lock = lib.Lock();
        const sim::Locks &locks = lib.CurrentLocks();
        Owner owner = device < 0      ? locks.DriverOwner()
                      : subdevice < 0 ? locks.DeviceOwner(device)
                                      : locks.SubdeviceOwner(device, subdevice);
        return static_cast<int>(owner);
    };
    return sim::Guarded(body, NoCount);
}

KA_API int kaSimWiring(int device, int subdevice, int channel, char *text, int capacity)
{
    const auto body = [&]() -> int {
        Library &lib = Library::Instance();
        const auto lock = lib.Lock();
        const sim::Subdevice *sub = nullptr;
        if (sim::FindSubdevice(lib.CurrentSystem(), device, subdevice, sub) != 0)
            return -1;
        std::string wiring;
        if (sub->loopback.Present()) {
            wiring = "lines: device " + std::to_string(sub->loopback.device) + ", subdevice " +
                     std::to_string(sub->loopback.subdevice);
        } else {
            if (channel < 0 || channel >= sub->channels)
                return -1;
            auto it = sub->signals.find(channel);
            if (it != sub->signals.end())
                wiring = SignalText(it->second);
        }
        sim::WriteText(text, capacity, wiring);
        return static_cast<int>(wiring.size());
    };
    return sim::Guarded(body, NoCount);
}

} // extern "C"
