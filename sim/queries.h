// The queries that have a remote twin, each written once: a Source says
// whether it reads the library's own system or that of a named host.
#ifndef SIM_QUERIES_H
#define SIM_QUERIES_H

#include "library.h"

namespace sim
{

struct Source {
    static Source local() { return {false, nullptr}; }
    static Source remote(const char *host) { return {true, host}; }
    bool isRemote;
    const char *host;
};

// The system a query reads, or the result code why there is none. Local:
// the library's own, once it is open. Remote: that of the named host; a name
// of this computer means the library's own, and an unknown host keeps the
// caller waiting a while before it is given up.
int pickSystem(Call &call, Source source, const System *&system);
// The same, then the device or subdevice of that system.
int pickDevice(Call &call, Source source, int device, const Device *&found);
int pickSubdevice(Call &call, Source source, int device, int subdevice, const Subdevice *&found);

bool isUnit(int unit);
bool unitMatches(int wanted, int unit); // KA_UNIT_ANY matches every unit

// The bodies of the query operations and their remote twins.
int numberDevices(Call &call, Source source, int *number);
int numberSubdevices(Call &call, Source source, int device, int *number);
int numberChannels(Call &call, Source source, int device, int subdevice, int *number);
int numberRanges(Call &call, Source source, int device, int subdevice, int unit, int *number);
int rangeInfo(Call &call, Source source, int device, int subdevice, int range, int *unit,
              double *min, double *max, int *maxData);
int subdeviceType(Call &call, Source source, int device, int subdevice, int *type, int *subtype);
int nameDevice(Call &call, Source source, int device, char *name, int capacity);
int descriptionDevice(Call &call, Source source, int device, char *description, int capacity);
int infoDevice(Call &call, Source source, int device, int *vendorId, int *deviceId, int *serialNo,
               int *busType, int *busNo, int *devNo, int *funcNo, int *plugged);

} // namespace sim

#endif
