// The driver library's named constants as module attributes.
#include "module.h"

#include "Tarvexmain.h"

namespace
{

enum ConstantKind { kEnd = 0, kInteger = 1, kFloat = 2 };

struct ConstantRecord {
    int kind;
    const char *name;
    int integer;
    double floating;
};

// The library's table in its own order, repeats included, then the end mark.
const ConstantRecord kConstants[] = {
#define KA_CONSTANT(name, value) {kInteger, #name, value, 0.0},
#define KA_CONSTANT_AGAIN(name, value) {kInteger, #name, value, 0.0},
#include "ka_constants.def"
#undef KA_CONSTANT
#undef KA_CONSTANT_AGAIN
    {kEnd, nullptr, 0, 0.0},
};

} // namespace

// A record whose object cannot be made is skipped; a name met again replaces
// the earlier value.
void AddConstants(PyObject *dict)
{
    for (const ConstantRecord *c = kConstants; c->kind != kEnd; ++c) {
        PyRef value;
        if (c->kind == kInteger)
            value.Reset(PyLong_FromLong(c->integer));
        else if (c->kind == kFloat)
            value.Reset(PyFloat_FromDouble(c->floating));
        else
            continue;
        if (!value || PyDict_SetItemString(dict, c->name, value.Get()) != 0)
            PyErr_Clear();
    }
}
