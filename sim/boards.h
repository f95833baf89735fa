// The run-time side of the simulated boards: one model per subdevice of the
// system, made by the subdevice's kind when the boards are made (kinds/), and
// the index of the models with something running or armed, so that closing
// the library costs what runs, not what the system holds.
#ifndef TARVEX_SIM_BOARDS_H
#define TARVEX_SIM_BOARDS_H

#include <cmath>
#include <cstddef>
#include <memory>
#include <unordered_set>
#include <vector>

#include "clock.h"
#include "system.h"

namespace sim
{

class SubdeviceModel;

// Linear conversion between a range's physical span and 0..maxData.
double ToPhysical(const Range &range, long long digital);
// Rounded, clamped to the range. Inline: every analog input value passes here.
inline int ToDigital(const Range &range, double physical)
{
    const double digital =
        std::round((physical - range.min) * range.maxData / (range.max - range.min));
    if (!(digital > 0)) // also NaN
        return 0;
    return digital >= range.maxData ? range.maxData : static_cast<int>(digital);
}

// A number no other run of a stream or arming of an interrupt has had, in
// this process: a waiting call tells by it that what it waits for was
// stopped, reset or replaced meanwhile.
unsigned long long NewSession();

class Boards
{
  public:
    // The models of every subdevice of the system, in power-on state. The
    // boards stay where they are made: the models point at them, and at the
    // system's devices and subdevices.
    Boards(const System &system, const SimClock &clock);
    ~Boards();
    Boards(const Boards &) = delete;
    Boards &operator=(const Boards &) = delete;

    Clock::time_point Now() const { return clock_.Now(); }

    // A subdevice the system has; the callers check the indices first.
    SubdeviceModel &Model(int device, int subdevice)
    {
        return *models_[firstOfDevice_[device] + subdevice];
    }
    int Subdevices(int device) const
    {
        return static_cast<int>(firstOfDevice_[device + 1] - firstOfDevice_[device]);
    }

    void ResetDevice(int device);

    // A model that starts or arms something; it stays in the index until the
    // library is closed.
    void MarkActive(SubdeviceModel &model);
    // Stops every stream and disarms every interrupt (the library is closed).
    void Quiesce();

  private:
    const SimClock &clock_;
    std::vector<std::unique_ptr<SubdeviceModel>> models_;
    std::vector<std::size_t> firstOfDevice_; // one past the last device too
    std::unordered_set<SubdeviceModel *> active_;
};

} // namespace sim

#endif
