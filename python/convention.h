// Conventions shared by every wrapper: raising kaDriver.error, the argument
// kinds and their messages, and the conversions of results.
#ifndef KADRIVER_CONVENTION_H
#define KADRIVER_CONVENTION_H

#include <cstdint>

#include "pyref.h"

#if PY_VERSION_HEX < 0x030B0000
#    include <longintrepr.h> // PyLongObject's digits; Python.h has them from 3.11
#endif

// The exception class kaDriver.error, set once at initialisation.
extern PyObject *kaDriverError;

// Code reported in place of the library's when it has no text for a code.
constexpr int kNoMessageCode = 80;

// Raises kaDriver.error with (code, text) for a non-zero result code.
// Returns null, so a wrapper can `return RaiseDriverError(code);`.
PyObject *RaiseDriverError(int code);

// The common head of every wrong-kind message; each literal below appends
// its own tail ("as argument 1", "as argument for 'Device' ...").
#define KADRIVER_KIND_HEAD "'%s' type expected (not '%s')"

// The expected-kind words of the messages.
extern const char kPythonList[];       // "Python list"
extern const char kPythonDictionary[]; // "Python dictionary"

// How a value is read from a Python object.
enum class Kind {
    Integer,     // "Python integer": an int that fits 32 signed bits
    LongInteger, // "Python (long) integer": any int, low 32 bits
    Ticks,       // "Python (long) integer": any int as a signed 64-bit count
};
const char *KindName(Kind kind);

// Reads value into words (two words, low first, for Ticks). On a fault sets
// TypeError (wrong kind) or OverflowError (out of range) from wrongKindFormat
// with key and entry, and returns false.
bool ReadAnyValue(PyObject *value, Kind kind, const char *wrongKindFormat, const char *key,
                  int entry, int *words);

// Reads a plain int held in one internal digit (below 2**30 in magnitude,
// so it fits a 32-bit field of either kind) into word, without a call;
// false, with no error set, for any other object. Runs no Python code.
inline bool ReadSmallInt(PyObject *value, int *word)
{
    if (!PyLong_CheckExact(value))
        return false;
    auto *number = reinterpret_cast<PyLongObject *>(value);
#if PY_VERSION_HEX >= 0x030C0000
    if (!PyUnstable_Long_IsCompact(number))
        return false;
    *word = static_cast<int>(PyUnstable_Long_CompactValue(number));
#else
    const Py_ssize_t digits = Py_SIZE(value); // negative for a negative value
    if (digits < -1 || digits > 1)
        return false;
    *word = static_cast<int>(digits * static_cast<Py_ssize_t>(number->ob_digit[0]));
#endif
    return true;
}

// The same for any value and kind, with ReadAnyValue's faults.
inline bool ReadValue(PyObject *value, Kind kind, const char *wrongKindFormat, const char *key,
                      int entry, int *words)
{
    return (kind != Kind::Ticks && ReadSmallInt(value, words)) ||
           ReadAnyValue(value, kind, wrongKindFormat, key, entry, words);
}

// Raises TypeError from one of the module's format literals, formatted into
// a 256-byte buffer; the arguments are those of the literal. Returns null.
PyObject *RaiseTypeError(const char *format, ...);

// "'<expected>' type expected (not '<type of given>')" + tail of format,
// which may name the key and the entry.
PyObject *RaiseWrongKind(const char *format, const char *expected, PyObject *given,
                         const char *key = "", int entry = 0);

// PyArg_ParseTuple for the remote queries, whose format starts with the host
// ("s") and ends with ":<name>". Python 3's parser refuses a host holding a
// NUL character with a ValueError that names no function; this refuses it as
// every other host the parser cannot take, with a TypeError naming <name>.
bool ParseRemoteArgs(PyObject *args, const char *format, ...);

// The library's text: the bytes before the first NUL within capacity.
PyObject *TextFromBuffer(const char *buffer, int capacity);

// Result items, made in order by MakeTuple.
struct Signed {
    int value;
};
struct Unsigned {
    int value;
}; // a 32-bit value the library gives as unsigned
struct Float {
    double value;
};
struct Ticks {
    int low;
    int high;
}; // unsigned 64-bit count, low word first
struct Text {
    const char *buffer;
    int capacity;
};

inline PyObject *MakeItem(Signed item)
{
    return PyLong_FromLong(item.value);
}
inline PyObject *MakeItem(Unsigned item)
{
    return PyLong_FromUnsignedLong(static_cast<std::uint32_t>(item.value));
}
inline PyObject *MakeItem(Text item)
{
    return TextFromBuffer(item.buffer, item.capacity);
}
inline PyObject *MakeItem(Float item)
{
    return PyFloat_FromDouble(item.value);
}
inline PyObject *MakeItem(Ticks item)
{
    return PyLong_FromUnsignedLongLong(
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(item.high)) << 32 |
        static_cast<std::uint32_t>(item.low));
}

// A tuple of the items, each made in order; on any failure everything made
// so far is released and null returned with the interpreter's error.
template <class... Items> PyObject *MakeTuple(Items... items)
{
    constexpr Py_ssize_t kCount = sizeof...(Items);
    PyRef made[kCount];
    Py_ssize_t i = 0;
    bool ok = (... && (made[i] = PyRef(MakeItem(items)), made[i++]));
    if (!ok)
        return nullptr;
    PyObject *tuple = PyTuple_New(kCount);
    if (!tuple)
        return nullptr;
    for (Py_ssize_t k = 0; k < kCount; ++k)
        PyTuple_SET_ITEM(tuple, k, made[k].Release());
    return tuple;
}

// The result of a driver call whose only result is its code.
inline PyObject *NoneOrError(int code)
{
    if (code != 0)
        return RaiseDriverError(code);
    Py_RETURN_NONE;
}

#endif
