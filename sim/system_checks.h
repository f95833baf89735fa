// The values of a system description and their checks: the limits, where a
// value stands and how a refusal names it, and the readers of integers,
// versions, texts, lists, maps and objects with a fixed set of keys. Every
// refusal throws SystemError. Shared by the readers in system.cpp.
#ifndef TARVEX_SIM_SYSTEM_CHECKS_H
#define TARVEX_SIM_SYSTEM_CHECKS_H

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "json_reader.h"
#include "system.h"

namespace sim
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

// A text from the file as a message shows it: control characters escaped,
// long texts cut after whole characters.
std::string Shown(std::string_view text);
std::string Quoted(std::string_view text);

// " (did you mean 'x'?)" for the candidate nearest to word, if one is near
// enough to be a slip; the common prefix of the candidates does not count.
std::string Suggestion(std::string_view word, const std::vector<std::string_view> &candidates,
                       std::size_t commonPrefix = 0);

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

    std::string Text() const
    {
        if (!parent_)
            return std::string(name_);
        if (indexed_)
            return parent_->Text() + "[" + std::to_string(index_) + "]";
        return parent_->Text() + "." + Shown(name_);
    }

  private:
    const Place *parent_ = nullptr;
    std::string_view name_;
    std::size_t index_ = 0;
    bool indexed_ = false;
};

[[noreturn]] void Fail(const Place &at, const std::string &what);

void ExpectKind(JsonReader &in, const Place &at, JsonReader::Kind kind, const char *what);

// A value as the file writes it, shown only if a message needs it.
struct Written {
    std::string_view text;
    bool inQuotes; // a text, not a JSON number

    std::string Shown() const { return inQuotes ? Quoted(text) : sim::Shown(text); }
};

[[noreturn]] void FailRange(const Place &at, Written given, double min, double max);

// The members of an object with a fixed set of keys: each key at most once,
// any other key refused with the closest known one.
class KnownMembers
{
  public:
    // The value's kind is checked before its opening brace is read.
    template <std::size_t N>
    KnownMembers(JsonReader &in, const Place &at, const std::string_view (&keys)[N])
        : members_((ExpectKind(in, at, JsonReader::Kind::Object, "object expected"), in)), at_(at),
          keys_(keys), count_(N), member_(at, "")
    {
        static_assert(N <= 32, "the seen keys are bits of one word");
    }

    // The index of the next member's key in the key list; -1 after the last.
    int Next()
    {
        if (!members_.Next(key_))
            return -1;
        const auto found = std::find(keys_, keys_ + count_, key_);
        if (found == keys_ + count_)
            Fail(at_, "unknown key " + Quoted(key_) + Suggestion(key_, KnownKeys()));
        const int index = static_cast<int>(found - keys_);
        if (Has(index))
            Fail(at_, "duplicated key " + Quoted(key_));
        seen_ |= 1u << index;
        member_ = Place(at_, keys_[index]);
        return index;
    }

    // The place of the member just read.
    const Place &Member() const { return member_; }
    bool Has(int key) const { return (seen_ >> key & 1) != 0; }

    void Require(std::initializer_list<int> keys) const
    {
        for (int key : keys)
            if (!Has(key))
                Fail(at_, "key '" + std::string(keys_[key]) + "' missing");
    }

    // A key the object has but must not have, given its other keys.
    void Refuse(int key, const std::string &why) const
    {
        if (Has(key))
            Fail(at_, "key '" + std::string(keys_[key]) + "' " + why);
    }

  private:
    std::vector<std::string_view> KnownKeys() const { return {keys_, keys_ + count_}; }

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
long long IntegerFromText(const std::string &text, const Place &at, const char *family);
long long CheckRange(long long value, const Place &at, Written given, long long min, long long max);
int WordFromText(const std::string &text, const Place &at, const char *family);

long long ReadInteger(JsonReader &in, const Place &at, long long min, long long max,
                      const char *family = nullptr);
int ReadCount(JsonReader &in, const Place &at, long long min, long long max);
int ReadWord(JsonReader &in, const Place &at, const char *family = nullptr);
double ReadReal(JsonReader &in, const Place &at, double min, double max);
std::string ReadText(JsonReader &in, const Place &at);
// A text the library hands out (a name, a description): Latin-1, refused
// with the first character that Latin-1 lacks.
std::string ReadLatin1Text(JsonReader &in, const Place &at);
// A version is an integer or a dotted text of four bytes ("2.1.0.7").
int ReadVersion(JsonReader &in, const Place &at);
// A bit set is one integer or a list of them, joined with OR.
int ReadBits(JsonReader &in, const Place &at, const char *family);

// Reads a list, calling item(place) for each entry.
template <class Item>
void ReadList(JsonReader &in, const Place &at, long long maxItems, const char *what, Item item)
{
    ExpectKind(in, at, JsonReader::Kind::Array, "list expected");
    std::size_t index = 0;
    for (JsonReader::Items items(in); items.Next(); ++index) {
        if (static_cast<long long>(index) == maxItems)
            Fail(at, "at most " + std::to_string(maxItems) + " " + what);
        item(Place(at, index));
    }
}

// Reads an object whose keys the file chooses, calling member(key, place).
template <class Member> void ReadMap(JsonReader &in, const Place &at, Member member)
{
    ExpectKind(in, at, JsonReader::Kind::Object, "object expected");
    std::string key;
    for (JsonReader::Members members(in); members.Next(key);)
        member(key, Place(at, key));
}

// Loopbacks must name a subdevice of the right kind in the same system.
void CheckReferences(const System &s, const Place &at);

} // namespace sim

#endif
