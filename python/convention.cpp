#include "convention.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Tarvexmain.h"

PyObject *kaDriverError = nullptr;

const char kPythonList[] = "Python list";
const char kPythonDictionary[] = "Python dictionary";

namespace
{

constexpr int kMessageSize = 256; // formatted messages are cut to 255 characters

// Sets exception with a formatted message. A cut can split a multi-byte
// character of a type name; the broken tail is dropped rather than failing.
void SetFormatted(PyObject *exception, const char *format, va_list args)
{
    char message[kMessageSize];
    PyOS_vsnprintf(message, sizeof message, format, args);
    PyRef text(PyUnicode_DecodeUTF8(message, std::strlen(message), "ignore"));
    if (text)
        PyErr_SetObject(exception, text.Get());
}

void SetException(PyObject *exception, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    SetFormatted(exception, format, args);
    va_end(args);
}

} // namespace

PyObject *RaiseDriverError(int code)
{
    char text[KA_ERROR_MSG_MAX_COUNT] = "";
    int reported = code;
    if (kaErrorGetMessage(code, text, sizeof text) != 0) {
        reported = kNoMessageCode;
        std::snprintf(text, sizeof text, "No message text for driver error %d", code);
    }
    PyRef tuple(MakeTuple(Signed{reported}, Text{text, sizeof text}));
    if (tuple)
        PyErr_SetObject(kaDriverError, tuple.Get());
    return nullptr;
}

const char *KindName(Kind kind)
{
    return kind == Kind::Integer ? "Python integer" : "Python (long) integer";
}

PyObject *RaiseTypeError(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    SetFormatted(PyExc_TypeError, format, args);
    va_end(args);
    return nullptr;
}

bool ParseRemoteArgs(PyObject *args, const char *format, ...)
{
    va_list values;
    va_start(values, format);
    const int parsed = PyArg_VaParse(args, format, values);
    va_end(values);
    // Only the host's NUL makes the parser raise a plain ValueError (an
    // encoding fault is a subclass, and stays as it is).
    if (!parsed && PyErr_Occurred() == PyExc_ValueError) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s() argument 1 must be str without null characters",
                     std::strchr(format, ':') + 1);
    }
    return parsed != 0;
}

PyObject *RaiseWrongKind(const char *format, const char *expected, PyObject *given, const char *key,
                         int entry)
{
    return RaiseTypeError(format, expected, Py_TYPE(given)->tp_name, key, entry);
}

// "'<kind>' value out of <bits>-bit range" + the tail of the wrong-kind literal.
static void RaiseOutOfRange(const char *wrongKindFormat, Kind kind, int bits, const char *key,
                            int entry)
{
    char head[64];
    std::snprintf(head, sizeof head, "'%s' value out of %d-bit range", KindName(kind), bits);
    char format[kMessageSize];
    std::snprintf(format, sizeof format, "%%s%s",
                  wrongKindFormat + std::strlen(KADRIVER_KIND_HEAD));
    SetException(PyExc_OverflowError, format, head, key, entry);
}

bool ReadAnyValue(PyObject *value, Kind kind, const char *wrongKindFormat, const char *key,
                  int entry, int *words)
{
    if (!PyLong_Check(value)) {
        RaiseWrongKind(wrongKindFormat, KindName(kind), value, key, entry);
        return false;
    }
    switch (kind) {
    case Kind::Integer: {
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow || v < INT32_MIN || v > INT32_MAX) {
            RaiseOutOfRange(wrongKindFormat, kind, 32, key, entry);
            return false;
        }
        words[0] = static_cast<int>(v);
        return true;
    }
    case Kind::LongInteger:
        words[0] = static_cast<int>(static_cast<std::uint32_t>(PyLong_AsUnsignedLongMask(value)));
        return true;
    case Kind::Ticks: {
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow) {
            RaiseOutOfRange(wrongKindFormat, kind, 64, key, entry);
            return false;
        }
        const auto bits = static_cast<std::uint64_t>(v);
        words[0] = static_cast<int>(static_cast<std::uint32_t>(bits));
        words[1] = static_cast<int>(static_cast<std::uint32_t>(bits >> 32));
        return true;
    }
    }
    return false;
}

PyObject *TextFromBuffer(const char *buffer, int capacity)
{
    return PyUnicode_DecodeLatin1(buffer, strnlen(buffer, capacity), nullptr);
}
