#include "records.h"

#include <cstring>

static PyObject *keyName(KeySpec &field)
{
    if (!field.name)
        field.name = PyUnicode_InternFromString(field.key); // kept for the module's life
    return field.name;
}

// Finds the keys not found by identity with lookups, which can run Python
// code that changes the dictionary, so every value is held meanwhile.
static bool readByLookup(PyObject *dict, KeySpec *keys, int keyCount, int entry, int *record,
                         PyObject **values)
{
    PyRef held[kMaxKeys];
    for (int k = 0; k < keyCount; ++k)
        held[k] = PyRef::borrowed(values[k]);
    for (int k = 0; k < keyCount; ++k) {
        KeySpec &field = keys[k];
        if (!held[k]) {
            PyObject *name = keyName(field);
            if (!name)
                return false;
            held[k] = PyRef::borrowed(PyDict_GetItemWithError(dict, name));
            if (!held[k]) {
                if (!PyErr_Occurred())
                    raiseTypeError(field.missing, entry);
                return false;
            }
        }
        if (!readValue(held[k].get(), field.kind, field.wrongKind, entry, record + field.word))
            return false;
    }
    return true;
}

bool packRecord(PyObject *dict, KeySpec *keys, int keyCount, int entry, int *record,
                PyObject **seen)
{
    // One pass over the dictionary finds the keys that are our own interned
    // strings, as the keys of dictionary literals and keyword arguments are,
    // trying the next key of the table first since callers mostly write them
    // in that order. No Python code runs in this pass.
    PyObject *values[kMaxKeys];
    for (int k = 0; k < keyCount; ++k)
        values[k] = nullptr;
    Py_ssize_t position = 0;
    PyObject *key, *value;
    int found = 0;
    int next = 0;
    while (found < keyCount && PyDict_Next(dict, &position, &key, &value)) {
        int k = next;
        if (k >= keyCount || key != keys[k].name) {
            for (k = 0; k < keyCount && key != keys[k].name; ++k) {
            }
            if (k == keyCount)
                continue; // a key of the caller's own
        }
        if (values[k])
            continue; // cannot happen with unique keys; never count a slot twice
        values[k] = value;
        next = k + 1;
        ++found;
    }
    bool complete = true;
    for (int k = 0; k < keyCount; ++k)
        complete = complete && values[k] != nullptr;
    if (!complete) {
        for (int k = 0; seen && k < keyCount; ++k)
            seen[k] = nullptr;
        return readByLookup(dict, keys, keyCount, entry, record, values);
    }
    for (int k = 0; seen && k < keyCount; ++k)
        seen[k] = values[k];
    for (int k = 0; k < keyCount; ++k) {
        const KeySpec &field = keys[k];
        if (!readValue(values[k], field.kind, field.wrongKind, entry, record + field.word))
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

bool PackedList::pack(PyObject *list, const ListSpec &layout)
{
    if (!PyList_Check(list)) {
        raiseWrongKind(layout.notList, kPythonList, list);
        return false;
    }
    const Py_ssize_t count = PyList_GET_SIZE(list);
    const size_t recordBytes = layout.recordWords * sizeof(int);
    const size_t slotBytes = recordBytes + (1 + layout.keyCount) * sizeof(PyObject *);
    constexpr size_t align = alignof(PyObject *);
    if (count > INT32_MAX || static_cast<size_t>(count) > (PY_SSIZE_T_MAX - align) / slotBytes) {
        PyErr_NoMemory();
        return false;
    }
    // Records first (the driver sees them contiguous), then the dictionaries,
    // then the values read from them, at a pointer's alignment: an odd count
    // of records of an odd number of words would leave them misaligned.
    const size_t pointersAt = (count * recordBytes + align - 1) / align * align;
    void *block = PyMem_Malloc(pointersAt + count * (slotBytes - recordBytes));
    if (!block) {
        PyErr_NoMemory();
        return false;
    }
    std::memset(block, 0, count * recordBytes);
    words_ = static_cast<int *>(block);
    dicts_ = reinterpret_cast<PyObject **>(static_cast<char *>(block) + pointersAt);
    seen_ = dicts_ + count;
    layout_ = &layout;
    keys_ = layout.keys;
    keyCount_ = layout.keyCount;
    count_ = count;
    recordWords_ = layout.recordWords;

    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject *entry = PyList_GetItem(list, i); // fails if the list shrank meanwhile
        if (!entry)
            return false;
        Py_INCREF(entry);
        dicts_[held_++] = entry;
        if (!PyDict_Check(entry)) {
            raiseWrongKind(layout.notDict, kPythonDictionary, entry);
            return false;
        }
        PyObject **seen = seen_ + i * keyCount_;
        if (!packRecord(entry, layout.keys, layout.keyCount, static_cast<int>(i), record(i), seen))
            return false;
        pythonRan_ = pythonRan_ || (keyCount_ > 0 && !seen[0]);
    }
    return true;
}

bool PackedList::writeBack()
{
    const Py_ssize_t perEntry = layout_->resultCount;
    const Py_ssize_t total = count_ * perEntry;
    PyObject **values = PyMem_New(PyObject *, total ? total : 1);
    if (!values) {
        PyErr_NoMemory();
        return false;
    }
    Py_ssize_t made = 0;
    bool ok = true;
    for (Py_ssize_t i = 0; ok && i < count_; ++i) {
        for (Py_ssize_t r = 0; r < perEntry; ++r) {
            const KeySpec &key = keys_[layout_->resultKeys[r]];
            const int field = record(i)[key.word];
            values[made] = key.result == WriteBack::Unsigned ? makeItem(Unsigned{field})
                                                             : makeItem(Signed{field});
            if (!values[made]) {
                ok = false;
                break;
            }
            ++made;
        }
    }
    for (Py_ssize_t v = 0; ok && v < total; ++v) {
        KeySpec *key = &keys_[layout_->resultKeys[v % perEntry]];
        const Py_ssize_t i = v / perEntry;
        if (!pythonRan_ && seen_[i * keyCount_ + (key - keys_)] == values[v])
            continue;
        PyObject *name = keyName(*key);
        ok = name && PyDict_SetItem(dicts_[i], name, values[v]) == 0;
    }
    for (Py_ssize_t v = 0; v < made; ++v)
        Py_DECREF(values[v]);
    PyMem_Free(values);
    return ok;
}
