// Single-value I/O: one channel's configuration, and batches of transfers
// described by a list of dictionaries.
#include "records.h"
#include "wrappers.h"

#include "Tarvexmain.h"

PyObject *kadriver_kaIOSingleConfig(PyObject *, PyObject *args)
{
    int device, subdevice, channel, config, reference, trigChannel, trigType, trigEdge, flags;
    if (!PyArg_ParseTuple(args, "iiiiiiiii:kaIOSingleConfig", &device, &subdevice, &channel,
                          &config, &reference, &trigChannel, &trigType, &trigEdge, &flags))
        return nullptr;
    return NoneOrError(kaIOSingleConfig(device, subdevice, channel, config, reference, trigChannel,
                                        trigType, trigEdge, flags));
}

PyObject *kadriver_kaIOSingle(PyObject *, PyObject *args)
{
    PyObject *list;
    int flags;
    if (!PyArg_ParseTuple(args, "Oi:kaIOSingle", &list, &flags))
        return nullptr;
    PackedList packed;
    if (!packed.Pack(list, kSingleList))
        return nullptr;
    auto *records = reinterpret_cast<kaSingleRecord *>(packed.Records());
    const int code = kaIOSingle(records, packed.Count(), flags);
    if (code != 0)
        return RaiseDriverError(code);
    if (!packed.WriteBackResults())
        return nullptr;
    Py_RETURN_NONE;
}
