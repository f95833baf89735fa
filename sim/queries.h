// The queries that have a remote twin, each written once: a Source says
// whether it reads the library's own system or that of a named host.
#ifndef TARVEX_SIM_QUERIES_H
#define TARVEX_SIM_QUERIES_H

#include "library.h"
#include "lookup.h"

namespace sim
{

struct Source {
    static Source Local() { return {false, nullptr}; }
    static Source Remote(const char *host) { return {true, host}; }
    bool isRemote;
    const char *host;
};

// The system a query reads, or the result code why there is none. Local:
// the library's own, once it is open. Remote: that of the named host; a name
// of this computer means the library's own, and an unknown host keeps the
// caller waiting a while before it is given up.
int PickSystem(Call &call, Source source, const System *&system);
// The same, then the device or subdevice of that system.
int PickDevice(Call &call, Source source, int device, const Device *&found);
int PickSubdevice(Call &call, Source source, int device, int subdevice, const Subdevice *&found);

bool IsUnit(int unit);
bool UnitMatches(int wanted, int unit); // KA_UNIT_ANY matches every unit

// The bodies of the query operations and their remote twins.
int NumberDevices(Call &call, Source source, int *number);
int NumberSubdevices(Call &call, Source source, int device, int *number);
int NumberChannels(Call &call, Source source, int device, int subdevice, int *number);
int NumberRanges(Call &call, Source source, int device, int subdevice, int unit, int *number);
int RangeInfo(Call &call, Source source, int device, int subdevice, int range, int *unit,
              double *min, double *max, int *maxData);
int SubdeviceType(Call &call, Source source, int device, int subdevice, int *type, int *subtype);
int NameDevice(Call &call, Source source, int device, char *name, int capacity);
int DescriptionDevice(Call &call, Source source, int device, char *description, int capacity);
int InfoDevice(Call &call, Source source, int device, int *vendorId, int *deviceId, int *serialNo,
               int *busType, int *busNo, int *devNo, int *funcNo, int *plugged);

} // namespace sim

#endif
