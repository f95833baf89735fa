#include "system.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "Tarvexmain.h"

namespace sim
{
namespace
{

using nlohmann::json;

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

[[noreturn]] void fail(const std::string &where, const std::string &what)
{
    throw SystemError(where + ": " + what);
}

// An integer is a JSON number, a string with a number in C notation
// ("0x7c2e", "-5"), or the name of a driver constant.
int toInt(const json &value, const std::string &where)
{
    if (value.is_number_integer()) {
        long long v = value.get<long long>();
        if (v < -2147483648LL || v > 4294967295LL)
            fail(where, "integer out of 32-bit range");
        return static_cast<int>(static_cast<unsigned>(v));
    }
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        int named = 0;
        if (constantValue(text, named))
            return named;
        errno = 0;
        char *end = nullptr;
        long long v = std::strtoll(text.c_str(), &end, 0);
        if (!text.empty() && *end == '\0' && errno == 0 && v >= -2147483648LL && v <= 4294967295LL)
            return static_cast<int>(static_cast<unsigned>(v));
        fail(where, "'" + text + "' is neither a number nor a driver constant");
    }
    fail(where, "integer expected");
}

// A bit set is one integer or a list of them, joined with OR.
int toBits(const json &value, const std::string &where)
{
    if (!value.is_array())
        return toInt(value, where);
    int bits = 0;
    for (size_t i = 0; i < value.size(); ++i)
        bits |= toInt(value[i], where + "[" + std::to_string(i) + "]");
    return bits;
}

// A version is an integer or a dotted text of four bytes ("2.1.0.7").
int toVersion(const json &value, const std::string &where)
{
    if (!value.is_string() || value.get<std::string>().find('.') == std::string::npos)
        return toInt(value, where);
    std::istringstream in(value.get<std::string>());
    unsigned parts[4];
    char dot[3];
    if (!(in >> parts[0] >> dot[0] >> parts[1] >> dot[1] >> parts[2] >> dot[2] >> parts[3]) ||
        !(in >> std::ws).eof() || dot[0] != '.' || dot[1] != '.' || dot[2] != '.' ||
        parts[0] > 255 || parts[1] > 255 || parts[2] > 255 || parts[3] > 255)
        fail(where, "version 'a.b.c.d' with parts from 0 to 255 expected");
    return static_cast<int>(parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3]);
}

const json &member(const json &object, const char *key, const std::string &where)
{
    auto it = object.find(key);
    if (it == object.end())
        fail(where, std::string("key '") + key + "' missing");
    return *it;
}

std::string text(const json &object, const char *key, const std::string &where)
{
    const json &value = member(object, key, where);
    if (!value.is_string())
        fail(where + "." + key, "text expected");
    return value.get<std::string>();
}

double toDouble(const json &value, const std::string &where)
{
    if (!value.is_number())
        fail(where, "number expected");
    return value.get<double>();
}

Range parseRange(const json &j, const std::string &where)
{
    Range r;
    r.unit = toInt(member(j, "unit", where), where + ".unit");
    r.min = toDouble(member(j, "min", where), where + ".min");
    r.max = toDouble(member(j, "max", where), where + ".max");
    r.maxData = toInt(member(j, "max_data", where), where + ".max_data");
    if (!(r.min < r.max))
        fail(where, "min must be below max");
    if (r.maxData <= 0)
        fail(where, "max_data must be positive");
    return r;
}

int intMember(const json &object, const char *key, const std::string &where)
{
    return toInt(member(object, key, where), where + "." + key);
}

Signal parseSignal(const json &j, const std::string &where)
{
    static const std::map<std::string, Signal::Kind> kinds = {
        {"constant", Signal::Kind::Constant},
        {"sine", Signal::Kind::Sine},
        {"square", Signal::Kind::Square},
        {"loopback", Signal::Kind::Loopback},
    };
    Signal s;
    const std::string kind = text(j, "kind", where);
    auto it = kinds.find(kind);
    if (it == kinds.end())
        fail(where + ".kind", "'" + kind + "' is not constant, sine, square or loopback");
    s.kind = it->second;
    if (s.kind == Signal::Kind::Loopback) {
        s.device = intMember(j, "device", where);
        s.subdevice = intMember(j, "subdevice", where);
        s.channel = intMember(j, "output_channel", where);
        return s;
    }
    s.value = toDouble(j.value("offset", j.value("value", json(0.0))), where + ".offset");
    if (s.kind != Signal::Kind::Constant) {
        s.amplitude = toDouble(member(j, "amplitude", where), where + ".amplitude");
        s.frequency = toDouble(member(j, "frequency", where), where + ".frequency");
        if (s.frequency < 0)
            fail(where + ".frequency", "must not be negative");
    }
    return s;
}

Subdevice parseSubdevice(const json &j, const std::string &where)
{
    Subdevice s;
    s.type = toInt(member(j, "type", where), where + ".type");
    s.subtype = toInt(member(j, "subtype", where), where + ".subtype");
    s.channels = toInt(member(j, "channels", where), where + ".channels");
    if (s.channels < 0)
        fail(where + ".channels", "must not be negative");
    if (j.contains("caps"))
        s.caps = toBits(j["caps"], where + ".caps");
    if (j.contains("ranges")) {
        const json &ranges = j["ranges"];
        for (size_t i = 0; i < ranges.size(); ++i)
            s.ranges.push_back(parseRange(ranges[i], where + ".ranges[" + std::to_string(i) + "]"));
    }
    if (j.contains("signals")) {
        for (const auto &item : j["signals"].items()) {
            const std::string at = where + ".signals." + item.key();
            const int channel = toInt(item.key(), at);
            if (channel < 0 || channel >= s.channels)
                fail(at, "no such channel");
            s.signals[channel] = parseSignal(item.value(), at);
        }
    }
    if (j.contains("loopback")) {
        const json &l = j["loopback"];
        s.loopback.device = intMember(l, "device", where + ".loopback");
        s.loopback.subdevice = intMember(l, "subdevice", where + ".loopback");
    }
    if (j.contains("buffer_values")) {
        s.bufferValues = toInt(j["buffer_values"], where + ".buffer_values");
        if (s.bufferValues < 1)
            fail(where + ".buffer_values", "must be positive");
    }
    if (j.contains("irq_rate_hz")) {
        s.irqRateHz = toDouble(j["irq_rate_hz"], where + ".irq_rate_hz");
        if (s.irqRateHz < 0)
            fail(where + ".irq_rate_hz", "must not be negative");
    }
    if (j.contains("cap_args")) {
        for (const auto &item : j["cap_args"].items()) {
            const std::string at = where + ".cap_args." + item.key();
            std::vector<int> values;
            for (const json &v :
                 item.value().is_array() ? item.value() : json::array({item.value()}))
                values.push_back(toInt(v, at));
            if (values.size() > 8)
                fail(at, "at most 8 values");
            s.capArgs[toInt(item.key(), at)] = values;
        }
    }
    return s;
}

Device parseDevice(const json &j, const std::string &where)
{
    Device d;
    d.name = text(j, "name", where);
    d.description = text(j, "description", where);
    d.driverName = text(j, "driver_name", where);
    d.driverVersion = toVersion(member(j, "driver_version", where), where + ".driver_version");
    if (j.contains("plugged")) {
        if (!j["plugged"].is_boolean())
            fail(where + ".plugged", "true or false expected");
        d.plugged = j["plugged"].get<bool>();
    }
    const json &info = member(j, "info", where);
    const std::string at = where + ".info";
    d.info.vendorId = toInt(member(info, "vendor_id", at), at + ".vendor_id");
    d.info.deviceId = toInt(member(info, "device_id", at), at + ".device_id");
    d.info.serialNo = toInt(member(info, "serial_no", at), at + ".serial_no");
    d.info.busType = toInt(member(info, "bus_type", at), at + ".bus_type");
    d.info.busNo = toInt(member(info, "bus_no", at), at + ".bus_no");
    d.info.devNo = toInt(member(info, "dev_no", at), at + ".dev_no");
    d.info.funcNo = toInt(member(info, "func_no", at), at + ".func_no");
    const json &subdevices = member(j, "subdevices", where);
    for (size_t i = 0; i < subdevices.size(); ++i)
        d.subdevices.push_back(
            parseSubdevice(subdevices[i], where + ".subdevices[" + std::to_string(i) + "]"));
    return d;
}

// Loopbacks must name a subdevice of the right kind in the same system.
void checkReferences(const System &s, const std::string &where)
{
    auto find = [&](int device, int subdevice) -> const Subdevice * {
        if (device < 0 || device >= static_cast<int>(s.devices.size()))
            return nullptr;
        const Device &d = s.devices[device];
        if (subdevice < 0 || subdevice >= static_cast<int>(d.subdevices.size()))
            return nullptr;
        return &d.subdevices[subdevice];
    };
    for (size_t d = 0; d < s.devices.size(); ++d) {
        for (size_t i = 0; i < s.devices[d].subdevices.size(); ++i) {
            const Subdevice &sub = s.devices[d].subdevices[i];
            const std::string at =
                where + ".devices[" + std::to_string(d) + "].subdevices[" + std::to_string(i) + "]";
            for (const auto &signal : sub.signals) {
                if (signal.second.kind != Signal::Kind::Loopback)
                    continue;
                const Subdevice *source = find(signal.second.device, signal.second.subdevice);
                if (!source || source->type != KA_TYPE_AO || signal.second.channel < 0 ||
                    signal.second.channel >= source->channels || source->ranges.empty())
                    fail(at + ".signals." + std::to_string(signal.first),
                         "loopback must name an analog output channel with a range");
            }
            if (sub.loopback.present()) {
                const Subdevice *source = find(sub.loopback.device, sub.loopback.subdevice);
                if (!source || (source->type != KA_TYPE_DIO && source->type != KA_TYPE_DO))
                    fail(at + ".loopback", "must name a digital output or I/O subdevice");
            }
        }
    }
}

System parseSystemObject(const json &j, const std::string &where)
{
    if (!j.is_object())
        fail(where, "object expected");
    System s;
    s.libraryVersion = toVersion(member(j, "library_version", where), where + ".library_version");
    s.mainDriverVersion =
        toVersion(member(j, "main_driver_version", where), where + ".main_driver_version");
    const json &devices = member(j, "devices", where);
    if (!devices.is_array())
        fail(where + ".devices", "list expected");
    for (size_t i = 0; i < devices.size(); ++i)
        s.devices.push_back(parseDevice(devices[i], where + ".devices[" + std::to_string(i) + "]"));
    checkReferences(s, where);
    if (j.contains("hosts")) {
        for (const auto &item : j["hosts"].items())
            s.hosts[item.key()] = parseSystemObject(item.value(), where + ".hosts." + item.key());
    }
    return s;
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

System parseSystem(const std::string &text)
{
    json j;
    try {
        j = json::parse(text);
    } catch (const json::exception &e) {
        throw SystemError(std::string("JSON: ") + e.what());
    }
    try {
        return parseSystemObject(j, "system");
    } catch (const json::exception &e) { // wrong JSON kinds deep inside
        throw SystemError(std::string("system: ") + e.what());
    }
}

System loadSystemFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw SystemError(path + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return parseSystem(text.str());
    } catch (const SystemError &e) {
        throw SystemError(path + ": " + e.what());
    }
}

} // namespace sim
