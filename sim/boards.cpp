#include "boards.h"

#include <atomic>

#include "kinds/model.h"
#include "kinds/registry.h"

namespace sim
{

double ToPhysical(const Range &range, long long digital)
{
    return range.min + static_cast<double>(digital) * (range.max - range.min) / range.maxData;
}

unsigned long long NewSession()
{
    static std::atomic<unsigned long long> sessions{0};
    return ++sessions;
}

Boards::Boards(const System &system, const SimClock &clock) : clock_(clock)
{
    firstOfDevice_.reserve(system.devices.size() + 1);
    std::size_t subdevices = 0;
    for (const Device &d : system.devices) {
        firstOfDevice_.push_back(subdevices);
        subdevices += d.subdevices.size();
    }
    firstOfDevice_.push_back(subdevices);
    models_.reserve(subdevices);
    for (std::size_t d = 0; d < system.devices.size(); ++d) {
        const std::vector<Subdevice> &described = system.devices[d].subdevices;
        for (std::size_t s = 0; s < described.size(); ++s)
            models_.push_back(
                MakeModel(*this, static_cast<int>(d), static_cast<int>(s), described[s]));
    }
    for (const std::unique_ptr<SubdeviceModel> &model : models_)
        model->Attach();
}

Boards::~Boards() = default;

void Boards::ResetDevice(int device)
{
    for (int s = 0; s < Subdevices(device); ++s)
        Model(device, s).Reset();
}

void Boards::MarkActive(SubdeviceModel &model)
{
    active_.insert(&model);
}

void Boards::Quiesce()
{
    for (SubdeviceModel *model : active_)
        model->Quiesce();
    active_.clear();
}

} // namespace sim
