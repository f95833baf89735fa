// Utilities: channel extraction, conversions, pulse-width outputs and
// configuration load.
#include "records.h"
#include "samples.h"
#include "wrappers.h"

#include "Tarvexmain.h"

PyObject *kadriver_kaUtilityExtractValues(PyObject *, PyObject *args)
{
    int channel;
    PyObject *samples, *list;
    if (!PyArg_ParseTuple(args, "iOO:kaUtilityExtractValues", &channel, &samples, &list))
        return nullptr;
    PyRef array(AsSampleArray(samples));
    if (!array)
        return nullptr;
    PackedList entries;
    if (!entries.Pack(list, kExtractList))
        return nullptr;
    auto *input = reinterpret_cast<PyArrayObject *>(array.Get());
    const npy_intp given = PyArray_DIM(input, 0);
    if (given > INT32_MAX) {
        PyErr_SetString(PyExc_ValueError,
                        "kaUtilityExtractValues: more values than the driver takes");
        return nullptr;
    }
    PyRef owner(NewSampleOwner(given));
    if (!owner)
        return nullptr;
    int count = static_cast<int>(given);
    const int code = kaUtilityExtractValues(
        channel, static_cast<int *>(PyArray_DATA(input)), static_cast<int>(given),
        reinterpret_cast<kaStreamConfigRecord *>(entries.Records()), entries.Count(),
        SampleData(owner.Get()), &count);
    if (code != 0)
        return RaiseDriverError(code);
    if (!CheckDeliveredCount("kaUtilityExtractValues", count, given))
        return nullptr;
    return SampleView(owner.Release(), count);
}

PyObject *kadriver_kaUtilityPhysicalToDigital(PyObject *, PyObject *args)
{
    double min, max, physical;
    int maxData, digital = 0;
    if (!PyArg_ParseTuple(args, "ddid:kaUtilityPhysicalToDigital", &min, &max, &maxData, &physical))
        return nullptr;
    const int code = kaUtilityPhysicalToDigital(min, max, maxData, physical, &digital);
    if (code != 0)
        return RaiseDriverError(code);
    return MakeItem(Signed{digital});
}

PyObject *kadriver_kaUtilityDigitalToPhysical(PyObject *, PyObject *args)
{
    double min, max, reference, physical = 0.0;
    int maxData, digital, moduleType;
    if (!PyArg_ParseTuple(args, "ddiiid:kaUtilityDigitalToPhysical", &min, &max, &maxData, &digital,
                          &moduleType, &reference))
        return nullptr;
    const int code =
        kaUtilityDigitalToPhysical(min, max, maxData, digital, moduleType, reference, &physical);
    if (code != 0)
        return RaiseDriverError(code);
    return MakeItem(Float{physical});
}

PyObject *kadriver_kaUtilityPWMStart(PyObject *, PyObject *args)
{
    int device, sub1, sub2, sub3, reference, prescaler, dutyCycle, flags;
    if (!PyArg_ParseTuple(args, "iiiiiiii:kaUtilityPWMStart", &device, &sub1, &sub2, &sub3,
                          &reference, &prescaler, &dutyCycle, &flags))
        return nullptr;
    return NoneOrError(
        kaUtilityPWMStart(device, sub1, sub2, sub3, reference, prescaler, dutyCycle, flags));
}

PyObject *kadriver_kaUtilityPWMStop(PyObject *, PyObject *args)
{
    int device, sub1;
    if (!PyArg_ParseTuple(args, "ii:kaUtilityPWMStop", &device, &sub1))
        return nullptr;
    return NoneOrError(kaUtilityPWMStop(device, sub1));
}

PyObject *kadriver_kaConfigLoad(PyObject *, PyObject *args)
{
    const char *path;
    if (!PyArg_ParseTuple(args, "z:kaConfigLoad", &path))
        return nullptr;
    return NoneOrError(kaConfigLoad(path));
}
