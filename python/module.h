// Module initialisation pieces.
#ifndef KADRIVER_MODULE_H
#define KADRIVER_MODULE_H

#include "pyref.h"

void AddConstants(PyObject *dict);

#endif
