// Single-value I/O: one channel's configuration, and batches of transfers
// described by a list of dictionaries.
#include "records.h"
#include "wrappers.h"

#include "Tarvexmain.h"

namespace
{

#define SINGLE_KEY(name, kind, field, result)                                                      \
    {                                                                                              \
        name, kind, offsetof(kaSingleRecord, field) / sizeof(int),                                 \
            "Key '" name "' expected in start list entry %d",                                      \
            KADRIVER_KIND_HEAD " as argument for '" name "' in start list entry %d", result        \
    }

KeySpec kSingleKeys[] = {
    SINGLE_KEY("Device", Kind::Integer, iDevice, WriteBack::None),
    SINGLE_KEY("Subdevice", Kind::Integer, iSubdevice, WriteBack::None),
    SINGLE_KEY("Channel", Kind::Integer, iChannel, WriteBack::None),
    SINGLE_KEY("Dir", Kind::Integer, iDir, WriteBack::None),
    SINGLE_KEY("Value", Kind::LongInteger, iValue, WriteBack::Unsigned),
    SINGLE_KEY("TimeOut", Kind::Integer, iTimeOut, WriteBack::None),
    SINGLE_KEY("Flags", Kind::Integer, iFlags, WriteBack::None),
    SINGLE_KEY("Errno", Kind::Integer, iErrno, WriteBack::Signed),
};
#undef SINGLE_KEY

const ListSpec kSingleList = listOf<kaSingleRecord>(KADRIVER_LIST_ARGUMENT(1), kSingleKeys);

} // namespace

PyObject *kadriver_kaIOSingleConfig(PyObject *, PyObject *args)
{
    int device, subdevice, channel, config, reference, trigChannel, trigType, trigEdge, flags;
    if (!PyArg_ParseTuple(args, "iiiiiiiii:kaIOSingleConfig", &device, &subdevice, &channel,
                          &config, &reference, &trigChannel, &trigType, &trigEdge, &flags))
        return nullptr;
    return noneOrError(kaIOSingleConfig(device, subdevice, channel, config, reference, trigChannel,
                                        trigType, trigEdge, flags));
}

PyObject *kadriver_kaIOSingle(PyObject *, PyObject *args)
{
    PyObject *list;
    int flags;
    if (!PyArg_ParseTuple(args, "Oi:kaIOSingle", &list, &flags))
        return nullptr;
    PackedList packed;
    if (!packed.pack(list, kSingleList))
        return nullptr;
    auto *records = reinterpret_cast<kaSingleRecord *>(packed.records());
    const int code = kaIOSingle(records, packed.count(), flags);
    if (code != 0)
        return raiseDriverError(code);
    if (!packed.writeBack())
        return nullptr;
    Py_RETURN_NONE;
}
