// Device and subdevice queries, and their remote twins, which take the host
// first and share the local query's result conversion.
#include "convention.h"
#include "wrappers.h"

#include "Tarvexmain.h"

namespace
{

PyObject *IntegerResult(int code, int value)
{
    if (code != 0)
        return RaiseDriverError(code);
    return MakeItem(Signed{value});
}

PyObject *TextResult(int code, const char *buffer, int capacity)
{
    if (code != 0)
        return RaiseDriverError(code);
    return TextFromBuffer(buffer, capacity);
}

struct DeviceInfo {
    int values[8] = {}; // the eight out-values; the last is the plugged state
};

PyObject *InfoResult(int code, const DeviceInfo &i)
{
    if (code != 0)
        return RaiseDriverError(code);
    const int *v = i.values;
    return MakeTuple(Signed{v[0]}, Signed{v[1]}, Signed{v[2]}, Signed{v[3]}, Signed{v[4]},
                     Signed{v[5]}, Signed{v[6]}, Signed{v[7]});
}

PyObject *TypeResult(int code, int type, int subtype)
{
    if (code != 0)
        return RaiseDriverError(code);
    return MakeTuple(Signed{type}, Signed{subtype});
}

struct RangeInfo {
    int unit = 0;
    double min = 0.0;
    double max = 0.0;
    int maxData = 0;
};

PyObject *RangeInfoResult(int code, const RangeInfo &r)
{
    if (code != 0)
        return RaiseDriverError(code);
    return MakeTuple(Signed{r.unit}, Float{r.min}, Float{r.max}, Signed{r.maxData});
}

// Capability selectors that yield one value; every other code yields eight.
int CapabilityCount(int capability)
{
    switch (capability) {
    case KA_CAP_AI_FIFO_SIZE:
    case KA_CAP_AO_FIFO_SIZE:
    case KA_CAP_CTR_WIDTH:
        return 1;
    default:
        return 8;
    }
}

} // namespace

PyObject *kadriver_kaQueryVersionLibrary(PyObject *, PyObject *args)
{
    int version = 0;
    if (!PyArg_ParseTuple(args, ":kaQueryVersionLibrary"))
        return nullptr;
    const int code = kaQueryVersionLibrary(&version);
    return IntegerResult(code, version);
}

PyObject *kadriver_kaQueryVersionMainDriver(PyObject *, PyObject *args)
{
    int version = 0;
    if (!PyArg_ParseTuple(args, ":kaQueryVersionMainDriver"))
        return nullptr;
    const int code = kaQueryVersionMainDriver(&version);
    return IntegerResult(code, version);
}

PyObject *kadriver_kaQueryVersionDeviceDriver(PyObject *, PyObject *args)
{
    int device, version = 0;
    if (!PyArg_ParseTuple(args, "i:kaQueryVersionDeviceDriver", &device))
        return nullptr;
    const int code = kaQueryVersionDeviceDriver(device, &version);
    return IntegerResult(code, version);
}

PyObject *kadriver_kaQueryNumberDevices(PyObject *, PyObject *args)
{
    int number = 0;
    if (!PyArg_ParseTuple(args, ":kaQueryNumberDevices"))
        return nullptr;
    const int code = kaQueryNumberDevices(&number);
    return IntegerResult(code, number);
}

PyObject *kadriver_kaRQueryNumberDevices(PyObject *, PyObject *args)
{
    const char *host;
    int number = 0;
    if (!ParseRemoteArgs(args, "s:kaRQueryNumberDevices", &host))
        return nullptr;
    const int code = kaRQueryNumberDevices(host, &number);
    return IntegerResult(code, number);
}

PyObject *kadriver_kaQueryNumberSubdevices(PyObject *, PyObject *args)
{
    int device, number = 0;
    if (!PyArg_ParseTuple(args, "i:kaQueryNumberSubdevices", &device))
        return nullptr;
    const int code = kaQueryNumberSubdevices(device, &number);
    return IntegerResult(code, number);
}

PyObject *kadriver_kaRQueryNumberSubdevices(PyObject *, PyObject *args)
{
    const char *host;
    int device, number = 0;
    if (!ParseRemoteArgs(args, "si:kaRQueryNumberSubdevices", &host, &device))
        return nullptr;
    const int code = kaRQueryNumberSubdevices(host, device, &number);
    return IntegerResult(code, number);
}

PyObject *kadriver_kaQueryNumberChannels(PyObject *, PyObject *args)
{
    int device, subdevice, number = 0;
    if (!PyArg_ParseTuple(args, "ii:kaQueryNumberChannels", &device, &subdevice))
        return nullptr;
    const int code = kaQueryNumberChannels(device, subdevice, &number);
    return IntegerResult(code, number);
}

PyObject *kadriver_kaRQueryNumberChannels(PyObject *, PyObject *args)
{
    const char *host;
    int device, subdevice, number = 0;
    if (!ParseRemoteArgs(args, "sii:kaRQueryNumberChannels", &host, &device, &subdevice))
        return nullptr;
    const int code = kaRQueryNumberChannels(host, device, subdevice, &number);
    return IntegerResult(code, number);
}

PyObject *kadriver_kaQueryNumberRanges(PyObject *, PyObject *args)
{
    int device, subdevice, unit, number = 0;
    if (!PyArg_ParseTuple(args, "iii:kaQueryNumberRanges", &device, &subdevice, &unit))
        return nullptr;
    const int code = kaQueryNumberRanges(device, subdevice, unit, &number);
    return IntegerResult(code, number);
}

PyObject *kadriver_kaRQueryNumberRanges(PyObject *, PyObject *args)
{
    const char *host;
    int device, subdevice, unit, number = 0;
    if (!ParseRemoteArgs(args, "siii:kaRQueryNumberRanges", &host, &device, &subdevice, &unit))
        return nullptr;
    const int code = kaRQueryNumberRanges(host, device, subdevice, unit, &number);
    return IntegerResult(code, number);
}

PyObject *kadriver_kaQueryNameDevice(PyObject *, PyObject *args)
{
    int device;
    char name[KA_DEVICE_NAME_MAX_COUNT] = "";
    if (!PyArg_ParseTuple(args, "i:kaQueryNameDevice", &device))
        return nullptr;
    const int code = kaQueryNameDevice(device, name, sizeof name);
    return TextResult(code, name, sizeof name);
}

PyObject *kadriver_kaRQueryNameDevice(PyObject *, PyObject *args)
{
    const char *host;
    int device;
    char name[KA_DEVICE_NAME_MAX_COUNT] = "";
    if (!ParseRemoteArgs(args, "si:kaRQueryNameDevice", &host, &device))
        return nullptr;
    const int code = kaRQueryNameDevice(host, device, name, sizeof name);
    return TextResult(code, name, sizeof name);
}

PyObject *kadriver_kaQueryNameDeviceDriver(PyObject *, PyObject *args)
{
    int device;
    char name[KA_DEVICE_DRIVER_NAME_MAX_COUNT] = "";
    if (!PyArg_ParseTuple(args, "i:kaQueryNameDeviceDriver", &device))
        return nullptr;
    const int code = kaQueryNameDeviceDriver(device, name, sizeof name);
    return TextResult(code, name, sizeof name);
}

PyObject *kadriver_kaQueryDescriptionDevice(PyObject *, PyObject *args)
{
    int device;
    char text[KA_DEVICE_DESCRIPTION_MAX_COUNT] = "";
    if (!PyArg_ParseTuple(args, "i:kaQueryDescriptionDevice", &device))
        return nullptr;
    const int code = kaQueryDescriptionDevice(device, text, sizeof text);
    return TextResult(code, text, sizeof text);
}

PyObject *kadriver_kaRQueryDescriptionDevice(PyObject *, PyObject *args)
{
    const char *host;
    int device;
    char text[KA_DEVICE_DESCRIPTION_MAX_COUNT] = "";
    if (!ParseRemoteArgs(args, "si:kaRQueryDescriptionDevice", &host, &device))
        return nullptr;
    const int code = kaRQueryDescriptionDevice(host, device, text, sizeof text);
    return TextResult(code, text, sizeof text);
}

PyObject *kadriver_kaQueryInfoDevice(PyObject *, PyObject *args)
{
    int device;
    DeviceInfo i;
    if (!PyArg_ParseTuple(args, "i:kaQueryInfoDevice", &device))
        return nullptr;
    int *v = i.values;
    const int code =
        kaQueryInfoDevice(device, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]);
    return InfoResult(code, i);
}

PyObject *kadriver_kaRQueryInfoDevice(PyObject *, PyObject *args)
{
    const char *host;
    int device;
    DeviceInfo i;
    if (!ParseRemoteArgs(args, "si:kaRQueryInfoDevice", &host, &device))
        return nullptr;
    int *v = i.values;
    const int code =
        kaRQueryInfoDevice(host, device, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]);
    return InfoResult(code, i);
}

PyObject *kadriver_kaQuerySubdeviceType(PyObject *, PyObject *args)
{
    int device, subdevice, type = 0, subtype = 0;
    if (!PyArg_ParseTuple(args, "ii:kaQuerySubdeviceType", &device, &subdevice))
        return nullptr;
    const int code = kaQuerySubdeviceType(device, subdevice, &type, &subtype);
    return TypeResult(code, type, subtype);
}

PyObject *kadriver_kaRQuerySubdeviceType(PyObject *, PyObject *args)
{
    const char *host;
    int device, subdevice, type = 0, subtype = 0;
    if (!ParseRemoteArgs(args, "sii:kaRQuerySubdeviceType", &host, &device, &subdevice))
        return nullptr;
    const int code = kaRQuerySubdeviceType(host, device, subdevice, &type, &subtype);
    return TypeResult(code, type, subtype);
}

PyObject *kadriver_kaQueryRangeInfo(PyObject *, PyObject *args)
{
    int device, subdevice, range;
    RangeInfo r;
    if (!PyArg_ParseTuple(args, "iii:kaIOQueryRangeInfo", &device, &subdevice, &range))
        return nullptr;
    const int code =
        kaQueryRangeInfo(device, subdevice, range, &r.unit, &r.min, &r.max, &r.maxData);
    return RangeInfoResult(code, r);
}

PyObject *kadriver_kaRQueryRangeInfo(PyObject *, PyObject *args)
{
    const char *host;
    int device, subdevice, range;
    RangeInfo r;
    if (!ParseRemoteArgs(args, "siii:kaIORQueryRangeInfo", &host, &device, &subdevice, &range))
        return nullptr;
    const int code =
        kaRQueryRangeInfo(host, device, subdevice, range, &r.unit, &r.min, &r.max, &r.maxData);
    return RangeInfoResult(code, r);
}

PyObject *kadriver_kaQueryRangeByMinMax(PyObject *, PyObject *args)
{
    int device, subdevice, unit, maxData = 0, range = 0;
    double min, max;
    if (!PyArg_ParseTuple(args, "iiidd:kaIOQueryRangeByMinMax", &device, &subdevice, &unit, &min,
                          &max))
        return nullptr;
    int code = kaQueryRangeByMinMax(device, subdevice, unit, &min, &max, &maxData, &range);
    if (code != 0)
        return RaiseDriverError(code);
    return MakeTuple(Float{min}, Float{max}, Signed{maxData}, Signed{range});
}

PyObject *kadriver_kaQuerySubdeviceByType(PyObject *, PyObject *args)
{
    int device, subdevice, type, subtype, found = 0;
    if (!PyArg_ParseTuple(args, "iiii:kaQuerySubdeviceByType", &device, &subdevice, &type,
                          &subtype))
        return nullptr;
    const int code = kaQuerySubdeviceByType(device, subdevice, type, subtype, &found);
    return IntegerResult(code, found);
}

PyObject *kadriver_kaQuerySubdeviceCaps(PyObject *, PyObject *args)
{
    int device, subdevice, caps = 0;
    if (!PyArg_ParseTuple(args, "ii:kaQuerySubdeviceCaps", &device, &subdevice))
        return nullptr;
    const int code = kaQuerySubdeviceCaps(device, subdevice, &caps);
    return IntegerResult(code, caps);
}

PyObject *kadriver_kaQuerySubdeviceCapsArgs(PyObject *, PyObject *args)
{
    int device, subdevice, capability;
    int values[8] = {};
    if (!PyArg_ParseTuple(args, "iii:kaQuerySubdeviceCapsArgs", &device, &subdevice, &capability))
        return nullptr;
    const int count = CapabilityCount(capability);
    int code = kaQuerySubdeviceCapsArgs(device, subdevice, capability, values, count);
    if (code != 0)
        return RaiseDriverError(code);
    PyRef tuple(PyTuple_New(count));
    if (!tuple)
        return nullptr;
    for (int k = 0; k < count; ++k) {
        PyObject *item = MakeItem(Signed{values[k]});
        if (!item)
            return nullptr;
        PyTuple_SET_ITEM(tuple.Get(), k, item);
    }
    return tuple.Release();
}
