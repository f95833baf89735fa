#include "samples.h"

#include "pyref.h"

namespace
{

constexpr char kOwnerName[] = "kaDriver.samples";

void FreeSamples(PyObject *owner)
{
    PyMem_Free(PyCapsule_GetPointer(owner, kOwnerName));
}

} // namespace

PyObject *AsSampleArray(PyObject *values)
{
    // Contiguous, aligned, writeable, base class: numpy's 0x541.
    return PyArray_FromAny(values, PyArray_DescrFromType(NPY_INT), 1, 1,
                           NPY_ARRAY_CARRAY | NPY_ARRAY_ENSUREARRAY, nullptr);
}

PyObject *NewSampleOwner(Py_ssize_t count)
{
    if (count < 0 || static_cast<size_t>(count) > PY_SSIZE_T_MAX / sizeof(int))
        return PyErr_NoMemory();
    void *memory = PyMem_Malloc(count * sizeof(int)); // not null for 0 either
    if (!memory)
        return PyErr_NoMemory();
    PyObject *owner = PyCapsule_New(memory, kOwnerName, FreeSamples);
    if (!owner)
        PyMem_Free(memory);
    return owner;
}

int *SampleData(PyObject *owner)
{
    return static_cast<int *>(PyCapsule_GetPointer(owner, kOwnerName));
}

PyObject *SampleView(PyObject *owner, Py_ssize_t count)
{
    PyRef base(owner);
    npy_intp dims[1] = {count};
    PyRef view(PyArray_NewFromDescr(&PyArray_Type, PyArray_DescrFromType(NPY_INT), 1, dims, nullptr,
                                    SampleData(owner), NPY_ARRAY_CARRAY, nullptr));
    if (!view)
        return nullptr;
    if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject *>(view.Get()), base.Release()) < 0)
        return nullptr;
    return PyArray_Return(reinterpret_cast<PyArrayObject *>(view.Release()));
}

bool CheckDeliveredCount(const char *function, long long delivered, long long given)
{
    if (delivered >= 0 && delivered <= given)
        return true;
    PyErr_Format(PyExc_ValueError, "%s: the driver reported %lld values for %lld given", function,
                 delivered, given);
    return false;
}
