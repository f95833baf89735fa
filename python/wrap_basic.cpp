// Open, close, locks and resets: integers in, None out.
#include "convention.h"
#include "wrappers.h"

#include "Tarvexmain.h"

PyObject *kadriver_kaOpen(PyObject *, PyObject *args)
{
    int flags;
    if (!PyArg_ParseTuple(args, "i:kaOpen", &flags))
        return nullptr;
    return NoneOrError(kaOpen(flags));
}

PyObject *kadriver_kaClose(PyObject *, PyObject *args)
{
    int flags;
    if (!PyArg_ParseTuple(args, "i:kaClose", &flags))
        return nullptr;
    return NoneOrError(kaClose(flags));
}

PyObject *kadriver_kaLockDriver(PyObject *, PyObject *args)
{
    int lock, flags;
    if (!PyArg_ParseTuple(args, "ii:kaLockDriver", &lock, &flags))
        return nullptr;
    return NoneOrError(kaLockDriver(lock, flags));
}

PyObject *kadriver_kaLockDevice(PyObject *, PyObject *args)
{
    int device, lock, flags;
    if (!PyArg_ParseTuple(args, "iii:kaLockDevice", &device, &lock, &flags))
        return nullptr;
    return NoneOrError(kaLockDevice(device, lock, flags));
}

PyObject *kadriver_kaLockSubdevice(PyObject *, PyObject *args)
{
    int device, subdevice, lock, flags;
    if (!PyArg_ParseTuple(args, "iiii:kaLockSubdevice", &device, &subdevice, &lock, &flags))
        return nullptr;
    return NoneOrError(kaLockSubdevice(device, subdevice, lock, flags));
}

PyObject *kadriver_kaIOResetDevice(PyObject *, PyObject *args)
{
    int device, flags;
    if (!PyArg_ParseTuple(args, "ii:kaIOResetDevice", &device, &flags))
        return nullptr;
    return NoneOrError(kaIOResetDevice(device, flags));
}

PyObject *kadriver_kaIOResetSubdevice(PyObject *, PyObject *args)
{
    int device, subdevice, flags;
    if (!PyArg_ParseTuple(args, "iii:kaIOResetSubdevice", &device, &subdevice, &flags))
        return nullptr;
    return NoneOrError(kaIOResetSubdevice(device, subdevice, flags));
}
