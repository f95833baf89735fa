#include "kinds/registry.h"

#include <algorithm>

#include "kinds/model.h"

namespace sim
{

#define TARVEX_SIM_KIND(function) const KindInfo &function();
#include "kinds/kinds.def"
#undef TARVEX_SIM_KIND

namespace
{

// A type the simulation does not model: it answers, and does nothing.
class Unmodelled : public SubdeviceModel
{
  public:
    using SubdeviceModel::SubdeviceModel;
    void Reset() override {}
};

} // namespace

const KindInfo *KindOf(int type)
{
    static const KindInfo *const kKinds[] = {
#define TARVEX_SIM_KIND(function) &function(),
#include "kinds/kinds.def"
#undef TARVEX_SIM_KIND
    };
    for (const KindInfo *kind : kKinds)
        if (type != 0 &&
            std::find(kind->types.begin(), kind->types.end(), type) != kind->types.end())
            return kind;
    return nullptr;
}

std::unique_ptr<SubdeviceModel> MakeModel(Boards &boards, int device, int subdevice,
                                          const Subdevice &described)
{
    if (const KindInfo *kind = KindOf(described.type))
        return kind->make(boards, device, subdevice, described);
    return std::make_unique<Unmodelled>(boards, device, subdevice, described);
}

} // namespace sim
