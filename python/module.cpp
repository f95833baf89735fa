// The kaDriver module: method table and initialisation.
#define KADRIVER_IMPORTS_NUMPY
#include "numpy_api.h"

#include "convention.h"
#include "module.h"
#include "wrappers.h"

namespace
{

PyMethodDef kMethods[] = {
#define KADRIVER_METHOD(name) {#name, kadriver_##name, METH_VARARGS, nullptr},
    KADRIVER_FUNCTIONS(KADRIVER_METHOD)
#undef KADRIVER_METHOD
        {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "kaDriver", nullptr, -1, kMethods, nullptr, nullptr, nullptr, nullptr,
};

} // namespace

PyMODINIT_FUNC PyInit_kaDriver(void)
{
    PyRef module(PyModule_Create(&kModule));
    if (!module)
        return nullptr;
    if (_import_array() < 0) {
        PyErr_Print();
        PyErr_SetString(PyExc_ImportError, "numpy.core.multiarray failed to import");
        return nullptr;
    }
    PyObject *dict = PyModule_GetDict(module.Get());
    if (!kaDriverError) {
        kaDriverError = PyErr_NewException("kaDriver.error", PyExc_Exception, nullptr);
        if (!kaDriverError)
            return nullptr;
    }
    if (PyDict_SetItemString(dict, "error", kaDriverError) != 0)
        return nullptr;
    AddConstants(dict);
    return module.Release();
}
