#include "samples.h"

#include "pyref.h"

namespace
{

constexpr char kOwnerName[] = "kaDriver.samples";

void freeSamples(PyObject *owner)
{
    PyMem_Free(PyCapsule_GetPointer(owner, kOwnerName));
}

} // namespace

PyObject *asSampleArray(PyObject *values)
{
    // Contiguous, aligned, writeable, base class: numpy's 0x541.
    return PyArray_FromAny(values, PyArray_DescrFromType(NPY_INT), 1, 1,
                           NPY_ARRAY_CARRAY | NPY_ARRAY_ENSUREARRAY, nullptr);
}

PyObject *newSampleOwner(Py_ssize_t count)
{
    if (count < 0 || static_cast<size_t>(count) > PY_SSIZE_T_MAX / sizeof(int))
        return PyErr_NoMemory();
    void *memory = PyMem_Malloc(count * sizeof(int)); // not null for 0 either
    if (!memory)
        return PyErr_NoMemory();
    PyObject *owner = PyCapsule_New(memory, kOwnerName, freeSamples);
    if (!owner)
        PyMem_Free(memory);
    return owner;
}

int *sampleData(PyObject *owner)
{
    return static_cast<int *>(PyCapsule_GetPointer(owner, kOwnerName));
}

PyObject *sampleView(PyObject *owner, Py_ssize_t count)
{
    PyRef base(owner);
    npy_intp dims[1] = {count};
    PyRef view(PyArray_NewFromDescr(&PyArray_Type, PyArray_DescrFromType(NPY_INT), 1, dims, nullptr,
                                    sampleData(owner), NPY_ARRAY_CARRAY, nullptr));
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
