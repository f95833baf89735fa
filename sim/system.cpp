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
#include "system_checks.h"

namespace sim
{
namespace
{

bool isAnalog(int type)
{
    return type == KA_TYPE_AI || type == KA_TYPE_AO;
}

bool isDigital(int type)
{
    return type == KA_TYPE_DIO || type == KA_TYPE_DI || type == KA_TYPE_DO;
}

constexpr std::string_view kRangeKeys[] = {"unit", "min", "max", "max_data"};
enum RangeKey { kRangeUnit, kRangeMin, kRangeMax, kRangeMaxData };

Range readRange(JsonReader &in, const Place &at)
{
    Range r;
    KnownMembers object(in, at, kRangeKeys);
    for (int key; (key = object.next()) >= 0;) {
        const Place &member = object.member();
        switch (key) {
        case kRangeUnit:
            r.unit = readWord(in, member, "KA_UNIT_");
            break;
        case kRangeMin:
            r.min = readReal(in, member, -kMaxPhysical, kMaxPhysical);
            break;
        case kRangeMax:
            r.max = readReal(in, member, -kMaxPhysical, kMaxPhysical);
            break;
        case kRangeMaxData:
            r.maxData = readCount(in, member, 1, 2147483647);
            break;
        }
    }
    object.require({kRangeUnit, kRangeMin, kRangeMax, kRangeMaxData});
    if (!(r.min < r.max))
        fail(at, "min must be below max");
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

Signal readSignal(JsonReader &in, const Place &at)
{
    static const std::pair<const char *, Signal::Kind> kinds[] = {
        {"constant", Signal::Kind::Constant},
        {"sine", Signal::Kind::Sine},
        {"square", Signal::Kind::Square},
        {"loopback", Signal::Kind::Loopback},
    };
    Signal s;
    KnownMembers object(in, at, kSignalKeys);
    for (int key; (key = object.next()) >= 0;) {
        const Place &member = object.member();
        switch (key) {
        case kSignalKind: {
            const std::string kind = readText(in, member);
            const auto *found = std::find_if(std::begin(kinds), std::end(kinds),
                                             [&](const auto &k) { return kind == k.first; });
            if (found == std::end(kinds))
                fail(member, quoted(kind) + " is not constant, sine, square or loopback");
            s.kind = found->second;
            break;
        }
        case kSignalValue:
        case kSignalOffset:
            s.value = readReal(in, member, -kMaxPhysical, kMaxPhysical);
            break;
        case kSignalAmplitude:
            s.amplitude = readReal(in, member, -kMaxPhysical, kMaxPhysical);
            break;
        case kSignalFrequency:
            s.frequency = readReal(in, member, 0.0, kMaxRateHz);
            break;
        case kSignalDevice:
            s.device = readCount(in, member, 0, kMaxDevices - 1);
            break;
        case kSignalSubdevice:
            s.subdevice = readCount(in, member, 0, kMaxSubdevices - 1);
            break;
        case kSignalOutputChannel:
            s.channel = readCount(in, member, 0, kMaxChannels - 1);
            break;
        }
    }
    object.require({kSignalKind});
    const bool loopback = s.kind == Signal::Kind::Loopback;
    const std::string kind = loopback                           ? "a loopback"
                             : s.kind == Signal::Kind::Constant ? "a constant"
                             : s.kind == Signal::Kind::Sine     ? "a sine"
                                                                : "a square";
    const std::string foreign = "does not belong to " + kind + " signal";
    if (loopback) {
        object.require({kSignalDevice, kSignalSubdevice, kSignalOutputChannel});
        for (int key : {kSignalValue, kSignalOffset, kSignalAmplitude, kSignalFrequency})
            object.refuse(key, foreign);
        return s;
    }
    for (int key : {kSignalDevice, kSignalSubdevice, kSignalOutputChannel})
        object.refuse(key, foreign);
    if (object.has(kSignalValue))
        object.refuse(kSignalOffset, "repeats key 'value': give one of them");
    if (s.kind == Signal::Kind::Constant) {
        for (int key : {kSignalAmplitude, kSignalFrequency})
            object.refuse(key, foreign);
    } else {
        object.require({kSignalAmplitude, kSignalFrequency});
    }
    return s;
}

constexpr std::string_view kLoopbackKeys[] = {"device", "subdevice"};
enum LoopbackKey { kLoopbackDevice, kLoopbackSubdevice };

Loopback readLoopback(JsonReader &in, const Place &at)
{
    Loopback l;
    KnownMembers object(in, at, kLoopbackKeys);
    for (int key; (key = object.next()) >= 0;) {
        if (key == kLoopbackDevice)
            l.device = readCount(in, object.member(), 0, kMaxDevices - 1);
        else
            l.subdevice = readCount(in, object.member(), 0, kMaxSubdevices - 1);
    }
    object.require({kLoopbackDevice, kLoopbackSubdevice});
    return l;
}

// Capability values by selector: one integer or a list of them.
void readCapArgs(JsonReader &in, const Place &at, std::map<int, std::vector<int>> &capArgs)
{
    readMap(in, at, [&](const std::string &key, const Place &member) {
        const int selector = wordFromText(key, member, "KA_CAP_");
        std::vector<int> values;
        if (in.peek() == JsonReader::Kind::Array)
            readList(in, member, kMaxCapArgs, "values",
                     [&](const Place &item) { values.push_back(readWord(in, item)); });
        else
            values.push_back(readWord(in, member));
        if (values.empty())
            fail(member, "at least one value expected");
        if (selector == KA_CAP_CTR_WIDTH && (values[0] < 1 || values[0] > kMaxCounterBits))
            failRange(member, {std::to_string(values[0]), false}, 1, kMaxCounterBits);
        if (!capArgs.emplace(selector, std::move(values)).second)
            fail(at, "duplicated key " + quoted(key));
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

Subdevice readSubdevice(JsonReader &in, const Place &at)
{
    Subdevice s;
    KnownMembers object(in, at, kSubdeviceKeys);
    for (int key; (key = object.next()) >= 0;) {
        const Place &member = object.member();
        switch (key) {
        case kSubType:
            s.type = readWord(in, member, "KA_TYPE_");
            break;
        case kSubSubtype:
            s.subtype = readWord(in, member, "KA_SUBTYPE_");
            break;
        case kSubChannels:
            s.channels = readCount(in, member, 0, kMaxChannels);
            break;
        case kSubCaps:
            s.caps = readBits(in, member, "KA_CAPS_");
            break;
        case kSubCapArgs:
            readCapArgs(in, member, s.capArgs);
            break;
        case kSubRanges:
            readList(in, member, kMaxRanges, "ranges",
                     [&](const Place &item) { s.ranges.push_back(readRange(in, item)); });
            break;
        case kSubSignals:
            readMap(in, member, [&](const std::string &channel, const Place &signal) {
                const auto number =
                    static_cast<int>(checkRange(integerFromText(channel, signal, nullptr), signal,
                                                {channel, true}, 0, kMaxChannels - 1));
                if (!s.signals.emplace(number, readSignal(in, signal)).second)
                    fail(member, "duplicated key " + quoted(channel));
            });
            break;
        case kSubLoopback:
            s.loopback = readLoopback(in, member);
            break;
        case kSubIrqRate:
            s.irqRateHz = readReal(in, member, 0.0, kMaxRateHz);
            break;
        case kSubBufferValues:
            s.bufferValues = readCount(in, member, 1, kMaxBufferValues);
            break;
        }
    }
    object.require({kSubType, kSubSubtype, kSubChannels});
    if (isDigital(s.type) && s.channels > kMaxDigitalLines)
        failRange(Place(at, "channels"), {std::to_string(s.channels), false}, 0, kMaxDigitalLines);
    if (isAnalog(s.type) && s.ranges.empty())
        fail(at, "an analog subdevice needs at least one range");
    for (const auto &signal : s.signals) {
        if (signal.first >= s.channels) {
            const std::string channel = std::to_string(signal.first);
            fail(Place(Place(at, "signals"), channel),
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

DeviceInfo readInfo(JsonReader &in, const Place &at)
{
    DeviceInfo info;
    // In the order of the keys.
    int *fields[] = {&info.vendorId, &info.deviceId, &info.serialNo, &info.busType,
                     &info.busNo,    &info.devNo,    &info.funcNo};
    KnownMembers object(in, at, kInfoKeys);
    for (int key; (key = object.next()) >= 0;)
        *fields[key] =
            readWord(in, object.member(), key == kInfoBusType ? "KA_BUS_TYPE_" : nullptr);
    object.require({kInfoVendorId, kInfoDeviceId, kInfoSerialNo, kInfoBusType, kInfoBusNo,
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

Device readDevice(JsonReader &in, const Place &at)
{
    Device d;
    KnownMembers object(in, at, kDeviceKeys);
    for (int key; (key = object.next()) >= 0;) {
        const Place &member = object.member();
        switch (key) {
        case kDeviceName:
            d.name = readText(in, member);
            break;
        case kDeviceDescription:
            d.description = readText(in, member);
            break;
        case kDeviceDriverName:
            d.driverName = readText(in, member);
            break;
        case kDeviceDriverVersion:
            d.driverVersion = readVersion(in, member);
            break;
        case kDevicePlugged:
            expectKind(in, member, JsonReader::Kind::Boolean, "true or false expected");
            d.plugged = in.readBoolean();
            break;
        case kDeviceInfo:
            d.info = readInfo(in, member);
            break;
        case kDeviceSubdevices:
            readList(in, member, kMaxSubdevices, "subdevices",
                     [&](const Place &item) { d.subdevices.push_back(readSubdevice(in, item)); });
            break;
        }
    }
    object.require({kDeviceName, kDeviceDescription, kDeviceDriverName, kDeviceDriverVersion,
                    kDeviceInfo, kDeviceSubdevices});
    return d;
}

constexpr std::string_view kSystemKeys[] = {"library_version", "main_driver_version", "devices",
                                            "hosts"};
enum SystemKey { kSystemLibraryVersion, kSystemMainDriverVersion, kSystemDevices, kSystemHosts };
// A remote computer's system: the same without hosts of its own.
constexpr std::string_view kRemoteSystemKeys[] = {"library_version", "main_driver_version",
                                                  "devices"};

System readSystem(JsonReader &in, const Place &at, bool remote)
{
    System s;
    KnownMembers object =
        remote ? KnownMembers(in, at, kRemoteSystemKeys) : KnownMembers(in, at, kSystemKeys);
    for (int key; (key = object.next()) >= 0;) {
        const Place &member = object.member();
        switch (key) {
        case kSystemLibraryVersion:
            s.libraryVersion = readVersion(in, member);
            break;
        case kSystemMainDriverVersion:
            s.mainDriverVersion = readVersion(in, member);
            break;
        case kSystemDevices:
            readList(in, member, kMaxDevices, "devices",
                     [&](const Place &item) { s.devices.push_back(readDevice(in, item)); });
            break;
        case kSystemHosts:
            readMap(in, member, [&](const std::string &host, const Place &system) {
                if (!s.hosts.emplace(host, readSystem(in, system, true)).second)
                    fail(member, "duplicated key " + quoted(host));
            });
            break;
        }
    }
    object.require({kSystemLibraryVersion, kSystemMainDriverVersion, kSystemDevices});
    checkReferences(s, at);
    return s;
}

System readWholeSystem(JsonReader &in)
{
    const Place root("system");
    System s = readSystem(in, root, false);
    in.expectEnd();
    return s;
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

[[noreturn]] void failFile(const std::string &path, int errorNumber)
{
    throw SystemError(path + ": " + std::strerror(errorNumber));
}

} // namespace

System parseSystem(std::string_view text)
{
    JsonReader in(text);
    return readWholeSystem(in);
}

System loadSystemFile(const std::string &path)
{
    struct stat status {
    };
    if (stat(path.c_str(), &status) != 0)
        failFile(path, errno);
    if (S_ISDIR(status.st_mode))
        failFile(path, EISDIR);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        failFile(path, errno);
    try {
        JsonReader in(file.get());
        return readWholeSystem(in);
    } catch (const JsonReader::ReadFailure &failure) {
        failFile(path, failure.errorNumber);
    }
}

} // namespace sim
