#include "system_checks.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "Tarvexmain.h"
#include "kinds/registry.h"
#include "latin1.h"

namespace sim
{
namespace
{

// How much of a text from the file a message shows.
constexpr std::size_t kShownCharacters = 40;

const std::unordered_map<std::string, int> &Constants()
{
    static const std::unordered_map<std::string, int> kTable = {
#define KA_CONSTANT(name, value) {#name, value},
#define KA_CONSTANT_AGAIN(name, value)
#include "ka_constants.def"
#undef KA_CONSTANT
#undef KA_CONSTANT_AGAIN
    };
    return kTable;
}

std::string NumberText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// Insertions, deletions, replacements and swaps of neighbours that turn a
// into b (optimal string alignment).
std::size_t EditDistance(std::string_view a, std::string_view b)
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

// A 32-bit field: values above 2^31 - 1 give the same bits as a negative one.
int ToWord(long long value)
{
    return static_cast<int>(static_cast<unsigned>(value));
}

} // namespace

std::string Shown(std::string_view text)
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

std::string Quoted(std::string_view text)
{
    return "'" + Shown(text) + "'";
}

std::string Suggestion(std::string_view word, const std::vector<std::string_view> &candidates,
                       std::size_t commonPrefix)
{
    std::string_view best;
    std::size_t bestDistance = 0;
    for (std::string_view candidate : candidates) {
        const std::size_t allowed = std::max<std::size_t>(1, (candidate.size() - commonPrefix) / 3);
        const std::size_t longer = std::max(word.size(), candidate.size());
        if (longer - std::min(word.size(), candidate.size()) > allowed)
            continue; // the lengths alone differ too much
        const std::size_t distance = EditDistance(word, candidate);
        if (distance <= allowed && (best.empty() || distance < bestDistance)) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best.empty() ? std::string() : " (did you mean " + Quoted(best) + "?)";
}

[[noreturn]] void Fail(const Place &at, const std::string &what)
{
    throw SystemError(at.Text() + ": " + what);
}

void ExpectKind(JsonReader &in, const Place &at, JsonReader::Kind kind, const char *what)
{
    if (in.Peek() != kind)
        Fail(at, what);
}

[[noreturn]] void FailRange(const Place &at, Written given, double min, double max)
{
    Fail(at,
         given.Shown() + " is out of range (" + NumberText(min) + " to " + NumberText(max) + ")");
}

long long IntegerFromText(const std::string &text, const Place &at, const char *family)
{
    const auto &table = Constants();
    const auto constant = table.find(text);
    if (family && constant != table.end() && text.rfind(family, 0) == 0)
        return constant->second;
    char *end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 0); // saturates: out of any range
    if (!text.empty() && end == text.c_str() + text.size())
        return value;
    if (!family) {
        if (constant != table.end())
            Fail(at, "number expected, not the driver constant " + Quoted(text));
        Fail(at, Quoted(text) + " is not a number");
    }
    if (constant != table.end())
        Fail(at, Quoted(text) + " is not a " + family + " constant");
    std::vector<std::string_view> names;
    for (const auto &entry : table)
        if (entry.first.rfind(family, 0) == 0)
            names.push_back(entry.first);
    std::sort(names.begin(), names.end()); // the same suggestion on every platform
    Fail(at, Quoted(text) + " is neither a number nor a " + family + " constant" +
                 Suggestion(text, names, std::strlen(family)));
}

long long CheckRange(long long value, const Place &at, Written given, long long min, long long max)
{
    if (value < min || value > max)
        FailRange(at, given, static_cast<double>(min), static_cast<double>(max));
    return value;
}

int WordFromText(const std::string &text, const Place &at, const char *family)
{
    return ToWord(
        CheckRange(IntegerFromText(text, at, family), at, {text, true}, kWordMin, kWordMax));
}

long long ReadInteger(JsonReader &in, const Place &at, long long min, long long max,
                      const char *family)
{
    if (in.Peek() == JsonReader::Kind::Text) {
        const std::string text = in.ReadText();
        return CheckRange(IntegerFromText(text, at, family), at, {text, true}, min, max);
    }
    ExpectKind(in, at, JsonReader::Kind::Number, "integer expected");
    const JsonReader::Number number = in.ReadNumber();
    if (!number.integer)
        Fail(at, "integer expected, not " + Shown(number.text));
    long long value = 0;
    const char *first = number.text.data();
    if (std::from_chars(first, first + number.text.size(), value).ec != std::errc())
        value = number.text[0] == '-' ? LLONG_MIN : LLONG_MAX; // out of any range
    return CheckRange(value, at, {number.text, false}, min, max);
}

int ReadCount(JsonReader &in, const Place &at, long long min, long long max)
{
    return static_cast<int>(ReadInteger(in, at, min, max));
}

int ReadWord(JsonReader &in, const Place &at, const char *family)
{
    return ToWord(ReadInteger(in, at, kWordMin, kWordMax, family));
}

double ReadReal(JsonReader &in, const Place &at, double min, double max)
{
    ExpectKind(in, at, JsonReader::Kind::Number, "number expected");
    const JsonReader::Number number = in.ReadNumber();
    double value = 0.0;
    const char *first = number.text.data();
    const auto result = std::from_chars(first, first + number.text.size(), value);
    if (result.ec != std::errc() || !(value >= min && value <= max))
        FailRange(at, {number.text, false}, min, max);
    return value;
}

std::string ReadText(JsonReader &in, const Place &at)
{
    ExpectKind(in, at, JsonReader::Kind::Text, "text expected");
    return in.ReadText();
}

std::string ReadLatin1Text(JsonReader &in, const Place &at)
{
    const std::string text = ReadText(in, at);
    std::string latin1;
    if (const char32_t lacking = AppendLatin1(text, latin1, 0)) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(lacking));
        Fail(at, "character " + std::to_string(latin1.size() + 1) + ", " + code +
                     ", is not in Latin-1, the character set of the library's texts");
    }
    return latin1;
}

int ReadVersion(JsonReader &in, const Place &at)
{
    if (in.Peek() != JsonReader::Kind::Text)
        return ReadWord(in, at);
    const std::string text = in.ReadText();
    if (text.find('.') == std::string::npos)
        return WordFromText(text, at, nullptr);
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
        Fail(at, "version 'a.b.c.d' with parts from 0 to 255 expected");
    return static_cast<int>(version);
}

int ReadBits(JsonReader &in, const Place &at, const char *family)
{
    if (in.Peek() != JsonReader::Kind::Array)
        return ReadWord(in, at, family);
    int bits = 0;
    ReadList(in, at, kWordMax, "bits",
             [&](const Place &item) { bits |= ReadWord(in, item, family); });
    return bits;
}

// What loopbacks may read of a subdevice, by its kind.
int OutputsOf(const Subdevice &sub)
{
    const KindInfo *kind = KindOf(sub.type);
    return kind ? kind->outputs(sub.type) : 0;
}

void CheckReferences(const System &s, const Place &at)
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
                if (!source || !(OutputsOf(*source) & kAnalogOutputs) ||
                    signal.second.channel >= source->channels) {
                    const std::string channel = std::to_string(signal.first);
                    Fail(Place(Place(subdevice, "signals"), channel),
                         "loopback must name an analog output channel");
                }
            }
            if (sub.loopback.Present()) {
                const Subdevice *source = find(sub.loopback.device, sub.loopback.subdevice);
                if (!source || !(OutputsOf(*source) & kLineOutputs))
                    Fail(Place(subdevice, "loopback"),
                         "must name a digital output or I/O subdevice");
            }
        }
    }
}

bool ConstantValue(const std::string &name, int &value)
{
    auto it = Constants().find(name);
    if (it == Constants().end())
        return false;
    value = it->second;
    return true;
}

} // namespace sim
