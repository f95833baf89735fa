#include "samples.h"

#include "pyref.h"

PyObject *asSampleArray(PyObject *values)
{
    // Contiguous, aligned, writeable, base class: numpy's 0x541.
    return PyArray_FromAny(values, PyArray_DescrFromType(NPY_INT), 1, 1,
                           NPY_ARRAY_CARRAY | NPY_ARRAY_ENSUREARRAY, nullptr);
}

PyObject *newSampleOwner(Py_ssize_t count)
{
    if (count < 0)
        return PyErr_NoMemory();
    npy_intp dims[1] = {count};
    return PyArray_SimpleNew(1, dims, NPY_INT);
}

PyObject *sampleView(PyObject *owner, Py_ssize_t count)
{
    PyRef base(owner);
    npy_intp dims[1] = {count};
    PyRef view(PyArray_NewFromDescr(&PyArray_Type, PyArray_DescrFromType(NPY_INT), 1, dims, nullptr,
                                    PyArray_DATA(reinterpret_cast<PyArrayObject *>(owner)),
                                    NPY_ARRAY_CARRAY, nullptr));
    if (!view)
        return nullptr;
    if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject *>(view.get()), base.release()) < 0)
        return nullptr;
    return PyArray_Return(reinterpret_cast<PyArrayObject *>(view.release()));
}

bool checkDeliveredCount(const char *function, long long delivered, long long given)
{
    if (delivered >= 0 && delivered <= given)
        return true;
    PyErr_Format(PyExc_ValueError, "%s: the driver reported %lld values for %lld given", function,
                 delivered, given);
    return false;
}
