// Sample arrays: numpy int32 arrays handed to the driver and made from what
// it delivers.
#ifndef KADRIVER_SAMPLES_H
#define KADRIVER_SAMPLES_H

#include "numpy_api.h"

// A 1-D C-contiguous aligned writeable int32 ndarray of the base class made
// from any object numpy can convert; the object itself when it already is
// one. Null with numpy's error otherwise.
PyObject *AsSampleArray(PyObject *values);

// Memory for `count` values that the driver fills, owned by a capsule:
// Python code can neither resize nor free it, so an array over it stays
// valid for as long as the array holds the capsule. Null with MemoryError
// for a negative count or when memory runs out.
PyObject *NewSampleOwner(Py_ssize_t count);

// The values of an owner made by NewSampleOwner.
int *SampleData(PyObject *owner);

// The first `count` values of owner as a new array whose base is owner.
// Steals the reference to owner.
PyObject *SampleView(PyObject *owner, Py_ssize_t count);

// A count the driver reports must lie within what it was given.
bool CheckDeliveredCount(const char *function, long long delivered, long long given);

#endif
