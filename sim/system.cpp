#include "system.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>

#include "Tarvexmain.h"
#include "json_reader.h"

namespace sim
{
namespace
{

// Limits far above what real boards have; each refusal names its limit.
constexpr long long kMaxDevices = 1000000;
constexpr long long kMaxSubdevices = 64;
constexpr long long kMaxChannels = 256;
constexpr long long kMaxDigitalLines = 32; // a port is read and written as one 32-bit word
constexpr long long kMaxRanges = 32;
constexpr long long kMaxCapArgs = 8;
constexpr long long kMaxCounterBits = 32;
constexpr long long kMaxBufferValues = 1 << 22;
constexpr double kMaxPhysical = 1e6; // range bounds and signal levels, in volts or amperes
constexpr double kMaxRateHz = 1e6;   // signal frequencies and interrupt rates

constexpr long long kWordMin = -2147483648LL; // 32-bit fields take signed or unsigned values
constexpr long long kWordMax = 4294967295LL;

// How much of a text from the file a message shows.
constexpr std::size_t kShownCharacters = 40;

const std::unordered_map<std::string, int> &constants()
{
    static const std::unordered_map<std::string, int> table = {
#define KA_CONSTANT(name, value) {#name, value},
#define KA_CONSTANT_AGAIN(name, value)
#include "ka_constants.def"
#undef KA_CONSTANT
#undef KA_CONSTANT_AGAIN
    };
    return table;
}

// A text from the file as a message shows it: control characters escaped,
// long texts cut after whole characters.
std::string shown(std::string_view text)
{
    std::string out;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80 && characters++ == kShownCharacters)
            return out + "...";
        if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string quoted(std::string_view text)
{
    return "'" + shown(text) + "'";
}

std::string numberText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// Insertions, deletions, replacements and swaps of neighbours that turn a
// into b (optimal string alignment).
std::size_t editDistance(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> before(b.size() + 1), last(b.size() + 1), row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        last[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                row[j] = std::min(row[j], before[j - 2] + 1);
        }
        before.swap(last);
        last.swap(row);
    }
    return last[b.size()];
}

// " (did you mean 'x'?)" for the candidate nearest to word, if one is near
// enough to be a slip; the common prefix of the candidates does not count.
template <class Candidates>
std::string suggestion(std::string_view word, const Candidates &candidates,
                       std::size_t commonPrefix = 0)
{
    std::string_view best;
    std::size_t bestDistance = 0;
    for (std::string_view candidate : candidates) {
        const std::size_t allowed = std::max<std::size_t>(1, (candidate.size() - commonPrefix) / 3);
        const std::size_t longer = std::max(word.size(), candidate.size());
        if (longer - std::min(word.size(), candidate.size()) > allowed)
            continue; // the lengths alone differ too much
        const std::size_t distance = editDistance(word, candidate);
        if (distance <= allowed && (best.empty() || distance < bestDistance)) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best.empty() ? std::string() : " (did you mean " + quoted(best) + "?)";
}

// Where a value stands in the system ("system.devices[0].name"); written out
// only when a message needs it.
class Place
{
  public:
    explicit Place(std::string_view root) : name_(root) {}
    Place(const Place &parent, std::string_view name) : parent_(&parent), name_(name) {}
    Place(const Place &parent, std::size_t index) : parent_(&parent), index_(index), indexed_(true)
    {
    }

    std::string text() const
    {
        if (!parent_)
            return std::string(name_);
        if (indexed_)
            return parent_->text() + "[" + std::to_string(index_) + "]";
        return parent_->text() + "." + shown(name_);
    }

  private:
    const Place *parent_ = nullptr;
    std::string_view name_;
    std::size_t index_ = 0;
    bool indexed_ = false;
};

[[noreturn]] void fail(const Place &at, const std::string &what)
{
    throw SystemError(at.text() + ": " + what);
}

void expectKind(JsonReader &in, const Place &at, JsonReader::Kind kind, const char *what)
{
    if (in.peek() != kind)
        fail(at, what);
}

// A value as the file writes it, shown only if a message needs it.
struct Written {
    std::string_view text;
    bool inQuotes; // a text, not a JSON number

    std::string shown() const { return inQuotes ? quoted(text) : sim::shown(text); }
};

[[noreturn]] void failRange(const Place &at, Written given, double min, double max)
{
    fail(at,
         given.shown() + " is out of range (" + numberText(min) + " to " + numberText(max) + ")");
}

// The members of an object with a fixed set of keys: each key at most once,
// any other key refused with the closest known one.
class KnownMembers
{
  public:
    // The value's kind is checked before its opening brace is read.
    template <std::size_t N>
    KnownMembers(JsonReader &in, const Place &at, const std::string_view (&keys)[N])
        : members_((expectKind(in, at, JsonReader::Kind::Object, "object expected"), in)), at_(at),
          keys_(keys), count_(N), member_(at, "")
    {
        static_assert(N <= 32, "the seen keys are bits of one word");
    }

    // The index of the next member's key in the key list; -1 after the last.
    int next()
    {
        if (!members_.next(key_))
            return -1;
        const auto found = std::find(keys_, keys_ + count_, key_);
        if (found == keys_ + count_)
            fail(at_, "unknown key " + quoted(key_) + suggestion(key_, knownKeys()));
        const int index = static_cast<int>(found - keys_);
        if (has(index))
            fail(at_, "duplicated key " + quoted(key_));
        seen_ |= 1u << index;
        member_ = Place(at_, keys_[index]);
        return index;
    }

    // The place of the member just read.
    const Place &member() const { return member_; }
    bool has(int key) const { return (seen_ >> key & 1) != 0; }

    void require(std::initializer_list<int> keys) const
    {
        for (int key : keys)
            if (!has(key))
                fail(at_, "key '" + std::string(keys_[key]) + "' missing");
    }

    // A key the object has but must not have, given its other keys.
    void refuse(int key, const std::string &why) const
    {
        if (has(key))
            fail(at_, "key '" + std::string(keys_[key]) + "' " + why);
    }

  private:
    std::vector<std::string_view> knownKeys() const { return {keys_, keys_ + count_}; }

    JsonReader::Members members_;
    const Place &at_;
    const std::string_view *keys_;
    std::size_t count_;
    std::string key_;
    Place member_;
    unsigned seen_ = 0;
};

// An integer as the file may write it: a JSON number, a text with a number
// in C notation ("0x7c2e", "-5"), or, where family names a prefix such as
// "KA_TYPE_", the name of a driver constant of that family.
long long integerFromText(const std::string &text, const Place &at, const char *family)
{
    const auto &table = constants();
    const auto constant = table.find(text);
    if (family && constant != table.end() && text.rfind(family, 0) == 0)
        return constant->second;
    char *end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 0); // saturates: out of any range
    if (!text.empty() && end == text.c_str() + text.size())
        return value;
    if (!family) {
        if (constant != table.end())
            fail(at, "number expected, not the driver constant " + quoted(text));
        fail(at, quoted(text) + " is not a number");
    }
    if (constant != table.end())
        fail(at, quoted(text) + " is not a " + family + " constant");
    std::vector<std::string_view> names;
    for (const auto &entry : table)
        if (entry.first.rfind(family, 0) == 0)
            names.push_back(entry.first);
    std::sort(names.begin(), names.end()); // the same suggestion on every platform
    fail(at, quoted(text) + " is neither a number nor a " + family + " constant" +
                 suggestion(text, names, std::strlen(family)));
}

long long checkRange(long long value, const Place &at, Written given, long long min, long long max)
{
    if (value < min || value > max)
        failRange(at, given, static_cast<double>(min), static_cast<double>(max));
    return value;
}

// A 32-bit field: values above 2^31 - 1 give the same bits as a negative one.
int toWord(long long value)
{
    return static_cast<int>(static_cast<unsigned>(value));
}

int wordFromText(const std::string &text, const Place &at, const char *family)
{
    return toWord(
        checkRange(integerFromText(text, at, family), at, {text, true}, kWordMin, kWordMax));
}

long long readInteger(JsonReader &in, const Place &at, long long min, long long max,
                      const char *family = nullptr)
{
    if (in.peek() == JsonReader::Kind::Text) {
        const std::string text = in.readText();
        return checkRange(integerFromText(text, at, family), at, {text, true}, min, max);
    }
    expectKind(in, at, JsonReader::Kind::Number, "integer expected");
    const JsonReader::Number number = in.readNumber();
    if (!number.integer)
        fail(at, "integer expected, not " + shown(number.text));
    long long value = 0;
    const char *first = number.text.data();
    if (std::from_chars(first, first + number.text.size(), value).ec != std::errc())
        value = number.text[0] == '-' ? LLONG_MIN : LLONG_MAX; // out of any range
    return checkRange(value, at, {number.text, false}, min, max);
}

int readCount(JsonReader &in, const Place &at, long long min, long long max)
{
    return static_cast<int>(readInteger(in, at, min, max));
}

int readWord(JsonReader &in, const Place &at, const char *family = nullptr)
{
    return toWord(readInteger(in, at, kWordMin, kWordMax, family));
}

double readReal(JsonReader &in, const Place &at, double min, double max)
{
    expectKind(in, at, JsonReader::Kind::Number, "number expected");
    const JsonReader::Number number = in.readNumber();
    double value = 0.0;
    const char *first = number.text.data();
    const auto result = std::from_chars(first, first + number.text.size(), value);
    if (result.ec != std::errc() || !(value >= min && value <= max))
        failRange(at, {number.text, false}, min, max);
    return value;
}

std::string readText(JsonReader &in, const Place &at)
{
    expectKind(in, at, JsonReader::Kind::Text, "text expected");
    return in.readText();
}

// A version is an integer or a dotted text of four bytes ("2.1.0.7").
int readVersion(JsonReader &in, const Place &at)
{
    if (in.peek() != JsonReader::Kind::Text)
        return readWord(in, at);
    const std::string text = in.readText();
    if (text.find('.') == std::string::npos)
        return wordFromText(text, at, nullptr);
    unsigned version = 0;
    int parts = 0;
    const char *cursor = text.c_str();
    const char *end = cursor + text.size();
    while (parts < 4) {
        unsigned part = 0;
        const auto result = std::from_chars(cursor, end, part);
        if (result.ec != std::errc() || part > 255 || result.ptr - cursor > 3)
            break;
        version = version << 8 | part;
        cursor = result.ptr;
        if (++parts < 4 && (cursor == end || *cursor++ != '.'))
            break;
    }
    if (parts != 4 || cursor != end)
        fail(at, "version 'a.b.c.d' with parts from 0 to 255 expected");
    return static_cast<int>(version);
}

// Reads a list, calling item(place) for each entry.
template <class Item>
void readList(JsonReader &in, const Place &at, long long maxItems, const char *what, Item item)
{
    expectKind(in, at, JsonReader::Kind::Array, "list expected");
    std::size_t index = 0;
    for (JsonReader::Items items(in); items.next(); ++index) {
        if (static_cast<long long>(index) == maxItems)
            fail(at, "at most " + std::to_string(maxItems) + " " + what);
        item(Place(at, index));
    }
}

// Reads an object whose keys the file chooses, calling member(key, place).
template <class Member> void readMap(JsonReader &in, const Place &at, Member member)
{
    expectKind(in, at, JsonReader::Kind::Object, "object expected");
    std::string key;
    for (JsonReader::Members members(in); members.next(key);)
        member(key, Place(at, key));
}

// A bit set is one integer or a list of them, joined with OR.
int readBits(JsonReader &in, const Place &at, const char *family)
{
    if (in.peek() != JsonReader::Kind::Array)
        return readWord(in, at, family);
    int bits = 0;
    readList(in, at, kWordMax, "bits",
             [&](const Place &item) { bits |= readWord(in, item, family); });
    return bits;
}

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

// Loopbacks must name a subdevice of the right kind in the same system.
void checkReferences(const System &s, const Place &at)
{
    auto find = [&](int device, int subdevice) -> const Subdevice * {
        if (device < 0 || device >= static_cast<int>(s.devices.size()))
            return nullptr;
        const Device &d = s.devices[device];
        if (subdevice < 0 || subdevice >= static_cast<int>(d.subdevices.size()))
            return nullptr;
        return &d.subdevices[subdevice];
    };
    for (std::size_t d = 0; d < s.devices.size(); ++d) {
        for (std::size_t i = 0; i < s.devices[d].subdevices.size(); ++i) {
            const Subdevice &sub = s.devices[d].subdevices[i];
            const Place devices(at, "devices"), device(devices, d),
                subdevices(device, "subdevices"), subdevice(subdevices, i);
            for (const auto &signal : sub.signals) {
                if (signal.second.kind != Signal::Kind::Loopback)
                    continue;
                const Subdevice *source = find(signal.second.device, signal.second.subdevice);
                if (!source || source->type != KA_TYPE_AO ||
                    signal.second.channel >= source->channels) {
                    const std::string channel = std::to_string(signal.first);
                    fail(Place(Place(subdevice, "signals"), channel),
                         "loopback must name an analog output channel");
                }
            }
            if (sub.loopback.present()) {
                const Subdevice *source = find(sub.loopback.device, sub.loopback.subdevice);
                if (!source || (source->type != KA_TYPE_DIO && source->type != KA_TYPE_DO))
                    fail(Place(subdevice, "loopback"),
                         "must name a digital output or I/O subdevice");
            }
        }
    }
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

bool constantValue(const std::string &name, int &value)
{
    auto it = constants().find(name);
    if (it == constants().end())
        return false;
    value = it->second;
    return true;
}

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
