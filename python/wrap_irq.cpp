// Interrupts: arm, wait, disarm.
#include "convention.h"
#include "wrappers.h"

#include "Tarvexmain.h"

PyObject *kadriver_kaIOIrqStart(PyObject *, PyObject *args)
{
    int device, subdevice, channel, source, edge, flags;
    PyObject *argumentObject;
    if (!PyArg_ParseTuple(args, "iiiiiOi:kaIOIrqStart", &device, &subdevice, &channel, &source,
                          &edge, &argumentObject, &flags))
        return nullptr;
    int argument;
    if (!ReadValue(argumentObject, Kind::LongInteger, KADRIVER_KIND_HEAD " as argument 6", "", 0,
                   &argument))
        return nullptr;
    return NoneOrError(kaIOIrqStart(device, subdevice, channel, source, edge, argument, flags));
}

PyObject *kadriver_kaIOIrqStop(PyObject *, PyObject *args)
{
    int device, subdevice, channel, flags;
    if (!PyArg_ParseTuple(args, "iiii:kaIOIrqStop", &device, &subdevice, &channel, &flags))
        return nullptr;
    return NoneOrError(kaIOIrqStop(device, subdevice, channel, flags));
}

PyObject *kadriver_kaIOIrqWait(PyObject *, PyObject *args)
{
    int device, subdevice, channel, timeOut, flags, count = 0, value = 0;
    if (!PyArg_ParseTuple(args, "iiiii:kaIOIrqWait", &device, &subdevice, &channel, &timeOut,
                          &flags))
        return nullptr;
    const int code = kaIOIrqWait(device, subdevice, channel, &count, &value, timeOut, flags);
    if (code != 0)
        return RaiseDriverError(code);
    return MakeTuple(Signed{count}, Unsigned{value});
}
