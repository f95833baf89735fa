// Streams: set-up, start and stop lists, sample transfer, status and timer
// ticks.
#include <cstring>

#include "records.h"
#include "samples.h"
#include "wrappers.h"

#include "Tarvexmain.h"

namespace
{

// The start and stop lists: pack, one driver call, the result codes back.
template <class Record>
PyObject *RunList(PyObject *args, const char *format, const ListSpec &layout,
                  int (*operation)(Record *, int, int))
{
    PyObject *list;
    int flags;
    if (!PyArg_ParseTuple(args, format, &list, &flags))
        return nullptr;
    PackedList packed;
    if (!packed.Pack(list, layout))
        return nullptr;
    const int code = operation(reinterpret_cast<Record *>(packed.Records()), packed.Count(), flags);
    if (code != 0)
        return RaiseDriverError(code);
    if (!packed.WriteBackResults())
        return nullptr;
    Py_RETURN_NONE;
}

// The frequency and time conversions: a value in and out, and the ticks.
PyObject *ToTicks(PyObject *args, const char *format,
                  int (*operation)(int, int, int, double *, int *, int *, int))
{
    int device, subdevice, timer, flags, low = 0, high = 0;
    double value;
    if (!PyArg_ParseTuple(args, format, &device, &subdevice, &timer, &value, &flags))
        return nullptr;
    const int code = operation(device, subdevice, timer, &value, &low, &high, flags);
    if (code != 0)
        return RaiseDriverError(code);
    return MakeTuple(Float{value}, Ticks{low, high});
}

} // namespace

PyObject *kadriver_kaIOStreamConfig(PyObject *, PyObject *args)
{
    int device, subdevice, threshold, flags;
    PyObject *list, *trigger;
    if (!PyArg_ParseTuple(args, "iiOOii:kaIOStreamConfig", &device, &subdevice, &list, &trigger,
                          &threshold, &flags))
        return nullptr;
    PackedList channels;
    if (!channels.Pack(list, kChannelList))
        return nullptr;
    if (!PyDict_Check(trigger))
        return RaiseWrongKind(KADRIVER_KIND_HEAD " as argument 5", kPythonDictionary, trigger);
    kaStreamTriggerRecord record = {}; // the reserved words stay zero
    if (!PackRecord(trigger, kTriggerKeys, CountOf(kTriggerKeys), 0, &record.acqStartTrigType))
        return nullptr;
    return NoneOrError(kaIOStreamConfig(
        device, subdevice, reinterpret_cast<kaStreamConfigRecord *>(channels.Records()),
        channels.Count(), &record, threshold, flags));
}

PyObject *kadriver_kaIOStreamStart(PyObject *, PyObject *args)
{
    return RunList(args, "Oi:kaIOStreamStart", kStartList, kaIOStreamStart);
}

PyObject *kadriver_kaIOStreamStop(PyObject *, PyObject *args)
{
    return RunList(args, "Oi:kaIOStreamStop", kStopList, kaIOStreamStop);
}

// The driver writes straight into the returned array's memory.
PyObject *kadriver_kaIOStreamRead(PyObject *, PyObject *args)
{
    int device, subdevice, mode, count, flags;
    if (!PyArg_ParseTuple(args, "iiiii:kaIOStreamRead", &device, &subdevice, &mode, &count, &flags))
        return nullptr;
    PyRef owner(NewSampleOwner(count));
    if (!owner)
        return nullptr;
    const int asked = count;
    const int code =
        kaIOStreamRead(device, subdevice, mode, SampleData(owner.Get()), &count, flags);
    if (code != 0)
        return RaiseDriverError(code);
    if (!CheckDeliveredCount("kaIOStreamRead", count, asked))
        return nullptr;
    return SampleView(owner.Release(), count);
}

// The caller's array goes to the driver as it is when it can; only the values
// the driver did not take are copied, into the returned array.
PyObject *kadriver_kaIOStreamWrite(PyObject *, PyObject *args)
{
    int device, subdevice, mode, flags;
    PyObject *values;
    if (!PyArg_ParseTuple(args, "iiiOi:kaIOStreamWrite", &device, &subdevice, &mode, &values,
                          &flags))
        return nullptr;
    PyRef array(AsSampleArray(values));
    if (!array)
        return nullptr;
    auto *samples = reinterpret_cast<PyArrayObject *>(array.Get());
    const npy_intp given = PyArray_DIM(samples, 0);
    if (given > INT32_MAX) {
        PyErr_SetString(PyExc_ValueError, "kaIOStreamWrite: more values than the driver takes");
        return nullptr;
    }
    int count = static_cast<int>(given);
    auto *data = static_cast<int *>(PyArray_DATA(samples));
    const int code = kaIOStreamWrite(device, subdevice, mode, data, &count, flags);
    if (code != 0)
        return RaiseDriverError(code);
    if (!CheckDeliveredCount("kaIOStreamWrite", count, given))
        return nullptr;
    const npy_intp rest = given - count;
    PyRef owner(NewSampleOwner(rest));
    if (!owner)
        return nullptr;
    std::memcpy(SampleData(owner.Get()), data + count, rest * sizeof(int));
    return SampleView(owner.Release(), rest);
}

PyObject *kadriver_kaIOStreamStatus(PyObject *, PyObject *args)
{
    int device, subdevice, wait, flags, status = 0, count = 0;
    if (!PyArg_ParseTuple(args, "iiii:kaIOStreamStatus", &device, &subdevice, &wait, &flags))
        return nullptr;
    const int code = kaIOStreamStatus(device, subdevice, wait, &status, &count, flags);
    if (code != 0)
        return RaiseDriverError(code);
    return MakeTuple(Signed{status}, Signed{count});
}

PyObject *kadriver_kaIOStreamFrequencyToTicks(PyObject *, PyObject *args)
{
    return ToTicks(args, "iiidi:kaIOStreamFrequencyToTicks", kaIOStreamFrequencyToTicks);
}

PyObject *kadriver_kaIOStreamTimeToTicks(PyObject *, PyObject *args)
{
    return ToTicks(args, "iiidi:kaIOStreamTimeToTicks", kaIOStreamTimeToTicks);
}
