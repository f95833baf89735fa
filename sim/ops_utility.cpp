// Utilities: channel extraction, conversions, pulse-width outputs and loading
// a system description.
#include <cmath>

#include "library.h"

using sim::Call;
using sim::Library;

namespace
{

// The longest channel list a stream takes.
constexpr int kMaxListEntries = 1024;

// Range bounds as the range queries give them.
int checkRange(double min, double max, int maxData)
{
    return min < max && std::isfinite(min) && std::isfinite(max) && maxData > 0
               ? 0
               : KA_SIM_INVALID_VALUE;
}

// The span a signal conditioning module adds in front of a +-10 V input:
// its input range in volts for the voltage modules, and 0 for none.
double moduleSpan(int moduleType)
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
KA_API int kaUtilityExtractValues(int iChannel, int *piAIBuffer, int iAIBufferCount,
                                  kaStreamConfigRecord *pConfigList, int iConfigListCount,
                                  int *piChanBuffer, int *piChanBufferCount)
try {
    SIM_OPERATION("kaUtilityExtractValues");
    Call call(operation_, iChannel, iAIBufferCount, iConfigListCount,
              piChanBufferCount ? *piChanBufferCount : 0);
    call.captureAddress(piAIBuffer);
    call.captureArray(pConfigList, pConfigList && iConfigListCount > 0
                                       ? iConfigListCount * sizeof(kaStreamConfigRecord)
                                       : 0);
    call.captureAddress(piChanBuffer);
    return call.run({sim::out(piChanBufferCount)}, [&]() -> int {
        if (iAIBufferCount < 0 || iConfigListCount <= 0 || *piChanBufferCount < 0)
            return KA_SIM_INVALID_COUNT;
        if ((iAIBufferCount > 0 && !piAIBuffer) || !pConfigList ||
            (*piChanBufferCount > 0 && !piChanBuffer))
            return KA_SIM_INVALID_POINTER;
        int positions[kMaxListEntries];
        int matches = 0;
        for (int i = 0; i < iConfigListCount; ++i) {
            if (pConfigList[i].iChannel != iChannel)
                continue;
            if (matches == kMaxListEntries)
                return KA_SIM_INVALID_COUNT;
            positions[matches++] = i;
        }
        if (matches == 0)
            return KA_SIM_INVALID_CHANNEL;
        int taken = 0;
        const int capacity = *piChanBufferCount;
        if (matches == 1) { // the usual case: a strided copy
            const int step = iConfigListCount;
            const int first = positions[0];
            taken = first < iAIBufferCount ? (iAIBufferCount - first + step - 1) / step : 0;
            if (taken > capacity)
                return KA_SIM_INVALID_COUNT;
            // Four at a time: the loads do not wait on each other.
            const int *in = piAIBuffer + first;
            long at = 0;
            int k = 0;
            for (; k + 4 <= taken; k += 4, at += 4L * step) {
                piChanBuffer[k] = in[at];
                piChanBuffer[k + 1] = in[at + step];
                piChanBuffer[k + 2] = in[at + 2L * step];
                piChanBuffer[k + 3] = in[at + 3L * step];
            }
            for (; k < taken; ++k, at += step)
                piChanBuffer[k] = in[at];
        } else {
            for (int frame = 0; frame < iAIBufferCount; frame += iConfigListCount)
                for (int m = 0; m < matches && frame + positions[m] < iAIBufferCount; ++m) {
                    if (taken == capacity)
                        return KA_SIM_INVALID_COUNT;
                    piChanBuffer[taken++] = piAIBuffer[frame + positions[m]];
                }
        }
        *piChanBufferCount = taken;
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

// Linear over the range, rounded, and clamped at the range ends.
KA_API int kaUtilityPhysicalToDigital(double dMin, double dMax, int iMaxData, double dPhysical,
                                      int *piDigital)
try {
    SIM_OPERATION("kaUtilityPhysicalToDigital");
    Call call(operation_, dMin, dMax, iMaxData, dPhysical);
    return call.run({sim::out(piDigital)}, [&]() -> int {
        if (int code = checkRange(dMin, dMax, iMaxData))
            return code;
        if (std::isnan(dPhysical))
            return KA_SIM_INVALID_VALUE;
        *piDigital = sim::toDigital(sim::Range{0, dMin, dMax, iMaxData}, dPhysical);
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

// iModuleType names a conditioning module in front of the input:
// KA_MODULE_TYPE_VESTRA_NONE gives the value in the range's own unit; the
// voltage modules scale a +-10 V range to their input span; the 0-20 mA
// module divides by its shunt, dRefValue in ohms. The digital value must lie
// in 0..iMaxData.
KA_API int kaUtilityDigitalToPhysical(double dMin, double dMax, int iMaxData, int iDigital,
                                      int iModuleType, double dRefValue, double *pdPhysical)
try {
    SIM_OPERATION("kaUtilityDigitalToPhysical");
    Call call(operation_, dMin, dMax, iMaxData, iDigital, iModuleType, dRefValue);
    return call.run({sim::out(pdPhysical)}, [&]() -> int {
        if (int code = checkRange(dMin, dMax, iMaxData))
            return code;
        if (iDigital < 0 || iDigital > iMaxData)
            return KA_SIM_INVALID_VALUE;
        const double value = sim::toPhysical(sim::Range{0, dMin, dMax, iMaxData}, iDigital);
        if (iModuleType == KA_MODULE_TYPE_VESTRA_NONE) {
            *pdPhysical = value;
        } else if (moduleSpan(iModuleType) > 0) {
            *pdPhysical = value * moduleSpan(iModuleType) / 10.0;
        } else if (iModuleType == KA_MODULE_TYPE_VESTRA_CURRENT16_0_20MA) {
            if (!(dRefValue > 0))
                return KA_SIM_INVALID_VALUE;
            *pdPhysical = value / dRefValue;
        } else {
            return KA_SIM_NOT_SUPPORTED;
        }
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

// A pulse output from three counters: iSubdevice1 divides the clock by
// iPrescaler, the other two make the period and the duty cycle (1..99 %).
KA_API int kaUtilityPWMStart(int iDevice, int iSubdevice1, int iSubdevice2, int iSubdevice3,
                             int iRef, int iPrescaler, int iDutyCycle, int iFlags)
try {
    SIM_OPERATION("kaUtilityPWMStart");
    Call call(operation_, iDevice, iSubdevice1, iSubdevice2, iSubdevice3, iRef, iPrescaler,
              iDutyCycle, iFlags);
    return call.run({}, [&]() -> int {
        Library &lib = call.lib();
        if (iFlags != 0)
            return KA_SIM_INVALID_FLAGS;
        for (int sub : {iSubdevice1, iSubdevice2, iSubdevice3}) {
            if (int code = lib.requireSubdevice(iDevice, sub))
                return code;
            if (lib.system.devices[iDevice].subdevices[sub].type != KA_TYPE_CTR)
                return KA_SIM_NOT_SUPPORTED;
            if (lib.boards.state(iDevice, sub).pwmLeader >= 0)
                return KA_SIM_BUSY;
        }
        if (iSubdevice1 == iSubdevice2 || iSubdevice2 == iSubdevice3 || iSubdevice1 == iSubdevice3)
            return KA_SIM_INVALID_SUBDEVICE;
        if (iRef != KA_REF_CTR_INTERNAL_1MHZ && iRef != KA_REF_CTR_INTERNAL_10MHZ &&
            iRef != KA_REF_CTR_EXTERNAL)
            return KA_SIM_INVALID_CONFIG;
        if (iPrescaler < 2 || iPrescaler > 65535 || iDutyCycle < 1 || iDutyCycle > 99)
            return KA_SIM_INVALID_VALUE;
        for (int sub : {iSubdevice1, iSubdevice2, iSubdevice3})
            lib.boards.state(iDevice, sub).pwmLeader = iSubdevice1;
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

// Stops the pulse output that iSubdevice1 leads, with its two other counters.
KA_API int kaUtilityPWMStop(int iDevice, int iSubdevice1)
try {
    SIM_OPERATION("kaUtilityPWMStop");
    Call call(operation_, iDevice, iSubdevice1);
    return call.run({}, [&]() -> int {
        Library &lib = call.lib();
        if (int code = lib.requireSubdevice(iDevice, iSubdevice1))
            return code;
        if (lib.boards.state(iDevice, iSubdevice1).pwmLeader != iSubdevice1)
            return KA_SIM_NOT_CONFIGURED;
        const int count = static_cast<int>(lib.system.devices[iDevice].subdevices.size());
        for (int sub = 0; sub < count; ++sub) {
            sim::SubdeviceState &state = lib.boards.state(iDevice, sub);
            if (state.pwmLeader == iSubdevice1)
                state.pwmLeader = -1;
        }
        return 0;
    });
} catch (...) {
    return sim::exceptionCode();
}

// A system description file (the format of TARVEX_SIM_CONFIG); null goes
// back to the built-in system. The boards start afresh either way; a file
// that is refused leaves the system as it was.
KA_API int kaConfigLoad(const char *pcConfigFile)
try {
    SIM_OPERATION("kaConfigLoad");
    Call call(operation_);
    call.captureText(pcConfigFile);
    return call.run({}, [&]() -> int {
        try {
            call.lib().useSystem(pcConfigFile ? sim::loadSystemFile(pcConfigFile)
                                              : sim::parseSystem(sim::defaultSystemJson()));
            return 0;
        } catch (const sim::SystemError &e) {
            return call.lib().refuseSystem(e.what());
        }
    });
} catch (...) {
    return sim::exceptionCode();
}

} // extern "C"
