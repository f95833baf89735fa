#include "records.h"

#include <cstring>

namespace
{

PyObject *KeyName(KeySpec &field)
{
    if (!field.name)
        field.name = PyUnicode_InternFromString(field.key); // kept for the module's life
    return field.name;
}

// Reads dict into record in one pass that runs no Python code, and leaves in
// seen the objects read for the layout's result keys. The table's keys must
// come in table order, as dictionary literals and keyword calls list them,
// each matched by identity when its turn comes and its value converted on
// the spot; the caller's own keys may come anywhere between them. False as
// soon as the pass meets what it cannot settle without running Python code
// or raising: a key of the caller's that is not an exact str (its
// comparisons could run Python code), a value that is not a small plain int,
// or, at the end, a key of the table not matched (absent, out of order, or
// an equal string of the caller's).
inline bool ReadInOnePass(PyObject *dict, const ListSpec &layout, int *record, PyObject **seen)
{
    const KeySpec *const keys = layout.keys;
    const int keyCount = layout.keyCount;
    PyObject *values[kMaxKeys];
    int next = 0;
    Py_ssize_t position = 0;
    PyObject *key, *value;
    while (PyDict_Next(dict, &position, &key, &value)) {
        if (next < keyCount && key == keys[next].name) {
            if (!ReadSmallInt(value, record + keys[next].word))
                return false;
            values[next] = value;
            if (++next == keyCount && PyDict_GET_SIZE(dict) == keyCount)
                break; // no key of the caller's is left to look at
        } else if (!PyUnicode_CheckExact(key)) {
            return false;
        }
    }
    if (next != keyCount)
        return false;
    for (int r = 0; r < layout.resultCount; ++r)
        seen[r] = values[layout.resultKeys[r]];
    return true;
}

// A slot of a hash set of 2**bits slots for an object's address.
size_t SlotOf(const PyObject *object, int bits)
{
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(object));
    return static_cast<size_t>((address * 0x9E3779B97F4A7C15u) >> (64 - bits));
}

} // namespace

// Each key is looked up when its turn comes: a lookup can run Python code (a
// colliding key's __eq__) that changes the dictionary, so no value may be
// read ahead of its turn. Between a lookup and the conversion of the value it
// gives, no Python code runs.
bool PackRecord(PyObject *dict, KeySpec *keys, int keyCount, int entry, int *record)
{
    for (int k = 0; k < keyCount; ++k) {
        KeySpec &field = keys[k];
        PyObject *name = KeyName(field);
        if (!name)
            return false;
        PyObject *value = PyDict_GetItemWithError(dict, name);
        if (!value) {
            if (!PyErr_Occurred())
                RaiseTypeError(field.messages->missing, field.key, entry);
            return false;
        }
        if (!ReadValue(value, field.kind, field.messages->wrongKind, field.key, entry,
                       record + field.word))
            return false;
    }
    return true;
}

PackedList::~PackedList()
{
    for (Py_ssize_t i = 0; i < held_; ++i)
        Py_DECREF(dicts_[i]);
    PyMem_Free(words_);
}

bool PackedList::Pack(PyObject *list, const ListSpec &layout)
{
    if (!PyList_Check(list)) {
        RaiseWrongKind(layout.notList, kPythonList, list);
        return false;
    }
    const Py_ssize_t count = PyList_GET_SIZE(list);
    const size_t recordBytes = layout.recordWords * sizeof(int);
    // Per entry: its record, its dictionary, the values of its result keys
    // and at most four slots of the set of dictionaries.
    const size_t entryBytes = recordBytes + (5 + layout.resultCount) * sizeof(PyObject *);
    constexpr size_t kAlign = alignof(PyObject *);
    if (count > INT32_MAX || static_cast<size_t>(count) > (PY_SSIZE_T_MAX - kAlign) / entryBytes) {
        PyErr_NoMemory();
        return false;
    }
    int tableBits = 0;
    if (layout.resultCount > 0)
        for (tableBits = 1; (size_t{1} << tableBits) < 2 * static_cast<size_t>(count);)
            ++tableBits;
    const size_t tableSize = tableBits ? size_t{1} << tableBits : 0;
    // Records first (the driver sees them contiguous), then the pointers at
    // their alignment: an odd count of records of an odd number of words
    // would leave them misaligned.
    const size_t pointersAt = (count * recordBytes + kAlign - 1) / kAlign * kAlign;
    const size_t pointers = count * (1 + layout.resultCount) + tableSize;
    void *block = PyMem_Malloc(pointersAt + pointers * sizeof(PyObject *));
    if (!block) {
        PyErr_NoMemory();
        return false;
    }
    std::memset(block, 0, count * recordBytes);
    layout_ = &layout;
    count_ = count;
    words_ = static_cast<int *>(block);
    dicts_ = reinterpret_cast<PyObject **>(static_cast<char *>(block) + pointersAt);
    results_ = dicts_ + count;
    seenDicts_ = results_ + count * layout.resultCount;
    tableBits_ = tableBits;

    int *record = words_;
    PyObject **seen = results_;
    for (Py_ssize_t i = 0; i < count; ++i) {
        // Python code run by a lookup can shrink the list; PyList_GetItem then
        // raises the interpreter's own error.
        PyObject *entry =
            i < PyList_GET_SIZE(list) ? PyList_GET_ITEM(list, i) : PyList_GetItem(list, i);
        if (!entry)
            return false;
        Py_INCREF(entry);
        dicts_[held_++] = entry;
        if (!PyDict_Check(entry)) {
            RaiseWrongKind(layout.notDict, kPythonDictionary, entry);
            return false;
        }
        if (!ReadInOnePass(entry, layout, record, seen)) {
            calm_ = false;
            if (!PackRecord(entry, layout.keys, layout.keyCount, static_cast<int>(i), record))
                return false;
        }
        record += layout.recordWords;
        seen += layout.resultCount;
    }
    return true;
}

void PackedList::ForgetRepeatedDictionaries()
{
    // The list, as it was read, holds a reference to a dictionary for each
    // place the dictionary has in it, and so does this call: one with no
    // references but these two is listed once. Only the others go into the
    // set.
    const size_t mask = (size_t{1} << tableBits_) - 1;
    const int resultCount = layout_->resultCount;
    bool cleared = false;
    for (Py_ssize_t i = 0; i < count_; ++i) {
        PyObject *dict = dicts_[i];
        if (Py_REFCNT(dict) <= 2)
            continue;
        if (!cleared) {
            std::memset(seenDicts_, 0, (mask + 1) * sizeof(PyObject *));
            cleared = true;
        }
        size_t slot = SlotOf(dict, tableBits_);
        while (seenDicts_[slot] && seenDicts_[slot] != dict)
            slot = (slot + 1) & mask;
        if (!seenDicts_[slot])
            seenDicts_[slot] = dict;
        else
            std::memset(results_ + i * resultCount, 0, resultCount * sizeof(PyObject *));
    }
}

bool PackedList::WriteBackResults()
{
    const int resultCount = layout_->resultCount;
    if (resultCount == 0)
        return true;
    // A store is skipped only where it provably changes nothing: the new
    // value is the very object the dictionary held when it was read, and the
    // dictionary still holds it, since no other entry lists the same
    // dictionary (a store of ours into it could come first) and no Python
    // code can have run since (calm_; nor can another thread, as the module
    // keeps the interpreter lock). calm_ holds when every entry was read in
    // one pass, which runs no Python code, nor does the driver call; and
    // those dictionaries hold only exact str keys and, under the keys we
    // replace, small plain ints, so no store of ours runs any either: a
    // lookup compares no object of the caller's, and a replaced value's
    // release runs no __del__. Otherwise every value is stored.
    if (calm_)
        ForgetRepeatedDictionaries();
    int words[kMaxKeys];
    bool isUnsigned[kMaxKeys];
    PyObject *names[kMaxKeys];
    for (int r = 0; r < resultCount; ++r) {
        const KeySpec &key = layout_->keys[layout_->resultKeys[r]];
        words[r] = key.word;
        isUnsigned[r] = key.result == WriteBack::Unsigned;
        names[r] = key.name; // interned by the pass that read the list
    }
    const Py_ssize_t count = count_;
    const int recordWords = layout_->recordWords;
    PyObject **result = results_;
    const int *record = words_;
    for (Py_ssize_t i = 0; i < count; ++i, record += recordWords) {
        for (int r = 0; r < resultCount; ++r, ++result) {
            const int field = record[words[r]];
            PyObject *value = isUnsigned[r] ? MakeItem(Unsigned{field}) : MakeItem(Signed{field});
            if (!value) {
                for (PyObject **made = results_; made < result; ++made)
                    Py_XDECREF(*made);
                return false;
            }
            if (calm_ && value == *result) {
                Py_DECREF(value); // the dictionary holds it
                value = nullptr;
            }
            *result = value;
        }
    }
    bool stored = true;
    result = results_;
    for (Py_ssize_t i = 0; i < count; ++i) {
        for (int r = 0; r < resultCount; ++r, ++result) {
            if (!*result)
                continue;
            stored = stored && PyDict_SetItem(dicts_[i], names[r], *result) == 0;
            Py_DECREF(*result);
        }
    }
    return stored;
}
