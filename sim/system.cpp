// The system built from a description: the readers of ranges, signals,
// subdevices, devices and systems over the checked values of system_checks.h,
// and the entry points for a text and a file.
#include "system.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

#include "Tarvexmain.h"
#include "kinds/registry.h"
#include "system_checks.h"

namespace sim
{
namespace
{

constexpr std::string_view kRangeKeys[] = {"unit", "min", "max", "max_data"};
enum RangeKey { kRangeUnit, kRangeMin, kRangeMax, kRangeMaxData };

Range ReadRange(JsonReader &in, const Place &at)
{
    Range r;
    KnownMembers object(in, at, kRangeKeys);
    for (int key; (key = object.Next()) >= 0;) {
        const Place &member = object.Member();
        switch (key) {
        case kRangeUnit:
            r.unit = ReadWord(in, member, "KA_UNIT_");
            break;
        case kRangeMin:
            r.min = ReadReal(in, member, -kMaxPhysical, kMaxPhysical);
            break;
        case kRangeMax:
            r.max = ReadReal(in, member, -kMaxPhysical, kMaxPhysical);
            break;
        case kRangeMaxData:
            r.maxData = ReadCount(in, member, 1, 2147483647);
            break;
        }
    }
    object.Require({kRangeUnit, kRangeMin, kRangeMax, kRangeMaxData});
    if (!(r.min < r.max))
        Fail(at, "min must be below max");
    return r;
}

constexpr std::string_view kSignalKeys[] = {"kind",      "value",  "offset",    "amplitude",
                                            "frequency", "device", "subdevice", "output_channel"};
enum SignalKey {
    kSignalKind,
    kSignalValue,
    kSignalOffset,
    kSignalAmplitude,
    kSignalFrequency,
    kSignalDevice,
    kSignalSubdevice,
    kSignalOutputChannel
};

Signal ReadSignal(JsonReader &in, const Place &at)
{
    static const std::pair<const char *, Signal::Kind> kKinds[] = {
        {"constant", Signal::Kind::Constant}, {"sine", Signal::Kind::Sine},
        {"square", Signal::Kind::Square},     {"sawtooth", Signal::Kind::Sawtooth},
        {"loopback", Signal::Kind::Loopback},
    };
    Signal s;
    KnownMembers object(in, at, kSignalKeys);
    for (int key; (key = object.Next()) >= 0;) {
        const Place &member = object.Member();
        switch (key) {
        case kSignalKind: {
            const std::string kind = ReadText(in, member);
            const auto *found = std::find_if(std::begin(kKinds), std::end(kKinds),
                                             [&](const auto &k) { return kind == k.first; });
            if (found == std::end(kKinds))
                Fail(member, Quoted(kind) + " is not constant, sine, square, sawtooth or loopback");
            s.kind = found->second;
            break;
        }
        case kSignalValue:
        case kSignalOffset:
            s.value = ReadReal(in, member, -kMaxPhysical, kMaxPhysical);
            break;
        case kSignalAmplitude:
            s.amplitude = ReadReal(in, member, -kMaxPhysical, kMaxPhysical);
            break;
        case kSignalFrequency:
            s.frequency = ReadReal(in, member, 0.0, kMaxRateHz);
            break;
        case kSignalDevice:
            s.device = ReadCount(in, member, 0, kMaxDevices - 1);
            break;
        case kSignalSubdevice:
            s.subdevice = ReadCount(in, member, 0, kMaxSubdevices - 1);
            break;
        case kSignalOutputChannel:
            s.channel = ReadCount(in, member, 0, kMaxChannels - 1);
            break;
        }
    }
    object.Require({kSignalKind});
    const bool loopback = s.kind == Signal::Kind::Loopback;
    const std::string kind = loopback                           ? "a loopback"
                             : s.kind == Signal::Kind::Constant ? "a constant"
                             : s.kind == Signal::Kind::Sine     ? "a sine"
                             : s.kind == Signal::Kind::Square   ? "a square"
                                                                : "a sawtooth";
    const std::string foreign = "does not belong to " + kind + " signal";
    if (loopback) {
        object.Require({kSignalDevice, kSignalSubdevice, kSignalOutputChannel});
        for (int key : {kSignalValue, kSignalOffset, kSignalAmplitude, kSignalFrequency})
            object.Refuse(key, foreign);
        return s;
    }
    for (int key : {kSignalDevice, kSignalSubdevice, kSignalOutputChannel})
        object.Refuse(key, foreign);
    if (object.Has(kSignalValue))
        object.Refuse(kSignalOffset, "repeats key 'value': give one of them");
    if (s.kind == Signal::Kind::Constant) {
        for (int key : {kSignalAmplitude, kSignalFrequency})
            object.Refuse(key, foreign);
    } else {
        object.Require({kSignalAmplitude, kSignalFrequency});
    }
    return s;
}

constexpr std::string_view kLoopbackKeys[] = {"device", "subdevice"};
enum LoopbackKey { kLoopbackDevice, kLoopbackSubdevice };

Loopback ReadLoopback(JsonReader &in, const Place &at)
{
    Loopback l;
    KnownMembers object(in, at, kLoopbackKeys);
    for (int key; (key = object.Next()) >= 0;) {
        if (key == kLoopbackDevice)
            l.device = ReadCount(in, object.Member(), 0, kMaxDevices - 1);
        else
            l.subdevice = ReadCount(in, object.Member(), 0, kMaxSubdevices - 1);
    }
    object.Require({kLoopbackDevice, kLoopbackSubdevice});
    return l;
}

// Capability values by selector: one integer or a list of them.
void ReadCapArgs(JsonReader &in, const Place &at, std::map<int, std::vector<int>> &capArgs)
{
    ReadMap(in, at, [&](const std::string &key, const Place &member) {
        const int selector = WordFromText(key, member, "KA_CAP_");
        std::vector<int> values;
        if (in.Peek() == JsonReader::Kind::Array)
            ReadList(in, member, kMaxCapArgs, "values",
                     [&](const Place &item) { values.push_back(ReadWord(in, item)); });
        else
            values.push_back(ReadWord(in, member));
        if (values.empty())
            Fail(member, "at least one value expected");
        if (selector == KA_CAP_CTR_WIDTH && (values[0] < 1 || values[0] > kMaxCounterBits))
            FailRange(member, {std::to_string(values[0]), false}, 1, kMaxCounterBits);
        if (!capArgs.emplace(selector, std::move(values)).second)
            Fail(at, "duplicated key " + Quoted(key));
    });
}

constexpr std::string_view kSubdeviceKeys[] = {
    "type",   "subtype", "channels", "caps",        "cap_args",
    "ranges", "signals", "loopback", "irq_rate_hz", "buffer_values"};
enum SubdeviceKey {
    kSubType,
    kSubSubtype,
    kSubChannels,
    kSubCaps,
    kSubCapArgs,
    kSubRanges,
    kSubSignals,
    kSubLoopback,
    kSubIrqRate,
    kSubBufferValues
};

Subdevice ReadSubdevice(JsonReader &in, const Place &at)
{
    Subdevice s;
    KnownMembers object(in, at, kSubdeviceKeys);
    for (int key; (key = object.Next()) >= 0;) {
        const Place &member = object.Member();
        switch (key) {
        case kSubType:
            s.type = ReadWord(in, member, "KA_TYPE_");
            break;
        case kSubSubtype:
            s.subtype = ReadWord(in, member, "KA_SUBTYPE_");
            break;
        case kSubChannels:
            s.channels = ReadCount(in, member, 0, kMaxChannels);
            break;
        case kSubCaps:
            s.caps = ReadBits(in, member, "KA_CAPS_");
            break;
        case kSubCapArgs:
            ReadCapArgs(in, member, s.capArgs);
            break;
        case kSubRanges:
            ReadList(in, member, kMaxRanges, "ranges",
                     [&](const Place &item) { s.ranges.push_back(ReadRange(in, item)); });
            break;
        case kSubSignals:
            ReadMap(in, member, [&](const std::string &channel, const Place &signal) {
                const auto number =
                    static_cast<int>(CheckRange(IntegerFromText(channel, signal, nullptr), signal,
                                                {channel, true}, 0, kMaxChannels - 1));
                if (!s.signals.emplace(number, ReadSignal(in, signal)).second)
                    Fail(member, "duplicated key " + Quoted(channel));
            });
            break;
        case kSubLoopback:
            s.loopback = ReadLoopback(in, member);
            break;
        case kSubIrqRate:
            s.irqRateHz = ReadReal(in, member, 0.0, kMaxRateHz);
            break;
        case kSubBufferValues:
            s.bufferValues = ReadCount(in, member, 1, kMaxBufferValues);
            break;
        }
    }
    object.Require({kSubType, kSubSubtype, kSubChannels});
    if (const KindInfo *kind = KindOf(s.type); kind && kind->check)
        kind->check(s, at);
    for (const auto &signal : s.signals) {
        if (signal.first >= s.channels) {
            const std::string channel = std::to_string(signal.first);
            Fail(Place(Place(at, "signals"), channel),
                 "no such channel (the subdevice has " + std::to_string(s.channels) + ")");
        }
    }
    return s;
}

constexpr std::string_view kInfoKeys[] = {"vendor_id", "device_id", "serial_no", "bus_type",
                                          "bus_no",    "dev_no",    "func_no"};
enum InfoKey {
    kInfoVendorId,
    kInfoDeviceId,
    kInfoSerialNo,
    kInfoBusType,
    kInfoBusNo,
    kInfoDevNo,
    kInfoFuncNo
};

DeviceInfo ReadInfo(JsonReader &in, const Place &at)
{
    DeviceInfo info;
    // In the order of the keys.
    int *fields[] = {&info.vendorId, &info.deviceId, &info.serialNo, &info.busType,
                     &info.busNo,    &info.devNo,    &info.funcNo};
    KnownMembers object(in, at, kInfoKeys);
    for (int key; (key = object.Next()) >= 0;)
        *fields[key] =
            ReadWord(in, object.Member(), key == kInfoBusType ? "KA_BUS_TYPE_" : nullptr);
    object.Require({kInfoVendorId, kInfoDeviceId, kInfoSerialNo, kInfoBusType, kInfoBusNo,
                    kInfoDevNo, kInfoFuncNo});
    return info;
}

constexpr std::string_view kDeviceKeys[] = {
    "name", "description", "driver_name", "driver_version", "plugged", "info", "subdevices"};
enum DeviceKey {
    kDeviceName,
    kDeviceDescription,
    kDeviceDriverName,
    kDeviceDriverVersion,
    kDevicePlugged,
    kDeviceInfo,
    kDeviceSubdevices
};

Device ReadDevice(JsonReader &in, const Place &at)
{
    Device d;
    KnownMembers object(in, at, kDeviceKeys);
    for (int key; (key = object.Next()) >= 0;) {
        const Place &member = object.Member();
        switch (key) {
        case kDeviceName:
            d.name = ReadLatin1Text(in, member);
            break;
        case kDeviceDescription:
            d.description = ReadLatin1Text(in, member);
            break;
        case kDeviceDriverName:
            d.driverName = ReadLatin1Text(in, member);
            break;
        case kDeviceDriverVersion:
            d.driverVersion = ReadVersion(in, member);
            break;
        case kDevicePlugged:
            ExpectKind(in, member, JsonReader::Kind::Boolean, "true or false expected");
            d.plugged = in.ReadBoolean();
            break;
        case kDeviceInfo:
            d.info = ReadInfo(in, member);
            break;
        case kDeviceSubdevices:
            ReadList(in, member, kMaxSubdevices, "subdevices",
                     [&](const Place &item) { d.subdevices.push_back(ReadSubdevice(in, item)); });
            break;
        }
    }
    object.Require({kDeviceName, kDeviceDescription, kDeviceDriverName, kDeviceDriverVersion,
                    kDeviceInfo, kDeviceSubdevices});
    return d;
}

constexpr std::string_view kSystemKeys[] = {"library_version", "main_driver_version", "devices",
                                            "hosts"};
enum SystemKey { kSystemLibraryVersion, kSystemMainDriverVersion, kSystemDevices, kSystemHosts };
// A remote computer's system: the same without hosts of its own.
constexpr std::string_view kRemoteSystemKeys[] = {"library_version", "main_driver_version",
                                                  "devices"};

System ReadSystem(JsonReader &in, const Place &at, bool remote)
{
    System s;
    KnownMembers object =
        remote ? KnownMembers(in, at, kRemoteSystemKeys) : KnownMembers(in, at, kSystemKeys);
    for (int key; (key = object.Next()) >= 0;) {
        const Place &member = object.Member();
        switch (key) {
        case kSystemLibraryVersion:
            s.libraryVersion = ReadVersion(in, member);
            break;
        case kSystemMainDriverVersion:
            s.mainDriverVersion = ReadVersion(in, member);
            break;
        case kSystemDevices:
            ReadList(in, member, kMaxDevices, "devices",
                     [&](const Place &item) { s.devices.push_back(ReadDevice(in, item)); });
            break;
        case kSystemHosts:
            ReadMap(in, member, [&](const std::string &host, const Place &system) {
                if (!s.hosts.emplace(host, ReadSystem(in, system, true)).second)
                    Fail(member, "duplicated key " + Quoted(host));
            });
            break;
        }
    }
    object.Require({kSystemLibraryVersion, kSystemMainDriverVersion, kSystemDevices});
    CheckReferences(s, at);
    return s;
}

System ReadWholeSystem(JsonReader &in)
{
    const Place root("system");
    System s = ReadSystem(in, root, false);
    in.ExpectEnd();
    return s;
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

[[noreturn]] void FailFile(const std::string &path, int errorNumber)
{
    throw SystemError(path + ": " + std::strerror(errorNumber));
}

} // namespace

System ParseSystem(std::string_view text)
{
    JsonReader in(text);
    return ReadWholeSystem(in);
}

System LoadSystemFile(const std::string &path)
{
    struct stat status {
    };
    if (stat(path.c_str(), &status) != 0)
        FailFile(path, errno);
    if (S_ISDIR(status.st_mode))
        FailFile(path, EISDIR);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        FailFile(path, errno);
    try {
        JsonReader in(file.get());
        return ReadWholeSystem(in);
    } catch (const JsonReader::ReadFailure &failure) {
        FailFile(path, failure.errorNumber);
    }
}

} // namespace sim
