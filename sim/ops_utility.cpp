// Utilities: channel extraction, conversions, pulse-width outputs and loading
// a system description.
#include <cmath>

#include "kinds/model.h"
#include "library.h"

using sim::Call;
using sim::Export;
using sim::Library;

namespace
{

// The longest channel list a stream takes.
constexpr int kMaxListEntries = 1024;

// Range bounds as the range queries give them.
int CheckRange(double min, double max, int maxData)
{
    return min < max && std::isfinite(min) && std::isfinite(max) && maxData > 0
               ? 0
               : KA_SIM_INVALID_VALUE;
}

// The span a signal conditioning module adds in front of a +-10 V input:
// its input range in volts for the voltage modules, and 0 for none.
double ModuleSpan(int moduleType)
{
    switch (moduleType) {
    case KA_MODULE_TYPE_VESTRA_DIFF16_10V:
        return 10.0;
    case KA_MODULE_TYPE_VESTRA_DIFF16_20V:
        return 20.0;
    case KA_MODULE_TYPE_VESTRA_DIFF16_50V:
        return 50.0;
    default:
        return 0.0;
    }
}

} // namespace

extern "C" {

// Picks the values of one channel out of samples interleaved by the channel
// list; a channel that stands in the list several times gives all its values.
KA_API int kaUtilityExtractValues(int channel, int *aiBuffer, int aiBufferCount,
                                  kaStreamConfigRecord *configList, int configListCount,
                                  int *chanBuffer, int *chanBufferCount)
{
    const auto body = [&](Call &call) -> int {
        call.CaptureAddress(aiBuffer);
        call.CaptureArray(configList, configList && configListCount > 0
                                          ? configListCount * sizeof(kaStreamConfigRecord)
                                          : 0);
        call.CaptureAddress(chanBuffer);
        if (aiBufferCount < 0 || configListCount <= 0 || *chanBufferCount < 0)
            return KA_SIM_INVALID_COUNT;
        if ((aiBufferCount > 0 && !aiBuffer) || !configList ||
            (*chanBufferCount > 0 && !chanBuffer))
            return KA_SIM_INVALID_POINTER;
        int positions[kMaxListEntries];
        int matches = 0;
        for (int i = 0; i < configListCount; ++i) {
            if (configList[i].channel != channel)
                continue;
            if (matches == kMaxListEntries)
                return KA_SIM_INVALID_COUNT;
            positions[matches++] = i;
        }
        if (matches == 0)
            return KA_SIM_INVALID_CHANNEL;
        int taken = 0;
        const int capacity = *chanBufferCount;
        if (matches == 1) { // the usual case: a strided copy
            const int step = configListCount;
            const int first = positions[0];
            taken = first < aiBufferCount ? (aiBufferCount - first + step - 1) / step : 0;
            if (taken > capacity)
                return KA_SIM_INVALID_COUNT;
            // Four at a time: the loads do not wait on each other.
            const int *in = aiBuffer + first;
            long at = 0;
            int k = 0;
            for (; k + 4 <= taken; k += 4, at += 4L * step) {
                chanBuffer[k] = in[at];
                chanBuffer[k + 1] = in[at + step];
                chanBuffer[k + 2] = in[at + 2L * step];
                chanBuffer[k + 3] = in[at + 3L * step];
            }
            for (; k < taken; ++k, at += step)
                chanBuffer[k] = in[at];
        } else {
            for (int frame = 0; frame < aiBufferCount; frame += configListCount)
                for (int m = 0; m < matches && frame + positions[m] < aiBufferCount; ++m) {
                    if (taken == capacity)
                        return KA_SIM_INVALID_COUNT;
                    chanBuffer[taken++] = aiBuffer[frame + positions[m]];
                }
        }
        *chanBufferCount = taken;
        return 0;
    };
    return Export("kaUtilityExtractValues",
                  {channel, aiBufferCount, configListCount, chanBufferCount ? *chanBufferCount : 0},
                  {sim::Out(chanBufferCount)}, body);
}

// Linear over the range, rounded, and clamped at the range ends.
KA_API int kaUtilityPhysicalToDigital(double min, double max, int maxData, double physical,
                                      int *digital)
{
    const auto body = [&](Call &) -> int {
        if (int code = CheckRange(min, max, maxData))
            return code;
        if (std::isnan(physical))
            return KA_SIM_INVALID_VALUE;
        *digital = sim::ToDigital(sim::Range{0, min, max, maxData}, physical);
        return 0;
    };
    return Export("kaUtilityPhysicalToDigital", {min, max, maxData, physical}, {sim::Out(digital)},
                  body);
}

// moduleType names a conditioning module in front of the input:
// KA_MODULE_TYPE_VESTRA_NONE gives the value in the range's own unit; the
// voltage modules scale a +-10 V range to their input span; the 0-20 mA
// module divides by its shunt, refValue in ohms. The digital value must lie
// in 0..iMaxData.
KA_API int kaUtilityDigitalToPhysical(double min, double max, int maxData, int digital,
                                      int moduleType, double refValue, double *physical)
{
    const auto body = [&](Call &) -> int {
        if (int code = CheckRange(min, max, maxData))
            return code;
        if (digital < 0 || digital > maxData)
            return KA_SIM_INVALID_VALUE;
        const double value = sim::ToPhysical(sim::Range{0, min, max, maxData}, digital);
        if (moduleType == KA_MODULE_TYPE_VESTRA_NONE) {
            *physical = value;
        } else if (ModuleSpan(moduleType) > 0) {
            *physical = value * ModuleSpan(moduleType) / 10.0;
        } else if (moduleType == KA_MODULE_TYPE_VESTRA_CURRENT16_0_20MA) {
            if (!(refValue > 0))
                return KA_SIM_INVALID_VALUE;
            *physical = value / refValue;
        } else {
            return KA_SIM_NOT_SUPPORTED;
        }
        return 0;
    };
    return Export("kaUtilityDigitalToPhysical", {min, max, maxData, digital, moduleType, refValue},
                  {sim::Out(physical)}, body);
}

// A pulse output from three counters: subdevice1 divides the clock by
// prescaler, the other two make the period and the duty cycle (1..99 %).
KA_API int kaUtilityPWMStart(int device, int subdevice1, int subdevice2, int subdevice3, int ref,
                             int prescaler, int dutyCycle, int flags)
{
    const auto body = [&](Call &call) -> int {
        Library &lib = call.Lib();
        if (flags != 0)
            return KA_SIM_INVALID_FLAGS;
        int *leaders[3] = {};
        const int subdevices[3] = {subdevice1, subdevice2, subdevice3};
        for (int i = 0; i < 3; ++i) {
            sim::SubdeviceModel *model = nullptr;
            if (int code = lib.RequireSubdevice(device, subdevices[i], model))
                return code;
            leaders[i] = model->PulseLeader();
            if (!leaders[i])
                return KA_SIM_NOT_SUPPORTED;
            if (*leaders[i] >= 0)
                return KA_SIM_BUSY;
        }
        if (subdevice1 == subdevice2 || subdevice2 == subdevice3 || subdevice1 == subdevice3)
            return KA_SIM_INVALID_SUBDEVICE;
        if (ref != KA_REF_CTR_INTERNAL_1MHZ && ref != KA_REF_CTR_INTERNAL_10MHZ &&
            ref != KA_REF_CTR_EXTERNAL)
            return KA_SIM_INVALID_CONFIG;
        if (prescaler < 2 || prescaler > 65535 || dutyCycle < 1 || dutyCycle > 99)
            return KA_SIM_INVALID_VALUE;
        for (int *leader : leaders)
            *leader = subdevice1;
        return 0;
    };
    return Export("kaUtilityPWMStart",
                  {device, subdevice1, subdevice2, subdevice3, ref, prescaler, dutyCycle, flags},
                  {}, body);
}

// Stops the pulse output that subdevice1 leads, with its two other counters.
KA_API int kaUtilityPWMStop(int device, int subdevice1)
{
    const auto body = [&](Call &call) -> int {
        Library &lib = call.Lib();
        sim::SubdeviceModel *model = nullptr;
        if (int code = lib.RequireSubdevice(device, subdevice1, model))
            return code;
        const int *leader = model->PulseLeader();
        if (!leader || *leader != subdevice1)
            return KA_SIM_NOT_CONFIGURED;
        sim::Boards &boards = lib.CurrentBoards();
        for (int sub = 0; sub < boards.Subdevices(device); ++sub) {
            int *served = boards.Model(device, sub).PulseLeader();
            if (served && *served == subdevice1)
                *served = -1;
        }
        return 0;
    };
    return Export("kaUtilityPWMStop", {device, subdevice1}, {}, body);
}

// A system description file (the format of TARVEX_SIM_CONFIG); null goes
// back to the built-in system. The boards start afresh either way; a file
// that is refused leaves the system as it was.
KA_API int kaConfigLoad(const char *configFile)
{
    const auto body = [&](Call &call) -> int {
        call.CaptureText(configFile);
        try {
            call.Lib().UseSystem(configFile ? sim::LoadSystemFile(configFile)
                                            : sim::ParseSystem(sim::DefaultSystemJson()));
            return 0;
        } catch (const sim::SystemError &e) {
            return call.Fail(KA_SIM_CONFIG_INVALID, e.what());
        }
    };
    return Export("kaConfigLoad", {}, {}, body);
}

} // extern "C"
