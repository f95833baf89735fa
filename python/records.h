// Lists of dictionaries packed into the driver's record arrays, key by key,
// from tables that describe each key; and the write-back of the fields the
// driver fills into the caller's dictionaries.
#ifndef KADRIVER_RECORDS_H
#define KADRIVER_RECORDS_H

#include <cassert>
#include <cstddef>

#include "convention.h"

#include "Tarvexmain.h"

// How a field the driver fills goes back to its key after a successful call.
enum class WriteBack {
    None,     // the caller's value stays
    Signed,   // a Python int of the field
    Unsigned, // a Python int of the field read as unsigned 32-bit
};

// Where a key's messages place a fault: the format literals for an absent
// key and for a value of the wrong kind, each formatted with the key and the
// entry's position in its list.
struct KeyMessages {
    const char *missing;
    const char *wrongKind;
};

inline constexpr KeyMessages kInSingleList = {"Key '%s' expected in start list entry %d",
                                              KADRIVER_KIND_HEAD
                                              " as argument for '%s' in start list entry %d"};
inline constexpr KeyMessages kInStartList = {"Key '%s' expected in start list entry %d",
                                             KADRIVER_KIND_HEAD " as argument for '%s'"};
inline constexpr KeyMessages kInConfigList = {"Key '%s' expected in config list entry %d",
                                              KADRIVER_KIND_HEAD " as argument for '%s'"};
inline constexpr KeyMessages kInTriggerSetup = {"Key '%s' expected in trigger setup.",
                                                KADRIVER_KIND_HEAD " as argument for '%s'"};

// One dictionary key and the record field it fills.
struct KeySpec {
    const char *key;
    Kind kind;
    int word; // index of the field's first 32-bit word
    const KeyMessages *messages;
    WriteBack result = WriteBack::None;
    PyObject *name = nullptr; // the key as an interned string, made on first use
};

// The entry of a key table for `key`, which fills `field` of Record:
// KADRIVER_KEY(Record, field, "Key", kind, messages[, write-back]).
#define KADRIVER_KEY(Record, field, key, kind, messages, ...)                                      \
    {                                                                                              \
        key, kind, static_cast<int>(offsetof(Record, field) / sizeof(int)), &messages, __VA_ARGS__ \
    }

// The most keys one record has (the trigger set-up).
constexpr int kMaxKeys = 16;

// A list argument: its messages, the keys of its records and those of them
// that are written back, in table order. A list's fields are 32-bit (tick
// counts belong to the trigger set-up alone), as the one-pass read of its
// dictionaries takes them.
struct ListSpec {
    const char *notList; // "... as argument N", for an argument that is no list
    const char *notDict; // "... as list item in argument N"
    KeySpec *keys;
    int keyCount;
    int recordWords;
    int resultKeys[kMaxKeys]; // indices into keys
    int resultCount;
};

// A list of records of one type, given as argument `position` of its
// function, with the key table that fills each record.
#define KADRIVER_LIST_ARGUMENT(position)                                                           \
    KADRIVER_KIND_HEAD " as argument " #position,                                                  \
        KADRIVER_KIND_HEAD " as list item in argument " #position

template <class Record, int N>
ListSpec ListOf(const char *notList, const char *notDict, KeySpec (&keys)[N])
{
    static_assert(N <= kMaxKeys, "more keys than a record read in one pass can have");
    ListSpec layout{notList, notDict, keys, N, static_cast<int>(sizeof(Record) / sizeof(int)),
                    {},      0};
    for (int k = 0; k < N; ++k) {
        assert(keys[k].kind != Kind::Ticks);
        if (keys[k].result != WriteBack::None)
            layout.resultKeys[layout.resultCount++] = k;
    }
    return layout;
}

template <int N> constexpr int CountOf(const KeySpec (&)[N])
{
    return N;
}

// Fills record from dict, each key looked up in table order when its turn
// comes; words no key names are left as they are. On the first fault sets
// the error and returns false.
bool PackRecord(PyObject *dict, KeySpec *keys, int keyCount, int entry, int *record);

// The records of one list in one block of the interpreter's memory that
// lives for one call, sized for everything the call needs: the records, a
// reference to each dictionary they came from and, where keys are written
// back, the values read and then the values made after the call, and a set
// that finds dictionaries listed more than once.
class PackedList
{
  public:
    PackedList() = default;
    PackedList(const PackedList &) = delete;
    PackedList &operator=(const PackedList &) = delete;
    ~PackedList();

    // Checks list against layout and packs it. On a fault sets the error and
    // returns false; nothing of the caller's objects changes.
    bool Pack(PyObject *list, const ListSpec &layout);

    int Count() const { return static_cast<int>(count_); }
    int *Records() { return words_; }

    // After a successful call: sets the layout's result keys of each
    // dictionary to their fields of its record, entry by entry in list
    // order. Every value is made before any dictionary is touched, so
    // running out of memory leaves all dictionaries as they were.
    bool WriteBackResults();

  private:
    void ForgetRepeatedDictionaries();

    const ListSpec *layout_ = nullptr;
    Py_ssize_t count_ = 0;
    int *words_ = nullptr;
    PyObject **dicts_ = nullptr;     // within the same block, after the records
    PyObject **results_ = nullptr;   // resultCount per entry, after those
    PyObject **seenDicts_ = nullptr; // a hash set of 2**tableBits_ slots, after those
    int tableBits_ = 0;
    Py_ssize_t held_ = 0;
    bool calm_ = true; // no Python code can have run since the list was read
};

// The key tables, each key in the order the module reads it.

inline KeySpec kSingleKeys[] = {
    KADRIVER_KEY(kaSingleRecord, device, "Device", Kind::Integer, kInSingleList),
    KADRIVER_KEY(kaSingleRecord, subdevice, "Subdevice", Kind::Integer, kInSingleList),
    KADRIVER_KEY(kaSingleRecord, channel, "Channel", Kind::Integer, kInSingleList),
    KADRIVER_KEY(kaSingleRecord, direction, "Dir", Kind::Integer, kInSingleList),
    KADRIVER_KEY(kaSingleRecord, value, "Value", Kind::LongInteger, kInSingleList,
                 WriteBack::Unsigned),
    KADRIVER_KEY(kaSingleRecord, timeOut, "TimeOut", Kind::Integer, kInSingleList),
    KADRIVER_KEY(kaSingleRecord, flags, "Flags", Kind::Integer, kInSingleList),
    KADRIVER_KEY(kaSingleRecord, resultCode, "Errno", Kind::Integer, kInSingleList,
                 WriteBack::Signed),
};

inline KeySpec kChannelKeys[] = {
    KADRIVER_KEY(kaStreamConfigRecord, channel, "Channel", Kind::Integer, kInConfigList),
    KADRIVER_KEY(kaStreamConfigRecord, streamConfig, "StreamConfig", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamConfigRecord, reference, "Ref", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamConfigRecord, flags, "Flags", Kind::Integer, kInStartList),
};

// kaUtilityExtractValues fills only the channel of each record; the other
// fields stay zero.
inline KeySpec kExtractKeys[] = {
    KADRIVER_KEY(kaStreamConfigRecord, channel, "Channel", Kind::Integer, kInConfigList),
};

// The trigger set-up is one dictionary, not a list; it alone has tick counts.
inline KeySpec kTriggerKeys[] = {
    KADRIVER_KEY(kaStreamTriggerRecord, acqStartTrigType, "AcqStartTrigType", Kind::Integer,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, acqStartTrigEdge, "AcqStartTrigEdge", Kind::Integer,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, acqStartTrigChan, "AcqStartTrigChan", Kind::Integer,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, acqStartTicksLow, "AcqStartTicks", Kind::Ticks,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, scanStartTrigType, "ScanStartTrigType", Kind::Integer,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, scanStartTicksLow, "ScanStartTicks", Kind::Ticks,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, convStartTrigType, "ConvStartTrigType", Kind::Integer,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, convStartTicksLow, "ConvStartTicks", Kind::Ticks,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, scanStopTrigType, "ScanStopTrigType", Kind::Integer,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, scanStopCount, "ScanStopCount", Kind::Integer,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, acqStopTrigType, "AcqStopTrigType", Kind::Integer,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, acqStopCount, "AcqStopCount", Kind::Integer,
                 kInTriggerSetup),
    KADRIVER_KEY(kaStreamTriggerRecord, flags, "Flags", Kind::Integer, kInTriggerSetup),
};

inline KeySpec kStartKeys[] = {
    KADRIVER_KEY(kaStreamStartRecord, device, "Device", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamStartRecord, subdevice, "Subdevice", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamStartRecord, startMode, "StartMode", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamStartRecord, timeOut, "TimeOut", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamStartRecord, flags, "Flags", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamStartRecord, resultCode, "Errno", Kind::Integer, kInStartList,
                 WriteBack::Signed),
};

// The stop list's messages name the start list, as they always have.
inline KeySpec kStopKeys[] = {
    KADRIVER_KEY(kaStreamStopRecord, device, "Device", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamStopRecord, subdevice, "Subdevice", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamStopRecord, stopMode, "StopMode", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamStopRecord, flags, "Flags", Kind::Integer, kInStartList),
    KADRIVER_KEY(kaStreamStopRecord, resultCode, "Errno", Kind::Integer, kInStartList,
                 WriteBack::Signed),
};

// The list arguments, each given as the argument of its position.
inline const ListSpec kSingleList = ListOf<kaSingleRecord>(KADRIVER_LIST_ARGUMENT(1), kSingleKeys);
inline const ListSpec kChannelList =
    ListOf<kaStreamConfigRecord>(KADRIVER_LIST_ARGUMENT(3), kChannelKeys);
inline const ListSpec kExtractList =
    ListOf<kaStreamConfigRecord>(KADRIVER_LIST_ARGUMENT(3), kExtractKeys);
inline const ListSpec kStartList =
    ListOf<kaStreamStartRecord>(KADRIVER_LIST_ARGUMENT(1), kStartKeys);
inline const ListSpec kStopList = ListOf<kaStreamStopRecord>(KADRIVER_LIST_ARGUMENT(1), kStopKeys);

#endif
