// The simulated library's state and the frame every exported operation runs
// in: one lock for all state, call accounting, injected failures, overridden
// out-values and captured arguments for the test-control API.
#ifndef TARVEX_SIM_LIBRARY_H
#define TARVEX_SIM_LIBRARY_H

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "boards.h"
#include "ka_sim.h"
#include "lookup.h"
#include "system.h"

namespace sim
{

// What tests have set and seen of one operation.
struct OperationControl {
    int failCode = 0;
    int failTimes = 0;               // -1: always
    std::map<int, double> overrides; // out slot -> value
    bool overrideText = false;
    std::string text;
    int calls = 0;
    std::vector<double> args;
    std::string capturedText;
    // Arrays of the last call: the first `arrayCount` entries count; the
    // buffers are kept between calls so capturing allocates nothing.
    std::vector<std::vector<unsigned char>> arrays;
    std::vector<std::uintptr_t> addresses;
    std::size_t arrayCount = 0;

    void Clear() { *this = OperationControl(); }
};

enum class Owner { None, Self, Foreign };

// Lock owners of the driver, each device and each subdevice.
class Locks
{
  public:
    Owner DriverOwner() const { return driver_; }
    Owner DeviceOwner(int device) const;
    Owner SubdeviceOwner(int device, int subdevice) const;
    void SetDriver(Owner owner) { driver_ = owner; }
    void SetDevice(int device, Owner owner);
    void SetSubdevice(int device, int subdevice, Owner owner);
    // Another owner holds the resource or something that contains or lies
    // within it (device -1: the driver; subdevice -1: the whole device).
    bool ForeignAnywhere(int device, int subdevice) const;
    void ReleaseOwn();
    void Clear() { *this = Locks(); }

  private:
    Owner driver_ = Owner::None;
    std::map<int, Owner> devices_;
    std::map<std::pair<int, int>, Owner> subdevices_;
};

class Library
{
  public:
    static Library &Instance();

    std::mutex mutex_;
    std::condition_variable changed_; // any state a waiting call may look at

    bool open_ = false;
    bool fastStreams_ = false; // streams run as fast as they are read or written
    System system_;            // the system the library now describes
    Boards boards_;            // the run-time state of its boards
    Locks locks_;
    // Why the last system description offered was refused, as the message of
    // KA_SIM_CONFIG_INVALID tells it; empty once a description is taken.
    std::string configError_;
    // TARVEX_SIM_CONFIG named a file that could not be used: kaOpen fails
    // until a program loads a system of its own.
    bool configuredFileRefused_ = false;

    // Describes another system; its boards start in power-on state. Should
    // that fail (out of memory), the library keeps its system and boards.
    void UseSystem(System replacement);
    // Keeps the reason for the configuration code's message; answers that code.
    int RefuseSystem(const char *reason);

    OperationControl &Control(const std::string &operation);
    OperationControl *FindControl(const std::string &operation);

    // Back to the state right after loading.
    void Reset();

    // Checks shared by the operations; each answers a result code.
    int RequireOpen() const;
    // The resource may be used by this program: open, present, not locked by
    // another owner (subdevice -1: the whole device).
    int RequireAccess(int device, int subdevice) const;
    // The same for one subdevice.
    int RequireSubdevice(int device, int subdevice) const;

  private:
    Library();
    // The file named by TARVEX_SIM_CONFIG, or the built-in system.
    void UseStartupSystem();
    std::map<std::string, OperationControl> controls_;
};

// An out-argument of an operation, in argument order.
struct OutArgument {
    enum class Kind { Int, Double, Text };
    Kind kind;
    void *pointer;
    int capacity;
};
inline OutArgument Out(int *p)
{
    return {OutArgument::Kind::Int, p, 0};
}
inline OutArgument Out(double *p)
{
    return {OutArgument::Kind::Double, p, 0};
}
inline OutArgument OutText(char *p, int capacity)
{
    return {OutArgument::Kind::Text, p, capacity};
}

// Copies text into a caller's buffer, always NUL-terminated; a text that
// does not fit is cut before the first UTF-8 character that does not fit whole.
void WriteText(char *buffer, int capacity, std::string_view text);

// The result code for the exception being handled. Every exported operation
// ends in a handler that answers it, so that no exception leaves the library.
int ExceptionCode() noexcept;

// The frame of one call of an exported operation. Holds the library lock
// for the call's lifetime (a waiting call gives it up while it waits).
class Call
{
  public:
    template <class... Args>
    Call(OperationControl &control, Args... args)
        : lib_(Library::Instance()), lock_(lib_.mutex_), control_(control)
    {
        ++control_.calls;
        control_.args.assign({static_cast<double>(args)...});
        control_.capturedText.clear();
        control_.arrayCount = 0;
    }

    Library &Lib() { return lib_; }

    void CaptureText(const char *text) { control_.capturedText = text ? text : ""; }
    void CaptureArray(const void *data, std::size_t bytes);
    void CaptureAddress(const void *data);

    // Runs body() unless a failure is injected; checks the out-pointers
    // before and applies overrides after a successful body.
    template <class Body> int Run(std::initializer_list<OutArgument> outs, Body body)
    {
        if (int injected = TakeInjectedFailure())
            return injected;
        for (const OutArgument &o : outs) {
            if (!o.pointer)
                return KA_SIM_INVALID_POINTER;
            if (o.kind == OutArgument::Kind::Text && o.capacity <= 0)
                return KA_SIM_INVALID_COUNT;
        }
        int code = body();
        if (code == 0)
            ApplyOverrides(outs);
        return code;
    }

    // Applies the overrides to the fields of every record of an array.
    void OverrideRecords(int *words, int count, int recordWords);

    // Overridden integer for slot, or the given value.
    int Overridden(int slot, int value) const;
    bool HasOverride(int slot) const { return control_.overrides.count(slot) != 0; }

    // The record lists of kaIOSingle, kaIOStreamStart and kaIOStreamStop. The
    // call fails as a whole when closed, given flags, a negative count, no
    // list, or a record naming a resource another owner locked; otherwise
    // each record's result code comes from entry(record, now), one instant
    // for the whole list.
    template <class Record, class Entry>
    int RunList(Record *list, int count, int flags, Entry entry)
    {
        CaptureArray(list, list && count > 0 ? count * sizeof(Record) : 0);
        return Run({}, [&]() -> int {
            if (int code = lib_.RequireOpen())
                return code;
            if (flags != 0)
                return KA_SIM_INVALID_FLAGS;
            if (count < 0)
                return KA_SIM_INVALID_COUNT;
            if (count > 0 && !list)
                return KA_SIM_INVALID_POINTER;
            for (int i = 0; i < count; ++i)
                if (lib_.locks_.ForeignAnywhere(list[i].device, std::max(list[i].subdevice, 0)))
                    return KA_SIM_LOCKED;
            const Clock::time_point now = Clock::now();
            for (int i = 0; i < count; ++i)
                list[i].resultCode = entry(list[i], now);
            if (count > 0)
                OverrideRecords(&list->device, count, sizeof(Record) / sizeof(int));
            lib_.changed_.notify_all();
            return 0;
        });
    }

    // Waits until step(now, next) answers a result code, asking again after
    // every wake and when `next` comes: step sets it to when its state will
    // change by itself (left at time_point::max(), only another call changes
    // it). The library lock is given up meanwhile. KA_SIM_TIMEOUT once the
    // deadline has passed.
    template <class Step> int WaitFor(Clock::time_point deadline, Step step)
    {
        for (;;) {
            const Clock::time_point now = Clock::now();
            Clock::time_point next = Clock::time_point::max();
            if (const std::optional<int> code = step(now, next))
                return *code;
            if (now >= deadline)
                return KA_SIM_TIMEOUT;
            const Clock::time_point until = std::min(deadline, next);
            if (until == Clock::time_point::max())
                lib_.changed_.wait(lock_);
            else
                lib_.changed_.wait_until(lock_, until);
        }
    }

  private:
    int TakeInjectedFailure();
    void ApplyOverrides(std::initializer_list<OutArgument> outs);

    Library &lib_;
    std::unique_lock<std::mutex> lock_;
    OperationControl &control_;
};

// The control record of an operation, looked up once per call site.
#define TARVEX_SIM_OPERATION(name)                                                                 \
    static ::sim::OperationControl &operation = ::sim::Library::Instance().Control(name)

} // namespace sim

#endif
