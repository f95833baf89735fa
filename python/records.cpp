#include "records.h"

#include <cstring>

static PyObject *keyName(KeySpec &spec)
{
    if (!spec.name)
        spec.name = PyUnicode_InternFromString(spec.key); // kept for the module's life
    return spec.name;
}

bool packRecord(PyObject *dict, KeySpec *keys, int keyCount, int entry, int *record)
{
    for (int k = 0; k < keyCount; ++k) {
        KeySpec &spec = keys[k];
        PyObject *name = keyName(spec);
        if (!name)
            return false;
        // A strong reference: looking a key up can run Python code that
        // changes the dictionary.
        PyRef value = PyRef::borrowed(PyDict_GetItemWithError(dict, name));
        if (!value) {
            if (!PyErr_Occurred())
                raiseTypeError(spec.missing, entry);
            return false;
        }
        if (!readValue(value.get(), spec.kind, spec.wrongKind, entry, record + spec.word))
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

bool PackedList::pack(PyObject *list, const ListSpec &spec)
{
    if (!PyList_Check(list)) {
        raiseWrongKind(spec.notList, kPythonList, list);
        return false;
    }
    const Py_ssize_t count = PyList_GET_SIZE(list);
    const size_t recordBytes = spec.recordWords * sizeof(int);
    const size_t slotBytes = recordBytes + sizeof(PyObject *);
    if (count > INT32_MAX || static_cast<size_t>(count) > PY_SSIZE_T_MAX / slotBytes) {
        PyErr_NoMemory();
        return false;
    }
    // Records first (the driver sees them contiguous), then the dictionaries.
    void *block = PyMem_Malloc(count * slotBytes);
    if (!block) {
        PyErr_NoMemory();
        return false;
    }
    std::memset(block, 0, count * recordBytes);
    words_ = static_cast<int *>(block);
    dicts_ = reinterpret_cast<PyObject **>(static_cast<char *>(block) + count * recordBytes);
    count_ = count;
    recordWords_ = spec.recordWords;

    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject *entry = PyList_GetItem(list, i); // fails if the list shrank meanwhile
        if (!entry)
            return false;
        Py_INCREF(entry);
        dicts_[held_++] = entry;
        if (!PyDict_Check(entry)) {
            raiseWrongKind(spec.notDict, kPythonDictionary, entry);
            return false;
        }
        if (!packRecord(entry, spec.keys, spec.keyCount, static_cast<int>(i), record(i)))
            return false;
    }
    return true;
}

bool PackedList::writeBack(std::initializer_list<Result> results)
{
    const Py_ssize_t perEntry = static_cast<Py_ssize_t>(results.size());
    const Py_ssize_t total = count_ * perEntry;
    PyObject **values = PyMem_New(PyObject *, total ? total : 1);
    if (!values) {
        PyErr_NoMemory();
        return false;
    }
    Py_ssize_t made = 0;
    bool ok = true;
    for (Py_ssize_t i = 0; ok && i < count_; ++i) {
        for (const Result &r : results) {
            const int field = record(i)[r.key->word];
            values[made] = r.isUnsigned ? makeItem(Unsigned{field}) : makeItem(Signed{field});
            if (!values[made]) {
                ok = false;
                break;
            }
            ++made;
        }
    }
    for (Py_ssize_t v = 0; ok && v < total; ++v) {
        PyObject *name = keyName(*results.begin()[v % perEntry].key);
        ok = name && PyDict_SetItem(dicts_[v / perEntry], name, values[v]) == 0;
    }
    for (Py_ssize_t v = 0; v < made; ++v)
        Py_DECREF(values[v]);
    PyMem_Free(values);
    return ok;
}
