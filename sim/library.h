// The simulated library's state and the one frame every exported operation
// runs in: it catches every exception, holds the library lock, counts the
// call and captures its arguments for the test-control API, answers injected
// failures, checks and overrides out-values, keeps the reason a call gives
// for its failure, and wakes waiting callers once the call is done.
#ifndef TARVEX_SIM_LIBRARY_H
#define TARVEX_SIM_LIBRARY_H

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "boards.h"
#include "clock.h"
#include "ka_sim.h"
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

// Lock owners of the driver, each device and each subdevice. Only held locks
// are kept, with counts of the foreign ones, so that a check costs the same
// however many resources a program has locked.
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
    void CountForeign(int device, Owner before, Owner after);

    Owner driver_ = Owner::None;
    std::unordered_map<int, Owner> devices_;
    std::map<std::pair<int, int>, Owner> subdevices_;
    long long foreign_ = 0;                      // foreign device and subdevice locks
    std::unordered_map<int, int> foreignInside_; // device -> its foreign locks, itself included
};

class Call;

// The scalar arguments of a call, as the test-control API shows them.
struct Arguments {
    static constexpr std::size_t kMost = 16;

    Arguments() = default;
    template <class... Values>
    Arguments(Values... given) : count(sizeof...(given)), values{static_cast<double>(given)...}
    {
        static_assert(sizeof...(given) <= kMost, "more arguments than captured");
    }

    std::size_t count = 0;
    double values[kMost] = {};
};

class Library
{
  public:
    static Library &Instance();

    // For the test-control API, which runs outside the frame.
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(mutex_); }
    // Callers waiting in the frame look at the state again.
    void WakeWaiters()
    {
        if (waiting_ > 0)
            changed_.notify_all();
    }

    bool IsOpen() const { return open_; }
    void Open() { open_ = true; }
    // Closed: own locks released, streams stopped, interrupts disarmed.
    void Close();

    const System &CurrentSystem() const { return system_; }
    Boards &CurrentBoards() { return *boards_; }
    Locks &CurrentLocks() { return locks_; }
    SimClock &TheClock() { return clock_; }

    // Describes another system; its boards start in power-on state. Should
    // that fail (out of memory), the library keeps its system and boards.
    void UseSystem(System replacement);
    // Keeps the reason for the configuration code's message; answers that code.
    int RefuseSystem(const std::string &reason);
    // TARVEX_SIM_CONFIG named a file that could not be used: kaOpen fails
    // until a program loads a system of its own.
    bool StartupFileRefused() const { return !startupRefusal_.empty(); }
    const std::string &StartupRefusal() const { return startupRefusal_; }

    // Why the last call that failed with `code` did so, if it said; joined
    // to the code's text by kaErrorGetMessage.
    const std::string *Reason(int code) const;
    void SetReason(int code, std::string_view reason);

    OperationControl &Control(const std::string &operation);
    OperationControl *FindControl(const std::string &operation);

    // Back to the state right after loading.
    void Reset();

    // Checks shared by the operations; each answers a result code.
    int RequireOpen() const { return open_ ? 0 : KA_SIM_NOT_OPEN; }
    // The resource may be used by this program: open, present, not locked by
    // another owner (subdevice -1: the whole device).
    int RequireAccess(int device, int subdevice) const;
    // The same for one subdevice, and its model.
    int RequireSubdevice(int device, int subdevice, SubdeviceModel *&model);

  private:
    friend class Call;

    Library();
    // The file named by TARVEX_SIM_CONFIG, or the built-in system.
    void UseStartupSystem();

    std::mutex mutex_;                // guards all state; a call holds it from start to end
    std::condition_variable changed_; // waiting calls look again when it is notified
    int waiting_ = 0;                 // calls waiting on changed_

    bool open_ = false;
    System system_;                  // the system the library now describes
    std::unique_ptr<Boards> boards_; // its boards' run-time state; their models point at it
    Locks locks_;
    SimClock clock_;
    std::string startupRefusal_;
    std::map<int, std::string> reasons_;
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

// Copies text into a caller's buffer, always NUL-terminated; the library's
// texts are Latin-1, one byte a character.
void WriteText(char *buffer, int capacity, std::string_view text);

// Runs body(); an exception it throws becomes onFailure(code), with
// KA_SIM_OUT_OF_MEMORY for memory that ran out and KA_SIM_INTERNAL_ERROR for
// anything else. Every exported function of the library runs in it, so that
// no exception leaves the library.
template <class Body, class OnFailure>
auto Guarded(Body body, OnFailure onFailure) noexcept -> decltype(body())
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return onFailure(KA_SIM_OUT_OF_MEMORY);
    } catch (const std::length_error &) { // a container asked for more than it can hold
        return onFailure(KA_SIM_OUT_OF_MEMORY);
    } catch (...) {
        return onFailure(KA_SIM_INTERNAL_ERROR);
    }
}

// One call of an exported operation, as its body sees it. Holds the library
// lock for the call's lifetime (a waiting call gives it up while it waits).
class Call
{
  public:
    Call(OperationControl &control, const Arguments &args);

    Library &Lib() { return lib_; }
    Clock::time_point Now() const { return lib_.clock_.Now(); }

    void CaptureText(const char *text) { control_.capturedText = text ? text : ""; }
    void CaptureArray(const void *data, std::size_t bytes);
    void CaptureAddress(const void *data) { CaptureArray(data, 0); }

    // Fails the call with `code`, and says why for kaErrorGetMessage.
    int Fail(int code, std::string reason)
    {
        reason_ = std::move(reason);
        return code;
    }

    // Runs body() unless a failure is injected; checks the out-pointers
    // before and applies overrides after a successful body; keeps the reason
    // of a failure.
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
        const int code = body();
        if (code == 0)
            ApplyOverrides(outs);
        else
            lib_.SetReason(code, reason_);
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
        const Clock::time_point now = Now();
        for (int i = 0; i < count; ++i)
            list[i].resultCode = entry(list[i], now);
        if (count > 0)
            OverrideRecords(&list->device, count, sizeof(Record) / sizeof(int));
        return 0;
    }

    // Waits until step(now, next) answers a result code, asking again after
    // every wake and when the library's clock shows `next`: step sets it to
    // when its state will change by itself (left at time_point::max(), only
    // another call changes it). A fast clock is moved on to `next` at once.
    // The library lock is given up meanwhile. KA_SIM_TIMEOUT once the real
    // time `deadline` has passed.
    template <class Step> int WaitFor(Clock::time_point deadline, Step step)
    {
        SimClock &clock = lib_.clock_;
        for (;;) {
            Clock::time_point next = Clock::time_point::max();
            if (const std::optional<int> code = step(clock.Now(), next))
                return *code;
            const Clock::time_point now = clock.Now();
            if (next != Clock::time_point::max() && next > now && clock.SkipTo(next)) {
                lib_.WakeWaiters(); // their wake-up times moved with the clock
                continue;
            }
            if (Clock::now() >= deadline)
                return KA_SIM_TIMEOUT;
            const Clock::time_point until = std::min(deadline, clock.RealTimeOf(next));
            ++lib_.waiting_;
            if (until == Clock::time_point::max())
                lib_.changed_.wait(lock_);
            else
                lib_.changed_.wait_until(lock_, until);
            --lib_.waiting_;
        }
    }

  private:
    int TakeInjectedFailure();
    void ApplyOverrides(std::initializer_list<OutArgument> outs);

    Library &lib_;
    std::unique_lock<std::mutex> lock_;
    OperationControl &control_;
    std::string reason_;
};

// The frame of every exported operation: body(call) is the operation's own
// work; outs are its out-arguments in argument order; args its scalar
// arguments as the test-control API shows them.
template <class Body>
int Export(const char *name, const Arguments &args, std::initializer_list<OutArgument> outs,
           Body body) noexcept
{
    const auto operation = [&] {
        // Every export's body is a lambda of its own type, so every export
        // has its own instance of this function, and looks its control
        // record up once.
        static OperationControl &control = Library::Instance().Control(name);
        Call call(control, args);
        const int code = call.Run(outs, [&] { return body(call); });
        call.Lib().WakeWaiters();
        return code;
    };
    return Guarded(operation, [](int code) { return code; });
}

} // namespace sim

#endif
