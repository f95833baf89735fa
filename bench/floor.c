/*
 * The floor for kaIOSingle: the library's own call on the same records, plus
 * the least dictionary work any binding must do, one pass over each
 * dictionary and the two stores of the results. The dictionaries must hold
 * the record's eight keys, in record order, as interned strings, and plain
 * ints that fit 32 bits; anything else is refused, not handled.
 *
 * The floor for kaIOStreamRead: the library's own read into memory of the
 * caller's.
 *
 * Also the callgrind client requests the benchmark uses to count the
 * instructions of one measured stretch.
 */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <stddef.h>
#include <valgrind/callgrind.h>

#include "Tarvexmain.h"

enum {
    kFields = sizeof(kaSingleRecord) / sizeof(int),
    kValue = offsetof(kaSingleRecord, value) / sizeof(int),
    kErrno = offsetof(kaSingleRecord, resultCode) / sizeof(int),
};

static const char *const kKeys[kFields] = {"Device", "Subdevice", "Channel", "Dir",
                                           "Value",  "TimeOut",   "Flags",   "Errno"};
static PyObject *keyNames[kFields];

static int internKeys(void)
{
    for (int k = 0; k < kFields; ++k)
        if (!keyNames[k] && !(keyNames[k] = PyUnicode_InternFromString(kKeys[k])))
            return -1;
    return 0;
}

/* A plain int held in one internal digit, read as the module reads it. */
static int readField(PyObject *value, int *field)
{
    if (!PyLong_CheckExact(value))
        return -1;
    const Py_ssize_t size = Py_SIZE(value);
    if (size >= -1 && size <= 1) {
        *field = (int)(size * (long)((PyLongObject *)value)->ob_digit[0]);
        return 0;
    }
    const long v = PyLong_AsLong(value);
    *field = (int)v;
    return v == -1 && PyErr_Occurred() ? -1 : 0;
}

static int packEntry(PyObject *dict, int *fields)
{
    Py_ssize_t position = 0;
    PyObject *key, *value;
    int k = 0;
    while (PyDict_Next(dict, &position, &key, &value)) {
        if (k == kFields || key != keyNames[k] || readField(value, &fields[k]) != 0)
            return -1;
        ++k;
    }
    return k == kFields ? 0 : -1;
}

static int storeResult(PyObject *dict, PyObject *key, PyObject *value)
{
    if (!value)
        return -1;
    const int stored = PyDict_SetItem(dict, key, value);
    Py_DECREF(value);
    return stored;
}

/* Runs `rounds` batches over the list; 0, or -1 at the first refusal. */
int floorSingle(PyObject *list, int rounds)
{
    if (internKeys() != 0 || !PyList_CheckExact(list))
        return -1;
    const Py_ssize_t count = PyList_GET_SIZE(list);
    for (int round = 0; round < rounds; ++round) {
        kaSingleRecord *records = PyMem_Malloc(count ? count * sizeof *records : 1);
        if (!records)
            return -1;
        int failed = 0;
        for (Py_ssize_t i = 0; i < count && !failed; ++i)
            failed = packEntry(PyList_GET_ITEM(list, i), &records[i].device);
        failed = failed || kaIOSingle(records, (int)count, 0) != 0;
        for (Py_ssize_t i = 0; i < count && !failed; ++i) {
            PyObject *dict = PyList_GET_ITEM(list, i);
            failed = storeResult(dict, keyNames[kValue],
                                 PyLong_FromUnsignedLong((unsigned)records[i].value)) ||
                     storeResult(dict, keyNames[kErrno], PyLong_FromLong(records[i].resultCode));
        }
        PyMem_Free(records);
        if (failed)
            return -1;
    }
    return 0;
}

/* Reads `count` values `rounds` times into one buffer; 0, or the first
 * non-zero result code, or -1 when the memory cannot be had. */
int floorStreamRead(int device, int subdevice, int count, int rounds)
{
    int *values = PyMem_Malloc(count > 0 ? (size_t)count * sizeof *values : 1);
    if (!values)
        return -1;
    int code = 0;
    for (int round = 0; round < rounds && code == 0; ++round) {
        int delivered = count;
        code = kaIOStreamRead(device, subdevice, KA_READ_MODE_BLOCKING, values, &delivered, 0);
    }
    PyMem_Free(values);
    return code;
}

void benchStartCounting(void)
{
    CALLGRIND_START_INSTRUMENTATION;
}

void benchZeroCounts(void)
{
    CALLGRIND_ZERO_STATS;
}

void benchDumpCounts(const char *label)
{
    CALLGRIND_DUMP_STATS_AT(label);
}
