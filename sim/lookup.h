// The devices and subdevices of a system by index, and the result codes
// for those it lacks. Inline: every record of kaIOSingle is looked up here.
#ifndef SIM_LOOKUP_H
#define SIM_LOOKUP_H

#include "ka_sim.h"
#include "system.h"

namespace sim
{

inline int findDevice(const System &s, int device, const Device *&found)
{
    if (device < 0 || device >= static_cast<int>(s.devices.size()))
        return KA_SIM_INVALID_DEVICE;
    found = &s.devices[device];
    return 0;
}

inline bool hasSubdevice(const Device &d, int subdevice)
{
    return subdevice >= 0 && subdevice < static_cast<int>(d.subdevices.size());
}

inline int findSubdevice(const System &s, int device, int subdevice, const Subdevice *&found)
{
    const Device *d = nullptr;
    if (int code = findDevice(s, device, d))
        return code;
    if (!hasSubdevice(*d, subdevice))
        return KA_SIM_INVALID_SUBDEVICE;
    found = &d->subdevices[subdevice];
    return 0;
}

} // namespace sim

#endif
