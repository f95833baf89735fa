// The devices and subdevices of a system by index, and the result codes
// for those it lacks. Inline: every record of kaIOSingle is looked up here.
#ifndef TARVEX_SIM_LOOKUP_H
#define TARVEX_SIM_LOOKUP_H

#include "ka_sim.h"
#include "system.h"

namespace sim
{

inline int FindDevice(const System &s, int device, const Device *&found)
{
    if (device < 0 || device >= static_cast<int>(s.devices.size()))
        return KA_SIM_INVALID_DEVICE;
    found = &s.devices[device];
    return 0;
}

inline bool HasSubdevice(const Device &d, int subdevice)
{
    return subdevice >= 0 && subdevice < static_cast<int>(d.subdevices.size());
}

inline int FindSubdevice(const System &s, int device, int subdevice, const Subdevice *&found)
{
    const Device *d = nullptr;
    if (int code = FindDevice(s, device, d))
        return code;
    if (!HasSubdevice(*d, subdevice))
        return KA_SIM_INVALID_SUBDEVICE;
    found = &d->subdevices[subdevice];
    return 0;
}

} // namespace sim

#endif
