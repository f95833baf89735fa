// Lists of dictionaries packed into the driver's record arrays, key by key,
// from tables that describe each key; and the write-back of results into the
// caller's dictionaries.
#ifndef KADRIVER_RECORDS_H
#define KADRIVER_RECORDS_H

#include "convention.h"

// How a field the driver fills goes back to its key after a successful call.
enum class WriteBack {
    None,     // the caller's value stays
    Signed,   // a Python int of the field
    Unsigned, // a Python int of the field read as unsigned 32-bit
};

// One dictionary key and the record field it fills.
struct KeySpec {
    const char *key;
    Kind kind;
    int word;              // index of the field's first 32-bit word
    const char *missing;   // message literal for an absent key
    const char *wrongKind; // message literal for a value of the wrong kind
    WriteBack result = WriteBack::None;
    PyObject *name = nullptr; // the key as an interned string, made on first use
};

// The most keys one record has (the trigger set-up).
constexpr int kMaxKeys = 16;

// A list argument: its messages, the keys of its records and those of them
// that are written back, in table order.
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
ListSpec listOf(const char *notList, const char *notDict, KeySpec (&keys)[N])
{
    static_assert(N <= kMaxKeys, "more keys than a record has");
    ListSpec layout{notList, notDict, keys, N, static_cast<int>(sizeof(Record) / sizeof(int)),
                    {},      0};
    for (int k = 0; k < N; ++k)
        if (keys[k].result != WriteBack::None)
            layout.resultKeys[layout.resultCount++] = k;
    return layout;
}

template <int N> constexpr int countOf(const KeySpec (&)[N])
{
    return N;
}

// Fills record from dict, keys in table order; words no key names are left
// as they are. On the first fault sets the error and returns false. When
// seen is given, it receives the values read (borrowed), or all nulls when a
// key had to be looked up, which can run Python code.
bool packRecord(PyObject *dict, KeySpec *keys, int keyCount, int entry, int *record,
                PyObject **seen = nullptr);

// The records of one list, with a reference to each dictionary they came
// from, in one block of the interpreter's memory that lives for one call.
class PackedList
{
  public:
    PackedList() = default;
    PackedList(const PackedList &) = delete;
    PackedList &operator=(const PackedList &) = delete;
    ~PackedList();

    // Checks list against layout and packs it. On a fault sets the error and
    // returns false; nothing of the caller's objects changes.
    bool pack(PyObject *list, const ListSpec &layout);

    int count() const { return static_cast<int>(count_); }
    int *records() { return words_; }
    int *record(Py_ssize_t i) { return words_ + i * recordWords_; }

    // After a successful call: sets the layout's result keys of each
    // dictionary to their fields of its record, in list order. Every value
    // is made before any dictionary is touched, so a failure (out of memory)
    // leaves all dictionaries as they were. A dictionary that already holds
    // the very object (a small int passed again unchanged) is left as it is,
    // unless Python code ran while the list was read and may have changed it
    // since.
    bool writeBack();

  private:
    Py_ssize_t count_ = 0;
    int recordWords_ = 0;
    int *words_ = nullptr;
    PyObject **dicts_ = nullptr; // within the same block, after the records
    PyObject **seen_ = nullptr;  // the values read, keyCount_ per entry, after those
    const ListSpec *layout_ = nullptr;
    KeySpec *keys_ = nullptr;
    int keyCount_ = 0;
    bool pythonRan_ = false;
    Py_ssize_t held_ = 0;
};

#endif
