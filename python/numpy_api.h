// numpy's C API, imported once by the module and shared by every source.
#ifndef KADRIVER_NUMPY_API_H
#define KADRIVER_NUMPY_API_H

#include "pyref.h"

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL kadriver_ARRAY_API
#ifndef KADRIVER_IMPORTS_NUMPY
#    define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>

#endif
