#include "library.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "latin1.h"
#include "lookup.h"

namespace sim
{
namespace
{

std::mutex controlsMutex; // guards the shape of the control map only

} // namespace

Owner Locks::DeviceOwner(int device) const
{
    auto it = devices_.find(device);
    return it == devices_.end() ? Owner::None : it->second;
}

Owner Locks::SubdeviceOwner(int device, int subdevice) const
{
    auto it = subdevices_.find({device, subdevice});
    return it == subdevices_.end() ? Owner::None : it->second;
}

void Locks::CountForeign(int device, Owner before, Owner after)
{
    const int change = (after == Owner::Foreign) - (before == Owner::Foreign);
    if (change == 0)
        return;
    foreign_ += change;
    if ((foreignInside_[device] += change) == 0)
        foreignInside_.erase(device);
}

void Locks::SetDevice(int device, Owner owner)
{
    CountForeign(device, DeviceOwner(device), owner);
    if (owner == Owner::None)
        devices_.erase(device);
    else
        devices_[device] = owner;
}

void Locks::SetSubdevice(int device, int subdevice, Owner owner)
{
    CountForeign(device, SubdeviceOwner(device, subdevice), owner);
    if (owner == Owner::None)
        subdevices_.erase({device, subdevice});
    else
        subdevices_[{device, subdevice}] = owner;
}

bool Locks::ForeignAnywhere(int device, int subdevice) const
{
    if (driver_ == Owner::Foreign)
        return true;
    if (device < 0)
        return foreign_ > 0;
    if (foreignInside_.count(device) == 0)
        return false;
    if (subdevice < 0 || DeviceOwner(device) == Owner::Foreign)
        return true;
    return SubdeviceOwner(device, subdevice) == Owner::Foreign;
}

void Locks::ReleaseOwn()
{
    if (driver_ == Owner::Self)
        driver_ = Owner::None;
    for (auto it = devices_.begin(); it != devices_.end();)
        it = it->second == Owner::Self ? devices_.erase(it) : std::next(it);
    for (auto it = subdevices_.begin(); it != subdevices_.end();)
        it = it->second == Owner::Self ? subdevices_.erase(it) : std::next(it);
}

Library &Library::Instance()
{
    static Library library;
    return library;
}

Library::Library()
{
    UseStartupSystem();
}

// A file that cannot be used leaves the built-in system in place and makes
// kaOpen fail, so nothing runs against a half-read system.
void Library::UseStartupSystem()
{
    const char *path = std::getenv("TARVEX_SIM_CONFIG");
    if (path && *path) {
        try {
            UseSystem(LoadSystemFile(path));
            return;
        } catch (const SystemError &e) {
            UseSystem(ParseSystem(DefaultSystemJson()));
            startupRefusal_ = e.what();
            RefuseSystem(startupRefusal_);
            return;
        }
    }
    UseSystem(ParseSystem(DefaultSystemJson()));
}

void Library::Close()
{
    open_ = false;
    locks_.ReleaseOwn();
    boards_->Quiesce();
}

void Library::UseSystem(System replacement)
{
    // The boards point at the devices and subdevices they run, which stay
    // where they are when the system takes them over: made first, the boards
    // leave everything as it was should they run out of memory.
    std::unique_ptr<Boards> boards = std::make_unique<Boards>(replacement, clock_);
    std::swap(system_, replacement);
    boards_ = std::move(boards);
    locks_.Clear();
    reasons_.erase(KA_SIM_CONFIG_INVALID);
    startupRefusal_.clear();
}

int Library::RefuseSystem(const std::string &reason)
{
    SetReason(KA_SIM_CONFIG_INVALID, reason);
    return KA_SIM_CONFIG_INVALID;
}

const std::string *Library::Reason(int code) const
{
    auto it = reasons_.find(code);
    return it == reasons_.end() ? nullptr : &it->second;
}

void Library::SetReason(int code, std::string_view reason)
{
    if (reason.empty())
        reasons_.erase(code);
    else
        reasons_[code] = Latin1(reason);
}

OperationControl &Library::Control(const std::string &operation)
{
    std::lock_guard<std::mutex> guard(controlsMutex);
    return controls_[operation];
}

OperationControl *Library::FindControl(const std::string &operation)
{
    std::lock_guard<std::mutex> guard(controlsMutex);
    auto it = controls_.find(operation);
    return it == controls_.end() ? nullptr : &it->second;
}

void Library::Reset()
{
    open_ = false;
    clock_.Reset();
    reasons_.clear();
    UseStartupSystem();
    std::lock_guard<std::mutex> guard(controlsMutex);
    for (auto &c : controls_)
        c.second.Clear();
}

int Library::RequireAccess(int device, int subdevice) const
{
    if (int code = RequireOpen())
        return code;
    const Device *d = nullptr;
    if (int code = FindDevice(system_, device, d))
        return code;
    if (subdevice >= 0 && !HasSubdevice(*d, subdevice))
        return KA_SIM_INVALID_SUBDEVICE;
    if (!d->plugged)
        return KA_SIM_DEVICE_UNPLUGGED;
    if (locks_.ForeignAnywhere(device, subdevice))
        return KA_SIM_LOCKED;
    return 0;
}

int Library::RequireSubdevice(int device, int subdevice, SubdeviceModel *&model)
{
    if (int code = RequireAccess(device, subdevice))
        return code;
    if (subdevice < 0)
        return KA_SIM_INVALID_SUBDEVICE;
    model = &boards_->Model(device, subdevice);
    return 0;
}

void WriteText(char *buffer, int capacity, std::string_view text)
{
    if (!buffer || capacity <= 0)
        return;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

Call::Call(OperationControl &control, const Arguments &args)
    : lib_(Library::Instance()), lock_(lib_.mutex_), control_(control)
{
    ++control_.calls;
    control_.args.assign(args.values, args.values + args.count);
    control_.capturedText.clear();
    control_.arrayCount = 0;
}

void Call::CaptureArray(const void *data, std::size_t bytes)
{
    const auto *p = static_cast<const unsigned char *>(data);
    const std::size_t index = control_.arrayCount;
    if (control_.arrays.size() <= index)
        control_.arrays.resize(index + 1);
    if (control_.addresses.size() <= index)
        control_.addresses.resize(index + 1);
    control_.arrays[index].assign(p, p ? p + bytes : p);
    control_.addresses[index] = reinterpret_cast<std::uintptr_t>(data);
    ++control_.arrayCount; // counted once its copy is whole
}

void Call::OverrideRecords(int *words, int count, int recordWords)
{
    for (const auto &o : control_.overrides) {
        if (o.first < 0 || o.first >= recordWords)
            continue;
        for (int i = 0; i < count; ++i)
            words[i * recordWords + o.first] = Overridden(o.first, 0);
    }
}

int Call::TakeInjectedFailure()
{
    if (control_.failTimes == 0)
        return 0;
    if (control_.failTimes > 0)
        --control_.failTimes;
    return control_.failCode;
}

int Call::Overridden(int slot, int value) const
{
    auto it = control_.overrides.find(slot);
    if (it == control_.overrides.end())
        return value;
    return static_cast<int>(static_cast<std::uint32_t>(static_cast<long long>(it->second)));
}

void Call::ApplyOverrides(std::initializer_list<OutArgument> outs)
{
    int slot = 0;
    for (const OutArgument &o : outs) {
        switch (o.kind) {
        case OutArgument::Kind::Int:
            *static_cast<int *>(o.pointer) = Overridden(slot, *static_cast<int *>(o.pointer));
            break;
        case OutArgument::Kind::Double:
            if (HasOverride(slot))
                *static_cast<double *>(o.pointer) = control_.overrides.at(slot);
            break;
        case OutArgument::Kind::Text:
            if (control_.overrideText)
                WriteText(static_cast<char *>(o.pointer), o.capacity, control_.text);
            break;
        }
        ++slot;
    }
}

} // namespace sim
