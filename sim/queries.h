// The answers of the queries, each written once over a System: the local
// operations ask the library's own system, the remote twins that of the
// named host.
#ifndef SIM_QUERIES_H
#define SIM_QUERIES_H

#include "library.h"

namespace sim
{

// The system a query reads, or the result code why there is none. Local:
// the library's own, once it is open. Remote: that of the named host; a name
// of this computer means the library's own, and an unknown host keeps the
// caller waiting a while before it is given up.
int localSystem(Call &call, const System *&system);
int remoteSystem(Call &call, const char *host, const System *&system);

int numberDevices(const System &s, int *number);
int numberSubdevices(const System &s, int device, int *number);
int numberChannels(const System &s, int device, int subdevice, int *number);
int numberRanges(const System &s, int device, int subdevice, int unit, int *number);
int rangeInfo(const System &s, int device, int subdevice, int range, int *unit, double *min,
              double *max, int *maxData);
// The narrowest range of the unit that covers [*min, *max].
int rangeByMinMax(const System &s, int device, int subdevice, int unit, double *min, double *max,
                  int *maxData, int *range);
int subdeviceType(const System &s, int device, int subdevice, int *type, int *subtype);
int nameDevice(const System &s, int device, char *name, int capacity);
int descriptionDevice(const System &s, int device, char *description, int capacity);
int infoDevice(const System &s, int device, int *vendorId, int *deviceId, int *serialNo,
               int *busType, int *busNo, int *devNo, int *funcNo, int *plugged);

} // namespace sim

#endif
