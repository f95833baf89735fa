// The kinds of simulated subdevice, by driver type: what makes a subdevice's
// model, what a description of the kind must keep to, and what other
// subdevices may read of it. kinds.def lists them.
#ifndef TARVEX_SIM_KINDS_REGISTRY_H
#define TARVEX_SIM_KINDS_REGISTRY_H

#include <array>
#include <memory>

#include "system.h"

namespace sim
{

class Boards;
class Place;
class SubdeviceModel;

// What other subdevices may read of a subdevice.
enum Outputs { kAnalogOutputs = 1, kLineOutputs = 2 };

struct KindInfo {
    std::array<int, 3> types; // the KA_TYPE_ values it models; 0 fills the rest
    std::unique_ptr<SubdeviceModel> (*make)(Boards &boards, int device, int subdevice,
                                            const Subdevice &described);
    // Refuses (throws SystemError) a description the kind cannot model;
    // null for a kind that takes every description.
    void (*check)(const Subdevice &described, const Place &at);
    // Of Outputs: its channels may be read by analog loopback signals, its
    // lines by digital loopbacks.
    int (*outputs)(int type);
};

// The kind of a type; null for a type no kind models (its subdevices answer
// KA_SIM_NOT_SUPPORTED).
const KindInfo *KindOf(int type);

// A model for any subdevice, of its kind or of none.
std::unique_ptr<SubdeviceModel> MakeModel(Boards &boards, int device, int subdevice,
                                          const Subdevice &described);

} // namespace sim

#endif
